// CCrsSearch: one database query on PROJ's default context, then the name filter and the order.
#include <vexogeo/crs/crs_search.h>

#include "crs/proj_objects.h"
#include "text/ascii.h"
#include "text/folding.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>

namespace Geo {

namespace {

struct CrsInfoListDeleter {
    void operator()(PROJ_CRS_INFO **list) const { proj_crs_info_list_destroy(list); }
};

struct ObjectListDeleter {
    void operator()(PJ_OBJ_LIST *list) const { proj_list_destroy(list); }
};

struct CrsListParametersDeleter {
    void operator()(PROJ_CRS_LIST_PARAMETERS *parameters) const {
        proj_get_crs_list_parameters_destroy(parameters);
    }
};

// A query longer than this finds nothing: no name comes near it, and a bound keeps the word
// loops short whatever is typed.
constexpr std::size_t kMaxQueryBytes = 1024;
// PROJ's name lookup is asked only for texts of a name's length.
constexpr std::size_t kMaxLookupBytes = 256;

bool IsAsciiAlnum(char c) { return IsAsciiLetter(c) || (c >= '0' && c <= '9'); }

// Words of folded text: runs of ASCII letters and digits and of any non-ASCII bytes; blanks and
// punctuation ("/", "-", "_", "(") separate them, so "Gauss-Kruger" and "gauss kruger" agree.
std::vector<std::string> Words(const std::string &folded) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : folded) {
        if (IsAsciiAlnum(c) || static_cast<unsigned char>(c) >= 0x80) {
            word += c;
        } else if (!word.empty()) {
            words.push_back(std::move(word));
            word.clear();
        }
    }
    if (!word.empty())
        words.push_back(std::move(word));
    return words;
}

// The words run together: "WGS 84" and "wgs84" compare equal in this form.
std::string Compact(const std::vector<std::string> &words) {
    std::string compact;
    for (const std::string &word : words)
        compact += word;
    return compact;
}

// The optimal string alignment distance (an adjacent swap counts as one edit), or `limit + 1`
// once it is certain to exceed `limit`.
std::size_t EditDistance(const std::string &a, const std::string &b, std::size_t limit) {
    if ((a.size() > b.size() ? a.size() - b.size() : b.size() - a.size()) > limit)
        return limit + 1;
    std::vector<std::size_t> before(b.size() + 1), previous(b.size() + 1), current(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        previous[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        std::size_t rowBest = current[0];
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                current[j] = std::min(current[j], before[j - 2] + 1);
            rowBest = std::min(rowBest, current[j]);
        }
        if (rowBest > limit)
            return limit + 1;
        before.swap(previous);
        previous.swap(current);
    }
    return previous[b.size()];
}

// The typos forgiven in a word: one edit from five letters on, two from nine on.
std::size_t TyposAllowed(const std::string &word) {
    return word.size() >= 9 ? 2 : word.size() >= 5 ? 1 : 0;
}

// Area of a box in square degrees of longitude and latitude, the antimeridian respected; enough
// to rank "national grid" before "world".
double AreaSize(const CrsSearchHit &hit) {
    if (!hit.m_hasArea)
        return 1e300; // nothing known: last
    double width = hit.m_area.m_east - hit.m_area.m_west;
    if (width < 0)
        width += 360;
    return width * (hit.m_area.m_north - hit.m_area.m_south);
}

// Numeric codes compare by value, others as text after them.
bool CodeLess(const std::string &a, const std::string &b) {
    char *endA = nullptr, *endB = nullptr;
    const long long numberA = std::strtoll(a.c_str(), &endA, 10);
    const long long numberB = std::strtoll(b.c_str(), &endB, 10);
    const bool isNumberA = !a.empty() && *endA == '\0';
    const bool isNumberB = !b.empty() && *endB == '\0';
    if (isNumberA != isNumberB)
        return isNumberA;
    if (isNumberA && numberA != numberB)
        return numberA < numberB;
    return a < b;
}

// Does the area [aw, ae] x [as, an] hold the box [bw, be] x [bs, bn]? West > east crosses the
// antimeridian, for both.
bool AreaContains(const AreaOfUse &a, double bw, double bs, double be, double bn) {
    if (bs < a.m_south || bn > a.m_north)
        return false;
    const double aw = a.m_west, ae = a.m_east < a.m_west ? a.m_east + 360 : a.m_east;
    if (ae - aw >= 360)
        return true; // the whole circle
    if (be < bw)
        be += 360;
    return (bw >= aw && be <= ae) || (bw + 360 >= aw && be + 360 <= ae) ||
           (bw - 360 >= aw && be - 360 <= ae);
}

