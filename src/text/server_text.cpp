// Server text made safe: UTF-8 repair, the one-line terminal form, JSON strings, surrogates.
#include "text/server_text.h"

#include "text/ascii.h"

#include <algorithm>
#include <cstring>

namespace Geo {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD

// The sequence at [`p`, `last`): its length when well-formed, else 0 with `bad` set to the
// length of its maximal ill-formed subpart (the lead byte and the continuation bytes that could
// still have completed it).
std::size_t Sequence(const unsigned char *p, const unsigned char *last, std::size_t &bad) {
    const unsigned char lead = *p;
    bad = 1;
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    // Each lead byte narrows the range of its first continuation byte: that range rules out
    // overlong forms, surrogates and code points past U+10FFFF.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if (p + k == last || p[k] < low || p[k] > high)
            return 0;
        bad = k + 1;
        low = 0x80;
        high = 0xBF;
    }
    return length;
}

// The length of `text`'s longest well-formed prefix.
std::size_t ValidPrefix(std::string_view text) {
    const auto *const first = reinterpret_cast<const unsigned char *>(text.data());
    const auto *const last = first + text.size();
    const unsigned char *p = first;
    while (p != last) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        std::size_t bad = 0;
        const std::size_t length = Sequence(p, last, bad);
        if (length == 0)
            break;
        p += length;
    }
    return static_cast<std::size_t>(p - first);
}

void AppendRepaired(std::string &out, std::string_view text) {
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const auto *const last = p + text.size();
    while (p != last) {
        std::size_t bad = 0;
        const std::size_t length = Sequence(p, last, bad);
        if (length == 0) {
            out += kReplacement;
            p += bad;
        } else {
            out.append(reinterpret_cast<const char *>(p), length);
            p += length;
        }
    }
}

// Calls `emit(character, length)` for each character of `text` repaired: well-formed sequences
// as they are, U+FFFD for each ill-formed one.
template <typename Emit> void ForEachCharacter(std::string_view text, Emit emit) {
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const auto *const first = p;
    const auto *const last = p + text.size();
    while (p != last) {
        std::size_t bad = 0;
        const std::size_t length = Sequence(p, last, bad);
        const std::size_t offset = static_cast<std::size_t>(p - first);
        if (length == 0) {
            if (!emit(std::string_view(kReplacement, 3), offset, bad))
                return;
            p += bad;
        } else {
            if (!emit(std::string_view(reinterpret_cast<const char *>(p), length), offset, length))
                return;
            p += length;
        }
    }
}

// The C1 controls U+0080 to U+009F: two bytes, C2 80 to C2 9F.
bool IsC1Control(std::string_view character) {
    return character.size() == 2 && static_cast<unsigned char>(character[0]) == 0xC2 &&
           static_cast<unsigned char>(character[1]) < 0xA0;
}

void AppendUnicodeEscape(std::string &out, unsigned value) {
    out += "\\u00";
    AppendHexByte(out, static_cast<unsigned char>(value), true);
}

int HexQuad(const char *p) {
    int value = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = HexValue(p[i]);
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

} // namespace

std::size_t Utf8SequenceLength(std::string_view text) {
    if (text.empty())
        return 0;
    std::size_t bad = 0;
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    return Sequence(p, p + text.size(), bad);
}

bool IsValidUtf8(std::string_view text) { return ValidPrefix(text) == text.size(); }

std::string ToValidUtf8(std::string_view text) {
    std::string out(text);
    MakeValidUtf8(out);
    return out;
}

void MakeValidUtf8(std::string &text) {
    const std::size_t valid = ValidPrefix(text);
    if (valid == text.size())
        return;
    std::string repaired(text, 0, valid);
    repaired.reserve(text.size() + 8);
    AppendRepaired(repaired, std::string_view(text).substr(valid));
    text = std::move(repaired);
}

std::string ToSafeLine(std::string_view text, std::size_t maxBytes) {
    std::string line;
    line.reserve(std::min(text.size(), maxBytes) + 8);
    bool cut = false;
    ForEachCharacter(text, [&](std::string_view c, std::size_t offset, std::size_t length) {
        if (length > maxBytes || offset > maxBytes - length) {
            cut = true;
            return false;
        }
        const auto byte = static_cast<unsigned char>(c[0]);
        if (c.size() > 1) {
            if (IsC1Control(c))
                AppendUnicodeEscape(line, static_cast<unsigned char>(c[1]));
            else
                line += c;
        } else if (byte == '\\') {
            line += "\\\\";
        } else if (byte == '\n') {
            line += "\\n";
        } else if (byte == '\r') {
            line += "\\r";
        } else if (byte == '\t') {
            line += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            line += "\\x";
            AppendHexByte(line, byte, true);
        } else {
            line += static_cast<char>(byte);
        }
        return true;
    });
    if (cut)
        line += "...";
    return line;
}

void AppendJsonString(std::string &out, std::string_view text) {
    out.reserve(out.size() + text.size() + 2);
    out += '"';
    ForEachCharacter(text, [&out](std::string_view c, std::size_t, std::size_t) {
        const auto byte = static_cast<unsigned char>(c[0]);
        if (c.size() > 1) {
            if (IsC1Control(c))
                AppendUnicodeEscape(out, static_cast<unsigned char>(c[1]));
            else
                out += c;
            return true;
        }
        switch (byte) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F)
                AppendUnicodeEscape(out, byte);
            else
                out += static_cast<char>(byte);
        }
        return true;
    });
    out += '"';
}

bool ReplaceLoneSurrogateEscapes(std::string_view json, std::string &repaired) {
    // Every backslash of a JSON text starts an escape inside a string, so the escapes are found
    // by skipping from backslash to backslash, two characters at a time; "\\ud800" is an escaped
    // backslash followed by letters, not an escape.
    const char *const first = json.data();
    const char *const last = first + json.size();
    const char *p = first;
    bool found = false;
    while (p != last) {
        const auto *slash =
            static_cast<const char *>(std::memchr(p, '\\', static_cast<std::size_t>(last - p)));
        if (slash == nullptr)
            break;
        if (last - slash < 6 || slash[1] != 'u') {
            p = slash + (last - slash >= 2 ? 2 : 1);
            continue;
        }
        const int unit = HexQuad(slash + 2);
        p = slash + 6;
        if (unit < 0xD800 || unit > 0xDFFF)
            continue;
        if (unit <= 0xDBFF && last - p >= 6 && p[0] == '\\' && p[1] == 'u') {
            const int low = HexQuad(p + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                p += 6;
                continue;
            }
        }
        if (!found) {
            repaired.assign(first, last);
            found = true;
        }
        repaired.replace(static_cast<std::size_t>(slash - first) + 2, 4, "fffd");
    }
    return found;
}

} // namespace Geo
