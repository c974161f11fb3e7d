// The geocoding client's answers read with RapidJSON; numbers locale-independent.
#include "geocoding/place_parser.h"

#include "geocoding/geocoding_settings.h"
#include "text/server_text.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <charconv>
#include <cmath>

namespace Geo {
namespace {

[[noreturn]] void ThrowNotNominatim(const std::string &why) {
    throw GeocodingError(GeocodingErrorKind::NotNominatim,
                         "the answer is not a Nominatim result: " + why);
}

// Nominatim sends coordinates as strings; numbers are accepted too. The parser hands numbers over
// as their text (see ParseAnswer), so both are read by one exact reader: the nearest double to
// the digits, and a value out of a double's range leaves the member unread in either form.
bool ReadNumber(const rapidjson::Value &value, double &number) {
    if (!value.IsString())
        return false;
    return ParseDecimal(std::string(value.GetString(), value.GetStringLength()), number) &&
           std::isfinite(number);
}

const rapidjson::Value *FindMember(const rapidjson::Value &object, const char *name) {
    const auto member = object.FindMember(name);
    return member == object.MemberEnd() ? nullptr : &member->value;
}

// A text member as well-formed UTF-8; none when it is missing or not a string.
std::optional<std::string> ReadText(const rapidjson::Value &object, const char *name) {
    const rapidjson::Value *value = FindMember(object, name);
    if (value == nullptr || !value->IsString())
        return std::nullopt;
    return ToValidUtf8(std::string_view(value->GetString(), value->GetStringLength()));
}

std::optional<Place> ReadPlace(const rapidjson::Value &element) {
    if (!element.IsObject())
        return std::nullopt;
    Place place;
    const rapidjson::Value *lat = FindMember(element, "lat");
    const rapidjson::Value *lon = FindMember(element, "lon");
    const rapidjson::Value *box = FindMember(element, "boundingbox");
    if (lat == nullptr || lon == nullptr || box == nullptr || !ReadNumber(*lat, place.m_latitude) ||
        !ReadNumber(*lon, place.m_longitude) || !box->IsArray() || box->Size() != 4) {
        return std::nullopt;
    }
    for (rapidjson::SizeType i = 0; i < 4; ++i) {
        if (!ReadNumber((*box)[i], place.m_boundingBox[i]))
            return std::nullopt;
    }
    place.m_displayName = ReadText(element, "display_name").value_or(std::string());
    place.m_class = ReadText(element, "class").value_or(std::string());
    if (place.m_class.empty())
        place.m_class = ReadText(element, "category").value_or(std::string()); // format=jsonv2
    place.m_type = ReadText(element, "type").value_or(std::string());
    place.m_osmType = ReadText(element, "osm_type");
    if (const rapidjson::Value *importance = FindMember(element, "importance")) {
        double value = 0;
        if (ReadNumber(*importance, value))
            place.m_importance = value;
    }
    if (const rapidjson::Value *id = FindMember(element, "osm_id")) {
        if (id->IsString()) {
            // Read as an integer, whether sent as a number or a string: a double would round
            // ids past 2^53.
            std::uint64_t value = 0;
            const char *first = id->GetString();
            const char *last = first + id->GetStringLength();
            const auto result = std::from_chars(first, last, value);
            if (result.ec == std::errc() && result.ptr == last && first != last)
                place.m_osmId = value;
        }
    }
    return place;
}

// Parses an answer as JSON, iteratively so that deep nesting cannot exhaust the stack. Numbers
// stay text for ReadNumber: RapidJSON's own full-precision conversion indexes its table of powers
// out of bounds on some long mantissas with large negative exponents (a crash a server could
// send), and the text read by std::from_chars is the double nearest to the digits anyway. The
// parser still checks each number's grammar. A lone surrogate escape in one name becomes U+FFFD
// instead of failing the whole answer.
void ParseAnswer(const std::string &body, rapidjson::Document &document) {
    constexpr unsigned kFlags =
        rapidjson::kParseIterativeFlag | rapidjson::kParseNumbersAsStringsFlag;
    // JSON has no raw NUL, and the parse reads up to the first one (RapidJSON's sized reader
    // trips the undefined-behaviour checker inside its own stack).
    const std::size_t nul = body.find('\0');
    if (nul != std::string::npos)
        ThrowNotNominatim("a NUL byte at byte " + std::to_string(nul) + ": " +
                          ToSafeLine(body, 60));
    std::string repaired;
    if (ReplaceLoneSurrogateEscapes(body, repaired))
        document.Parse<kFlags>(repaired.c_str());
    else
        document.Parse<kFlags>(body.c_str());
    if (document.HasParseError()) {
        ThrowNotNominatim(std::string(rapidjson::GetParseError_En(document.GetParseError())) +
                          " at byte " + std::to_string(document.GetErrorOffset()) + ": " +
                          ToSafeLine(body, 60));
    }
}

} // namespace

std::vector<Place> ParsePlaces(const std::string &body) {
    rapidjson::Document document;
    ParseAnswer(body, document);
    if (!document.IsArray())
        ThrowNotNominatim("expected a list of places: " + ToSafeLine(body, 60));
    std::vector<Place> places;
    places.reserve(document.Size());
    for (const auto &element : document.GetArray()) {
        if (auto place = ReadPlace(element))
            places.push_back(std::move(*place));
    }
    if (places.empty() && document.Size() > 0)
        ThrowNotNominatim("no element of the list is a place");
    return places;
}

std::optional<Place> ParseReversePlace(const std::string &body) {
    rapidjson::Document document;
    ParseAnswer(body, document);
    if (!document.IsObject())
        ThrowNotNominatim("expected one place: " + ToSafeLine(body, 60));
    if (document.HasMember("error"))
        return std::nullopt;
    auto place = ReadPlace(document);
    if (!place)
        ThrowNotNominatim("the object is not a place: " + ToSafeLine(body, 60));
    return place;
}

} // namespace Geo