struct CatalogueEntry {
    CrsSearchHit m_hit;
    std::vector<std::string> m_words; // of the folded name
    std::string m_compact;            // the words run together
    std::string m_foldedId;           // "epsg:4326"
    std::string m_foldedCode;         // "4326"
};

// Reading every system with its area of use takes PROJ about half a second, too slow to repeat
// for each search: the catalogue is read once per process, at the first search that succeeds.
std::mutex g_catalogueMutex;
std::vector<CatalogueEntry> g_catalogue;

bool LoadCatalogue() {
    if (!g_catalogue.empty())
        return true;
    const std::unique_ptr<PROJ_CRS_LIST_PARAMETERS, CrsListParametersDeleter> parameters(
        proj_get_crs_list_parameters_create());
    if (!parameters)
        return false;
    parameters->allow_deprecated = 1;
    int count = 0;
    const std::unique_ptr<PROJ_CRS_INFO *, CrsInfoListDeleter> list(
        proj_get_crs_info_list_from_database(nullptr, nullptr, parameters.get(), &count));
    if (!list || count <= 0)
        return false;
    std::vector<CatalogueEntry> catalogue;
    catalogue.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const PROJ_CRS_INFO &info = *list.get()[i];
        CatalogueEntry entry;
        CrsSearchHit &hit = entry.m_hit;
        hit.m_authority = info.auth_name != nullptr ? info.auth_name : "";
        hit.m_code = info.code != nullptr ? info.code : "";
        hit.m_name = info.name != nullptr ? info.name : "";
        hit.m_kind = KindOfProjType(info.type);
        hit.m_deprecated = info.deprecated != 0;
        hit.m_hasArea = info.bbox_valid != 0;
        if (info.area_name != nullptr)
            hit.m_area.m_name = info.area_name;
        if (hit.m_hasArea) {
            hit.m_area.m_west = info.west_lon_degree;
            hit.m_area.m_south = info.south_lat_degree;
            hit.m_area.m_east = info.east_lon_degree;
            hit.m_area.m_north = info.north_lat_degree;
        }
        entry.m_words = Words(FoldForMatching(hit.m_name));
        entry.m_compact = Compact(entry.m_words);
        entry.m_foldedCode = FoldForMatching(hit.m_code);
        entry.m_foldedId = FoldForMatching(hit.m_authority) + ":" + entry.m_foldedCode;
        catalogue.push_back(std::move(entry));
    }
    g_catalogue = std::move(catalogue);
    return true;
}

// The systems whose name or alias PROJ recognizes as the whole text (PROJ's own spelling rules:
// case, blanks and underscores aside), as folded identifiers; empty when it knows none.
std::set<std::string> SystemsNamedBy(const std::string &text) {
    // One type for every kind of system: PROJ then asks its database once, not once a kind.
    const PJ_TYPE crsType = PJ_TYPE_CRS;
    std::set<std::string> ids;
    const std::unique_ptr<PJ_OBJ_LIST, ObjectListDeleter> list(
        proj_create_from_name(nullptr, nullptr, text.c_str(), &crsType, 1, 0, 0, nullptr));
    const int count = list ? proj_list_get_count(list.get()) : 0;
    for (int i = 0; i < count; ++i) {
        const PjOwner object(proj_list_get(nullptr, list.get(), i));
        const char *authority = object ? proj_get_id_auth_name(object.get(), 0) : nullptr;
        const char *code = object ? proj_get_id_code(object.get(), 0) : nullptr;
        if (authority != nullptr && code != nullptr)
            ids.insert(FoldForMatching(authority) + ":" + FoldForMatching(code));
    }
    return ids;
}

// Does every word of the query occur in the name? Within a name's word, or across them:
// "wgs84" is found in "WGS 84 / UTM zone 33N".
bool ContainsAll(const CatalogueEntry &entry, const std::vector<std::string> &words) {
    return std::all_of(words.begin(), words.end(), [&](const std::string &word) {
        return entry.m_compact.find(word) != std::string::npos;
    });
}

// The same with typos forgiven: a word that does not occur is within its allowed edits of one
// word of the name.
bool ContainsAllNearly(const CatalogueEntry &entry, const std::vector<std::string> &words) {
    return std::all_of(words.begin(), words.end(), [&](const std::string &word) {
        if (entry.m_compact.find(word) != std::string::npos)
            return true;
        const std::size_t allowed = TyposAllowed(word);
        return allowed > 0 &&
               std::any_of(entry.m_words.begin(), entry.m_words.end(), [&](const std::string &w) {
                   return EditDistance(word, w, allowed) <= allowed;
               });
    });
}

