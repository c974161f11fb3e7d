// Percent-encoding and query joining, shared by every URL the library writes or reads.
#include "text/url_text.h"

#include "text/ascii.h"

namespace Geo {

bool IsUnreserved(unsigned char byte) {
    return IsAsciiLetter(static_cast<char>(byte)) || (byte >= '0' && byte <= '9') || byte == '-' ||
           byte == '.' || byte == '_' || byte == '~';
}

void AppendPercentEncoded(std::string &out, std::string_view value, bool (*keep)(unsigned char)) {
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (keep(byte)) {
            out += c;
        } else {
            out += '%';
            AppendHexByte(out, byte);
        }
    }
}

bool PercentDecode(std::string_view text, std::string &out) {
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%') {
            if (i + 2 >= text.size())
                return false;
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high < 0 || low < 0)
                return false;
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += c;
        }
    }
    return true;
}

void AppendQuerySeparator(std::string &url) {
    const std::size_t question = url.find('?');
    if (question == std::string::npos)
        url += '?';
    // A '?' inside the query ("?b?") ends a parameter's text, not the address: it needs the '&'.
    else if (url.back() != '&' && !(url.back() == '?' && question + 1 == url.size()))
        url += '&';
}

bool HasHttpScheme(std::string_view text) {
    return StartsWithIgnoringAsciiCase(text, "http://") ||
           StartsWithIgnoringAsciiCase(text, "https://");
}

std::string AddressWithoutParameters(std::string_view address,
                                     bool (*isReplaced)(std::string_view name)) {
    // A fragment is never sent; a query appended after it would not be either.
    address = address.substr(0, address.find('#'));
    const std::size_t question = address.find('?');
    if (question == std::string_view::npos)
        return std::string(address);
    std::string out(address.substr(0, question + 1));
    std::string_view query = address.substr(question + 1);
    bool first = true;
    while (true) {
        const std::size_t amp = query.find('&');
        const std::string_view piece = query.substr(0, amp);
        const std::string_view name = piece.substr(0, piece.find('='));
        if (!name.empty() && !isReplaced(name)) {
            if (!first)
                out += '&';
            out.append(piece.data(), piece.size());
            first = false;
        }
        if (amp == std::string_view::npos)
            break;
        query.remove_prefix(amp + 1);
    }
    return out;
}

} // namespace Geo
