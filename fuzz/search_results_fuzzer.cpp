// Fuzz target: the reading of search answers, the code-page round trip and the query escaping.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <rapidjson/document.h>

#include "geocoding/nominatim_request.h"
#include "text/code_page.h"
#include "text/server_text.h"

#include "fuzz_support.h"

namespace {

using VexoGeoFuzz::Check;

std::string RoundTripUtf8(const std::string &text) {
    std::vector<wchar_t> wide;
    std::vector<char> narrow;
    Check(Geo::ConvertToWide(Geo::kCodePageUtf8, text.c_str(), wide), "decode never fails");
    Check(Geo::ConvertToMultiByte(Geo::kCodePageUtf8, wide.data(), narrow), "encode never fails");
    return narrow.data();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string input(reinterpret_cast<const char *>(data), size);

    // Unreadable bodies give nothing; a readable array never gives more records than elements.
    const auto results = Geo::ParseSearchResults(input);
    rapidjson::Document document;
    // Read as the library reads (a lone surrogate escape as U+FFFD); deep input must not exhaust
    // the stack.
    std::string repaired;
    const bool lone = Geo::ReplaceLoneSurrogateEscapes(std::string_view(input.c_str()), repaired);
    document.Parse<rapidjson::kParseIterativeFlag>(lone ? repaired.c_str() : input.c_str());
    if (document.HasParseError() || !document.IsArray()) {
        Check(results.empty(), "records from an unreadable body");
    } else {
        Check(results.size() <= document.Size(), "more records than elements");
    }
    for (const auto &result : results) {
        Check(result.m_displayName.find('\0') == std::string::npos, "NUL in a display name");
    }

    // Decoding substitutes U+FFFD and encoding is its inverse: a second round trip changes nothing.
    const std::string once = RoundTripUtf8(input);
    Check(RoundTripUtf8(once) == once, "UTF-8 round trip is not stable");

    // An escaped query holds none of the bytes that would break the URL.
    for (const char c : Geo::EscapeQuery(input)) {
        const auto byte = static_cast<unsigned char>(c);
        Check(byte >= 0x20 && byte != 0x7F && c != '&' && c != '#' && c != '+', "unescaped byte");
    }
    return 0;
}
