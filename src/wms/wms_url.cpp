// CWmsUrl: parameter storage, validation, URL composition and parsing.
#include <vexogeo/wms/wms_url.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <locale>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/classic_locale.h"
#include "wms/coordinate_text.h"
#include "wms/version_number.h"

namespace Geo {

namespace {

static_assert(sizeof(int) == sizeof(std::int32_t), "image sizes are 32-bit signed integers");

// Versions from 1.3.0 on name the coordinate system "crs", earlier ones "srs".
constexpr int kFirstCrsVersion = 130;

// Decimal text of a 32-bit integer: sign and ten digits.
constexpr std::size_t kIntegerTextCapacity = 12;

struct Pair {
    std::string_view key;
    std::string_view value;
};

std::string_view IntegerText(std::int32_t value, char (&out)[kIntegerTextCapacity]) {
    const auto converted = std::to_chars(out, out + kIntegerTextCapacity, value);
    return std::string_view(out, converted.ptr - out);
}

// A "bgcolor" value read as `strtoul` in base 16 reads it where `unsigned long` has 32 bits:
// a magnitude beyond 32 bits gives the largest 32-bit value, a "-" negates modulo 2^32.
std::uint32_t ReadHexColor(const char *text) {
    constexpr unsigned long kMax = std::numeric_limits<std::uint32_t>::max();
    const int savedErrno = errno;
    errno = 0;
    char *stop = nullptr;
    // Blanks and digits as the classic locale has them, whatever the host's locale says.
    const Platform::CClassicLocaleScope classic;
    const unsigned long number = std::strtoul(text, &stop, 16);
    const bool overflow = errno == ERANGE;
    errno = savedErrno;
    if (overflow)
        return static_cast<std::uint32_t>(kMax);
    const char *first = text;
    while (std::isspace(static_cast<unsigned char>(*first)))
        ++first;
    if (*first == '-' && stop != text) {
        // strtoul negated the magnitude in its own width; undo that to check the 32-bit range.
        const unsigned long magnitude = 0ul - number;
        if (magnitude > kMax)
            return static_cast<std::uint32_t>(kMax);
        return 0u - static_cast<std::uint32_t>(magnitude);
    }
    return static_cast<std::uint32_t>(std::min(number, kMax));
}

// Lower-cases in place with the global locale's ctype facet (A-Z only in the "C" locale).
void LowerCase(char *first, char *last) {
    if (first != last)
        std::use_facet<std::ctype<char>>(std::locale()).tolower(first, last);
}

} // namespace

CWmsUrl::CWmsUrl()
    : m_bbox(0.0, 0.0, 1.0, 1.0), m_width(0), m_height(0), m_transparent(false), m_bgColor(0),
      m_bgColorSet(false), m_corners{0.0, 0.0, 1.0, 1.0}, m_cornersSet(false) {}
CWmsUrl::CWmsUrl(const CWmsUrl &other) = default;
CWmsUrl::CWmsUrl(CWmsUrl &&other) noexcept = default;
CWmsUrl &CWmsUrl::operator=(const CWmsUrl &other) = default;
CWmsUrl &CWmsUrl::operator=(CWmsUrl &&other) noexcept = default;
CWmsUrl::~CWmsUrl() = default;

std::string CWmsUrl::GetAddress() const { return m_address; }
void CWmsUrl::SetAddress(std::string address) { m_address = std::move(address); }
std::string CWmsUrl::GetService() const { return m_service; }
void CWmsUrl::SetService(std::string service) { m_service = std::move(service); }
std::string CWmsUrl::GetVersion() const { return m_version; }
void CWmsUrl::SetVersion(std::string version) { m_version = std::move(version); }
std::string CWmsUrl::GetRequest() const { return m_request; }
void CWmsUrl::SetRequest(std::string request) { m_request = std::move(request); }
std::string CWmsUrl::GetLayers() const { return m_layers; }
void CWmsUrl::SetLayers(std::string layers) { m_layers = std::move(layers); }
std::string CWmsUrl::GetStyles() const { return m_styles; }
void CWmsUrl::SetStyles(std::string styles) { m_styles = std::move(styles); }
std::string CWmsUrl::GetFormat() const { return m_format; }
void CWmsUrl::SetFormat(std::string format) { m_format = std::move(format); }
std::string CWmsUrl::GetCrs() const { return m_crs; }
void CWmsUrl::SetCrs(std::string crs) { m_crs = std::move(crs); }
BoundingBox2<double> CWmsUrl::GetBBox() const { return m_bbox; }
void CWmsUrl::SetBBox(BoundingBox2<double> bbox) {
    m_bbox = bbox;
    m_cornersSet = false;
}
void CWmsUrl::SetBBoxCorners(double minX, double minY, double maxX, double maxY) {
    m_bbox = BoundingBox2<double>(minX, minY, maxX - minX, maxY - minY);
    m_corners[0] = minX;
    m_corners[1] = minY;
    m_corners[2] = maxX;
    m_corners[3] = maxY;
    m_cornersSet = true;
}
int CWmsUrl::GetWidth() const { return m_width; }
void CWmsUrl::SetWidth(int width) { m_width = width; }
int CWmsUrl::GetHeight() const { return m_height; }
void CWmsUrl::SetHeight(int height) { m_height = height; }
bool CWmsUrl::GetTransparent() const { return m_transparent; }
void CWmsUrl::SetTransparent(bool transparent) { m_transparent = transparent; }
std::uint32_t CWmsUrl::GetBgColor() const { return m_bgColor; }
void CWmsUrl::SetBgColor(std::uint32_t bgColor) {
    m_bgColor = bgColor;
    m_bgColorSet = true;
}
std::string CWmsUrl::GetExceptions() const { return m_exceptions; }
void CWmsUrl::SetExceptions(std::string exceptions) { m_exceptions = std::move(exceptions); }
std::string CWmsUrl::GetTime() const { return m_time; }
void CWmsUrl::SetTime(std::string time) { m_time = std::move(time); }
std::string CWmsUrl::GetSld() const { return m_sld; }
void CWmsUrl::SetSld(std::string sld) { m_sld = std::move(sld); }
std::string CWmsUrl::GetSldBody() const { return m_sldBody; }
void CWmsUrl::SetSldBody(std::string sldBody) { m_sldBody = std::move(sldBody); }

bool CWmsUrl::IsValid() { return Validate(); }

bool CWmsUrl::Validate() const {
    if (m_service.empty() || m_version.empty() || m_request.empty() || m_layers.empty() ||
        m_format.empty() || m_crs.empty())
        return false;
    // Each of the four numbers of the "bbox" value must be non-zero; the corners are not
    // compared with each other, so negative extents pass, and so does NaN.
    if (m_bbox.x == 0.0)
        return false;
    if (m_bbox.y == 0.0)
        return false;
    if (m_bbox.x + m_bbox.width == 0.0)
        return false;
    if (m_bbox.y + m_bbox.height == 0.0)
        return false;
    return m_width != 0 && m_height != 0;
}

int CWmsUrl::GetVersionNumber() const { return ReadVersionNumber(m_version); }

std::string CWmsUrl::GetUrl() {
    // The box as origin and far corner: x, y, x + width, y + height.
    char bbox[4 * kCoordinateTextCapacity];
    std::size_t bboxLength = 0;
    const double corners[4] = {m_bbox.x, m_bbox.y, m_bbox.x + m_bbox.width,
                               m_bbox.y + m_bbox.height};
    for (double corner : corners) {
        char text[kCoordinateTextCapacity];
        const std::size_t length = FormatCoordinate(corner, text);
        std::copy(text, text + length, bbox + bboxLength);
        bboxLength += length;
        bbox[bboxLength++] = ',';
    }
    --bboxLength; // no "," after the last coordinate
    char width[kIntegerTextCapacity];
    char height[kIntegerTextCapacity];

    const Pair pairs[] = {
        {"service", m_service},
        {"version", m_version},
        {"request", m_request},
        {"layers", m_layers},
        {"styles", m_styles},
        {"format", m_format},
        {GetVersionNumber() < kFirstCrsVersion ? "srs" : "crs", m_crs},
        {"bbox", std::string_view(bbox, bboxLength)},
        {"width", IntegerText(m_width, width)},
        {"height", IntegerText(m_height, height)},
    };
    // address "?" key=value ("&" key=value)..., sized before the first byte is written.
    std::size_t size = m_address.size() + 1 + (std::size(pairs) - 1);
    for (const Pair &pair : pairs)
        size += pair.key.size() + 1 + pair.value.size();
    std::string url;
    url.reserve(size);
    url.append(m_address).push_back('?');
    for (const Pair &pair : pairs) {
        if (&pair != pairs)
            url.push_back('&');
        url.append(pair.key).append(1, '=').append(pair.value);
    }
    return url;
}

void CWmsUrl::Parse(std::string url) {
    const std::size_t question = url.find('?');
    m_address.assign(url, 0, question);
    // Without a "?" the whole text is both the address and the query.
    std::string_view query(url);
    if (question != std::string::npos)
        query.remove_prefix(question + 1);

    // Every "&" ends a piece, empty pieces included: n "&" give n + 1 pieces.
    std::vector<std::string_view> pieces;
    pieces.reserve(static_cast<std::size_t>(std::count(query.begin(), query.end(), '&')) + 1);
    for (;;) {
        const std::size_t amp = query.find('&');
        pieces.push_back(query.substr(0, amp));
        if (amp == std::string_view::npos)
            break;
        query.remove_prefix(amp + 1);
    }
    for (std::string_view piece : pieces)
        ParseParameter(std::string(piece));
}

void CWmsUrl::ParseParameter(std::string parameter) {
    const std::size_t equals = parameter.find('=');
    if (equals == std::string::npos || equals == 0)
        return; // no "=" (the empty piece included) or an empty key: nothing to apply
    LowerCase(&parameter[0], &parameter[0] + equals);
    const std::string_view key(parameter.data(), equals);

    static constexpr struct {
        std::string_view key;
        std::string CWmsUrl::*member;
    } kTextKeys[] = {
        {"service", &CWmsUrl::m_service},
        {"version", &CWmsUrl::m_version},
        {"request", &CWmsUrl::m_request},
        {"layers", &CWmsUrl::m_layers},
        {"styles", &CWmsUrl::m_styles},
        {"format", &CWmsUrl::m_format},
        {"exceptions", &CWmsUrl::m_exceptions},
        {"time", &CWmsUrl::m_time},
        {"sld", &CWmsUrl::m_sld},
        {"sld_body", &CWmsUrl::m_sldBody},
    };
    for (const auto &textKey : kTextKeys) {
        if (key == textKey.key) {
            (this->*textKey.member).assign(parameter, equals + 1, std::string::npos);
            return;
        }
    }
    if (key == "transparent") {
        LowerCase(&parameter[0] + equals + 1, &parameter[0] + parameter.size());
        m_transparent = std::string_view(parameter).substr(equals + 1) == "true";
    } else if (key == "bgcolor") {
        m_bgColor = ReadHexColor(parameter.c_str() + equals + 1);
        m_bgColorSet = true;
    }
    // Any other key, "crs", "srs", "bbox", "width" and "height" included, is ignored.
}

} // namespace Geo
