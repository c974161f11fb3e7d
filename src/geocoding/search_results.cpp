// Reading of a search answer: the JSON array of places into SearchOutput records.
#include "geocoding/nominatim_request.h"
#include "text/code_page.h"
#include "text/server_text.h"

#include <rapidjson/document.h>

#include <cstdlib>
#include <cstring>

#include "platform/classic_locale.h"
#include "platform/code_page_conversion.h"

namespace Geo {
namespace {

// One "boundingbox" number. The service sends strings, read as atof reads them in the classic
// locale: the service writes "." whatever locale the host process chose. A JSON number
// is taken as it is; any other value (null, true, an object...) has no number in it and leaves
// the whole place out, rather than passing for 0.
// The caller holds the classic locale for the whole answer.
bool ReadBoundingNumber(const rapidjson::Value &value, double &number) {
    if (value.IsString()) {
        number = std::atof(value.GetString());
        return true;
    }
    if (value.IsNumber()) {
        number = value.GetDouble();
        return true;
    }
    return false;
}

// The UTF-8 name in the process code page; empty when either conversion fails. The two buffers
// are handed in so that one answer's places share them.
std::string ToDisplayName(const char *utf8, std::vector<wchar_t> &wide, std::vector<char> &narrow) {
    // Where the process's code page is UTF-8 through the platform's own codec, the round trip
    // through wide text is exactly the repair of ill-formed sequences: no conversion needed.
    static const bool direct = Platform::ConvertsAsUtf8(kCodePageAnsi);
    if (direct)
        return ToValidUtf8(utf8);
    wide.clear();
    narrow.clear();
    if (ConvertToWide(kCodePageUtf8, utf8, wide) &&
        ConvertToMultiByte(kCodePageAnsi, wide.data(), narrow)) {
        return narrow.data();
    }
    return std::string();
}

// Nesting the recursive parser may meet: its stack frames for this depth stay far below any
// thread's stack.
constexpr std::size_t kMostRecursiveBrackets = 512;

// The '[' and '{' bytes of the NUL-terminated `json`, counted up to `most`.
std::size_t CountBrackets(const char *json, std::size_t most) {
    std::size_t count = 0;
    for (const char open : {'[', '{'}) {
        for (const char *p = std::strchr(json, open); p != nullptr && count < most;
             p = std::strchr(p + 1, open))
            ++count;
    }
    return count;
}

} // namespace

std::vector<Nominatim::SearchOutput> ParseSearchResults(const std::string &body) {
    std::vector<Nominatim::SearchOutput> results;
    rapidjson::Document document;
    // The iterative parser keeps its nesting on the heap: the recursive one takes a stack frame
    // per "[" or "{" and overflows the caller's stack on an answer nested a hundred thousand
    // levels deep. It reads the same JSON. A lone surrogate escape ("\ud800"), which RapidJSON
    // refuses, is read as U+FFFD so that one bad name does not empty the whole answer.
    std::string repaired;
    const bool lone = ReplaceLoneSurrogateEscapes(std::string_view(body.c_str()), repaired);
    const char *json = lone ? repaired.c_str() : body.c_str();
    // The recursive parser is the faster one; it runs where the answer cannot nest deeper than
    // it has brackets, and those are few (a search answer has two per place).
    if (CountBrackets(json, kMostRecursiveBrackets + 1) <= kMostRecursiveBrackets)
        document.Parse(json);
    else
        document.Parse<rapidjson::kParseIterativeFlag>(json);
    if (document.HasParseError() || !document.IsArray()) {
        return results;
    }
    results.reserve(document.Size());
    // One classic locale for every number of the answer.
    const Platform::CClassicLocaleScope classic;
    std::vector<wchar_t> wide;
    std::vector<char> narrow;
    for (const rapidjson::Value &place : document.GetArray()) {
        if (!place.IsObject()) {
            continue;
        }
        // FindMember answers the first member of a name that occurs twice.
        const auto box = place.FindMember("boundingbox");
        const auto name = place.FindMember("display_name");
        if (box == place.MemberEnd() || !box->value.IsArray() || box->value.Size() != 4 ||
            name == place.MemberEnd() || !name->value.IsString()) {
            continue;
        }
        Nominatim::SearchOutput output;
        bool numbers = true;
        for (rapidjson::SizeType i = 0; i < 4 && numbers; ++i) {
            numbers = ReadBoundingNumber(box->value[i], output.m_boundingBox[i]);
        }
        if (!numbers) {
            continue;
        }
        output.m_displayName = ToDisplayName(name->value.GetString(), wide, narrow);
        results.push_back(std::move(output));
    }
    return results;
}

} // namespace Geo
