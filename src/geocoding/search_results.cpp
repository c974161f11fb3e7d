// Reading of a search answer: the JSON array of places into SearchOutput records.
#include "geocoding/nominatim_request.h"
#include "text/code_page.h"
#include "text/server_text.h"

#include <rapidjson/document.h>

#include <cstdlib>

#include "platform/classic_locale.h"

namespace Geo {
namespace {

// One "boundingbox" number. The service sends strings, read as atof reads them in the classic
// locale: the service writes "." whatever locale the host process chose. A JSON number
// is taken as it is; any other value (null, true, an object...) has no number in it and leaves
// the whole place out, rather than passing for 0.
bool ReadBoundingNumber(const rapidjson::Value &value, double &number) {
    if (value.IsString()) {
        const Platform::CClassicLocaleScope classic;
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
    wide.clear();
    narrow.clear();
    if (ConvertToWide(kCodePageUtf8, utf8, wide) &&
        ConvertToMultiByte(kCodePageAnsi, wide.data(), narrow)) {
        return narrow.data();
    }
    return std::string();
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
    document.Parse<rapidjson::kParseIterativeFlag>(lone ? repaired.c_str() : body.c_str());
    if (document.HasParseError() || !document.IsArray()) {
        return results;
    }
    results.reserve(document.Size());
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
