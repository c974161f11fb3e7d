// CWmsUrl: the GetMap request as WMS servers read it (percent-encoding, axis order, address
// query) and its inverse.
#include <vexogeo/wms/wms_url.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "text/ascii.h"
#include "text/url_text.h"
#include "wms/axis_order.h"
#include "wms/version_number.h"

namespace Geo {

namespace {

constexpr int kFirstCrsVersion = 130;

bool SwapsAxes(const std::string &version, const std::string &crs) {
    if (ReadVersionNumber(version) < kFirstCrsVersion)
        return false;
    switch (Wms::LookUpAxisOrder(crs)) {
    case Wms::AxisOrder::NorthingFirst:
        return true;
    case Wms::AxisOrder::EastingFirst:
        return false;
    case Wms::AxisOrder::Unknown:
        break;
    }
    throw std::invalid_argument("The axis order of the coordinate system \"" + crs +
                                "\" is unknown, so no WMS 1.3.0 box can be written for it.");
}

// The shortest fixed-point text that reads back exactly: servers read "6000000" but not every
// one reads "6e+06" (whose "+" a CGI server also takes for a blank).
void AppendNumber(std::string &out, double value) {
    char buffer[400]; // DBL_MAX has 309 digits; the smallest subnormal 751 decimals: see below
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (result.ec != std::errc()) // magnitudes below 1e-80 or so: no map box has them
        result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void AppendPair(std::string &out, const char *key, std::string_view value, bool listCommas) {
    AppendQuerySeparator(out);
    out += key;
    out += '=';
    if (listCommas)
        AppendPercentEncoded(out, value,
                             [](unsigned char c) { return IsUnreserved(c) || c == ','; });
    else
        AppendPercentEncoded(out, value);
}

enum class Key {
    Service,
    Version,
    Request,
    Layers,
    Styles,
    Format,
    Crs,
    BBox,
    Width,
    Height,
    Transparent,
    BgColor,
    Exceptions,
    Time,
    Sld,
    SldBody,
    Other
};

Key KeyOf(std::string_view key) {
    static constexpr std::array<std::pair<std::string_view, Key>, 17> kKeys{{
        {"service", Key::Service},
        {"version", Key::Version},
        {"request", Key::Request},
        {"layers", Key::Layers},
        {"styles", Key::Styles},
        {"format", Key::Format},
        {"crs", Key::Crs},
        {"srs", Key::Crs},
        {"bbox", Key::BBox},
        {"width", Key::Width},
        {"height", Key::Height},
        {"transparent", Key::Transparent},
        {"bgcolor", Key::BgColor},
        {"exceptions", Key::Exceptions},
        {"time", Key::Time},
        {"sld", Key::Sld},
        {"sld_body", Key::SldBody},
    }};
    for (const auto &entry : kKeys)
        if (EqualsIgnoringAsciiCase(key, entry.first))
            return entry.second;
    return Key::Other;
}

bool ReadInteger(const std::string &text, std::int32_t &value) {
    const char *last = text.data() + text.size();
    const auto result = std::from_chars(text.data(), last, value);
    return result.ec == std::errc() && result.ptr == last;
}

bool ReadBox(const std::string &text, std::array<double, 4> &values) {
    const char *first = text.data();
    const char *last = first + text.size();
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) {
            if (first == last || *first != ',')
                return false;
            ++first;
        }
        if (first != last && *first == '+')
            return false;
        const auto result = std::from_chars(first, last, values[i]);
        if (result.ec != std::errc())
            return false;
        first = result.ptr;
    }
    return first == last;
}

bool ReadColor(const std::string &text, std::uint32_t &color) {
    std::string_view digits(text);
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits.remove_prefix(2);
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), color, 16);
    return !digits.empty() && result.ec == std::errc() &&
           result.ptr == digits.data() + digits.size();
}

} // namespace

bool CWmsUrl::HasBgColor() const { return m_bgColorSet; }

