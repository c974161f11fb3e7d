// Fuzz target: the geocoding client's reading of search and reverse answers, the cache's file
// check, and the cleaning of server texts for one-line messages.
#include <cmath>
#include <cstdint>
#include <string>

#include <rapidjson/document.h>

#include "geocoding/http_get.h"
#include "geocoding/place_cache.h"
#include "geocoding/place_parser.h"
#include "net/transfer.h"
#include "text/server_text.h"

#include "fuzz_support.h"

namespace {

using VexoGeoFuzz::Check;

void CheckPlace(const Geo::Place &place) {
    Check(Geo::IsValidUtf8(place.m_displayName) && Geo::IsValidUtf8(place.m_class) &&
              Geo::IsValidUtf8(place.m_type) && Geo::IsValidUtf8(place.m_osmType.value_or("")),
          "a place's text is not UTF-8");
    Check(std::isfinite(place.m_latitude) && std::isfinite(place.m_longitude), "point");
    for (const double value : place.m_boundingBox)
        Check(std::isfinite(value), "box");
}

// An answer is either places or a NotNominatim error, never another failure.
template <typename Parse> bool Read(Parse parse) {
    try {
        parse();
        return true;
    } catch (const Geo::GeocodingError &error) {
        Check(error.GetKind() == Geo::GeocodingErrorKind::NotNominatim, "error kind");
        const std::string text = error.what();
        Check(text.find_first_of("\n\r") == std::string::npos, "line break in a message");
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string input(reinterpret_cast<const char *>(data), size);

    rapidjson::Document document;
    // Read as the library reads: up to a NUL byte, which no readable answer holds, with a lone
    // surrogate escape read as U+FFFD and numbers kept as text.
    std::string repaired;
    const bool lone = Geo::ReplaceLoneSurrogateEscapes(std::string_view(input.c_str()), repaired);
    document.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseNumbersAsStringsFlag>(
        lone ? repaired.c_str() : input.c_str());
    const bool readable = !document.HasParseError() && input.find('\0') == std::string::npos;
    const bool ok = Read([&] {
        const auto places = Geo::ParsePlaces(input);
        Check(document.IsArray() && places.size() <= document.Size(), "more places than elements");
        for (const auto &place : places)
            CheckPlace(place);
    });
    Check(!ok || (readable && document.IsArray()), "places from an unreadable body");
    Read([&] {
        if (const auto place = Geo::ParseReversePlace(input))
            CheckPlace(*place);
        Check(readable && document.IsObject(), "a reverse answer that is no object");
    });

    // A cache file made of these bytes is never trusted unless whole and for its key.
    const std::string folder = VexoGeoFuzz::TemporaryFolder("places").string() + "/";
    Geo::CPlaceCache cache(2, 1 << 20, folder);
    {
        std::FILE *file = std::fopen(cache.GetFilePath("key").c_str(), "wb");
        Check(file != nullptr, "cache file");
        std::fwrite(input.data(), 1, input.size(), file);
        std::fclose(file);
    }
    if (const auto places = cache.Find("key", Geo::AnswerKind::Search, 1e18)) {
        for (const auto &place : *places)
            CheckPlace(place);
    }

    const std::string clean = Geo::ToSafeLine(input, 64);
    Check(Geo::IsValidUtf8(clean) && Geo::IsValidUtf8(Geo::ToValidUtf8(input)), "invalid UTF-8");
    Check(clean.size() <= 64 * 4 + 3, "cleaned text too long");
    for (const char c : clean) {
        const auto byte = static_cast<unsigned char>(c);
        Check(byte >= 0x20 && byte != 0x7F, "control byte in a cleaned text");
    }
    const double retry = Geo::Net::ParseRetryAfter(input, 1700000000);
    Check(retry == -1 || retry >= 0, "negative Retry-After");
    return 0;
}