// How closely a system answers the query; smaller ranks first.
enum class Match { Exact, Words, NearWords };

} // namespace

std::vector<CrsSearchHit> CCrsSearch::Find(const CrsSearchQuery &query) {
    if (query.m_hasArea && !(query.m_west >= -180 && query.m_west <= 180 && query.m_east >= -180 &&
                             query.m_east <= 180 && query.m_south >= -90 && query.m_north <= 90 &&
                             query.m_south <= query.m_north))
        return {};
    if (query.m_text.size() > kMaxQueryBytes)
        return {};
    const std::string folded = FoldForMatching(query.m_text);
    std::vector<std::string> words = Words(folded);
    const std::string compact = Compact(words);
    // "4326", "EPSG:4326": a code, alone or with its authority, typed as one word.
    std::string code = folded;
    code.erase(0, std::min(code.find_first_not_of(" \t\r\n"), code.size()));
    code.erase(std::min(code.find_last_not_of(" \t\r\n") + 1, code.size()));
    const bool isCode = !code.empty() && code.find_first_of(" \t\r\n") == std::string::npos;
    const bool withAuthority = code.find(':') != std::string::npos;
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());

    struct Ranked {
        const CrsSearchHit *hit;
        Match match;
        bool preferred;
        double size;
    };
    std::vector<Ranked> found;
    std::vector<const CatalogueEntry *> unmatched; // kept for the second pass with typos
    const std::lock_guard<std::mutex> lock(g_catalogueMutex);
    if (!LoadCatalogue())
        return {};
    // Names and aliases as PROJ knows them, for texts that could be one (a number is a code,
    // never a name): aliases are not in the catalogue, PROJ's C API gives them one text at a time.
    const bool lookUp = !compact.empty() && !withAuthority && folded.size() <= kMaxLookupBytes &&
                        compact.find_first_not_of("0123456789") != std::string::npos &&
                        std::all_of(folded.begin(), folded.end(),
                                    [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    const std::set<std::string> named = lookUp ? SystemsNamedBy(folded) : std::set<std::string>();
    for (const CatalogueEntry &entry : g_catalogue) {
        const CrsSearchHit &hit = entry.m_hit;
        if (hit.m_deprecated && !query.m_includeDeprecated)
            continue;
        if (!query.m_authority.empty() && hit.m_authority != query.m_authority)
            continue;
        if (!query.m_kinds.empty() && std::find(query.m_kinds.begin(), query.m_kinds.end(),
                                                hit.m_kind) == query.m_kinds.end())
            continue;
        if (query.m_hasArea &&
            !(hit.m_hasArea &&
              AreaContains(hit.m_area, query.m_west, query.m_south, query.m_east, query.m_north)))
            continue;
        Match match = Match::Words;
        if ((isCode && code == (withAuthority ? entry.m_foldedId : entry.m_foldedCode)) ||
            (!compact.empty() && entry.m_compact == compact) || named.count(entry.m_foldedId) > 0) {
            match = Match::Exact;
        } else if (!ContainsAll(entry, words)) {
            unmatched.push_back(&entry);
            continue;
        }
        found.push_back({&hit, match, hit.m_authority == "EPSG" && !hit.m_deprecated, 0.0});
    }
    // Typos are forgiven only when nothing matches as typed.
    if (found.empty() && !words.empty()) {
        for (const CatalogueEntry *entry : unmatched) {
            const CrsSearchHit &hit = entry->m_hit;
            if (ContainsAllNearly(*entry, words))
                found.push_back(
                    {&hit, Match::NearWords, hit.m_authority == "EPSG" && !hit.m_deprecated, 0.0});
        }
    }
    // At a place the smaller area of use is the more specific system; without one, the wider
    // area is the more general one (a whole zone before its national variants).
    for (Ranked &r : found)
        r.size = query.m_hasArea ? AreaSize(*r.hit) : -(r.hit->m_hasArea ? AreaSize(*r.hit) : 0);
    std::stable_sort(found.begin(), found.end(), [](const Ranked &a, const Ranked &b) {
        if (a.match != b.match)
            return a.match < b.match;
        if (a.preferred != b.preferred)
            return a.preferred;
        if (a.size != b.size)
            return a.size < b.size;
        if (a.hit->m_authority != b.hit->m_authority)
            return a.hit->m_authority < b.hit->m_authority;
        return CodeLess(a.hit->m_code, b.hit->m_code);
    });
    std::vector<CrsSearchHit> hits;
    hits.reserve(found.size());
    for (const Ranked &r : found)
        hits.push_back(*r.hit);
    return hits;
}

} // namespace Geo