std::string CWmsUrl::GetRequestUrl() const {
    const bool swap = SwapsAxes(m_version, m_crs);
    // The address's own SERVICE, VERSION, BBOX... would be sent beside ours, and servers read
    // the first one.
    std::string url = AddressWithoutParameters(
        m_address, [](std::string_view name) { return KeyOf(name) != Key::Other; });
    AppendQuerySeparator(url);
    AppendPair(url, "SERVICE", m_service.empty() ? "WMS" : m_service, false);
    AppendPair(url, "VERSION", m_version, false);
    AppendPair(url, "REQUEST", m_request.empty() ? "GetMap" : m_request, false);
    AppendPair(url, "LAYERS", m_layers, true);
    AppendPair(url, "STYLES", m_styles, true);
    AppendPair(url, ReadVersionNumber(m_version) < kFirstCrsVersion ? "SRS" : "CRS", m_crs, false);

    const double corners[4] = {m_cornersSet ? m_corners[0] : m_bbox.x,
                               m_cornersSet ? m_corners[1] : m_bbox.y,
                               m_cornersSet ? m_corners[2] : m_bbox.x + m_bbox.width,
                               m_cornersSet ? m_corners[3] : m_bbox.y + m_bbox.height};
    const double minX = std::min(corners[0], corners[2]), maxX = std::max(corners[0], corners[2]);
    const double minY = std::min(corners[1], corners[3]), maxY = std::max(corners[1], corners[3]);
    const double ordered[4] = {swap ? minY : minX, swap ? minX : minY, swap ? maxY : maxX,
                               swap ? maxX : maxY};
    url += "&BBOX=";
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            url += ',';
        AppendNumber(url, ordered[i]);
    }
    url += "&WIDTH=" + std::to_string(m_width);
    url += "&HEIGHT=" + std::to_string(m_height);
    AppendPair(url, "FORMAT", m_format, false);
    if (m_transparent)
        url += "&TRANSPARENT=TRUE";
    if (m_bgColorSet) {
        char color[16];
        int length = 0;
        for (int shift = 28; shift >= 0; shift -= 4) {
            const unsigned digit = (m_bgColor >> shift) & 0xFu;
            if (length == 0 && digit == 0 && shift > 20)
                continue; // at least six digits: 0xRRGGBB
            color[length++] = kUpperHexDigits[digit];
        }
        url += "&BGCOLOR=0x";
        url.append(color, static_cast<std::size_t>(length));
    }
    if (!m_exceptions.empty())
        AppendPair(url, "EXCEPTIONS", m_exceptions, false);
    if (!m_time.empty())
        AppendPair(url, "TIME", m_time, true);
    if (!m_sld.empty())
        AppendPair(url, "SLD", m_sld, false);
    if (!m_sldBody.empty())
        AppendPair(url, "SLD_BODY", m_sldBody, false);
    return url;
}

bool CWmsUrl::ParseRequestUrl(const std::string &text) {
    const std::string url = text.substr(0, text.find('#')); // a fragment is no parameter
    CWmsUrl parsed(*this);
    const std::size_t question = url.find('?');
    std::string address = url.substr(0, question);
    if (question == std::string::npos) {
        *this = std::move(parsed);
        m_address = std::move(address);
        return true;
    }
    std::string kept;
    std::string boxText;
    std::string_view query(url);
    query.remove_prefix(question + 1);
    while (true) {
        const std::size_t amp = query.find('&');
        const std::string_view piece = query.substr(0, amp);
        const std::size_t equals = piece.find('=');
        const Key key =
            equals == std::string_view::npos ? Key::Other : KeyOf(piece.substr(0, equals));
        if (key == Key::Other) {
            if (!piece.empty()) {
                kept.append(piece.data(), piece.size());
                kept += '&';
            }
        } else {
            std::string value;
            if (!PercentDecode(piece.substr(equals + 1), value))
                return false;
            switch (key) {
            case Key::Service:
                parsed.m_service = std::move(value);
                break;
            case Key::Version:
                parsed.m_version = std::move(value);
                break;
            case Key::Request:
                parsed.m_request = std::move(value);
                break;
            case Key::Layers:
                parsed.m_layers = std::move(value);
                break;
            case Key::Styles:
                parsed.m_styles = std::move(value);
                break;
            case Key::Format:
                parsed.m_format = std::move(value);
                break;
            case Key::Crs:
                parsed.m_crs = std::move(value);
                break;
            case Key::BBox:
                boxText = std::move(value);
                break;
            case Key::Width:
                if (!ReadInteger(value, parsed.m_width))
                    return false;
                break;
            case Key::Height:
                if (!ReadInteger(value, parsed.m_height))
                    return false;
                break;
            case Key::Transparent:
                parsed.m_transparent = EqualsIgnoringAsciiCase(value, "true");
                break;
            case Key::BgColor:
                if (!ReadColor(value, parsed.m_bgColor))
                    return false;
                parsed.m_bgColorSet = true;
                break;
            case Key::Exceptions:
                parsed.m_exceptions = std::move(value);
                break;
            case Key::Time:
                parsed.m_time = std::move(value);
                break;
            case Key::Sld:
                parsed.m_sld = std::move(value);
                break;
            case Key::SldBody:
                parsed.m_sldBody = std::move(value);
                break;
            case Key::Other:
                break;
            }
        }
        if (amp == std::string_view::npos)
            break;
        query.remove_prefix(amp + 1);
    }
    if (!boxText.empty()) {
        std::array<double, 4> values{};
        if (!ReadBox(boxText, values))
            return false;
        const bool swap = SwapsAxes(parsed.m_version, parsed.m_crs);
        const double minX = swap ? values[1] : values[0];
        const double minY = swap ? values[0] : values[1];
        const double maxX = swap ? values[3] : values[2];
        const double maxY = swap ? values[2] : values[3];
        parsed.SetBBoxCorners(minX, minY, maxX, maxY);
    }
    if (!kept.empty())
        address += '?' + kept;
    parsed.m_address = std::move(address);
    *this = std::move(parsed);
    return true;
}

} // namespace Geo
