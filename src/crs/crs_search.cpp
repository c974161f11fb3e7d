// CCrsSearch: one database query on PROJ's default context, then the name filter and the order.
#include <vexogeo/crs/crs_search.h>

#include "crs/proj_objects.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace Geo {

namespace {

struct CrsInfoListDeleter {
    void operator()(PROJ_CRS_INFO **list) const { proj_crs_info_list_destroy(list); }
};

struct CrsListParametersDeleter {
    void operator()(PROJ_CRS_LIST_PARAMETERS *parameters) const {
        proj_get_crs_list_parameters_destroy(parameters);
    }
};

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string AsciiLower(const std::string &text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return AsciiLower(c); });
    return lower;
}

std::vector<std::string> Words(const std::string &lowerText) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < lowerText.size()) {
        const std::size_t start = lowerText.find_first_not_of(" \t\r\n", i);
        if (start == std::string::npos)
            break;
        const std::size_t end =
            std::min(lowerText.find_first_of(" \t\r\n", start), lowerText.size());
        words.push_back(lowerText.substr(start, end - start));
        i = end;
    }
    return words;
}

bool ContainsAll(const std::string &lowerName, const std::vector<std::string> &words) {
    return std::all_of(words.begin(), words.end(), [&](const std::string &word) {
        return lowerName.find(word) != std::string::npos;
    });
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
    std::string m_lowerName;
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
        entry.m_lowerName = AsciiLower(hit.m_name);
        catalogue.push_back(std::move(entry));
    }
    g_catalogue = std::move(catalogue);
    return true;
}

} // namespace

std::vector<CrsSearchHit> CCrsSearch::Find(const CrsSearchQuery &query) {
    if (query.m_hasArea && !(query.m_west >= -180 && query.m_west <= 180 && query.m_east >= -180 &&
                             query.m_east <= 180 && query.m_south >= -90 && query.m_north <= 90 &&
                             query.m_south <= query.m_north))
        return {};
    const std::string lowerText = AsciiLower(query.m_text);
    const std::vector<std::string> words = Words(lowerText);
    std::string exactText;
    for (const std::string &word : words)
        exactText += (exactText.empty() ? "" : " ") + word;

    struct Ranked {
        const CrsSearchHit *hit;
        bool exact;
        double size;
    };
    std::vector<Ranked> found;
    const std::lock_guard<std::mutex> lock(g_catalogueMutex);
    if (!LoadCatalogue())
        return {};
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
        if (!ContainsAll(entry.m_lowerName, words))
            continue;
        found.push_back({&hit, !words.empty() && entry.m_lowerName == exactText,
                         query.m_hasArea ? AreaSize(hit) : 0.0});
    }
    std::stable_sort(found.begin(), found.end(), [](const Ranked &a, const Ranked &b) {
        if (a.exact != b.exact)
            return a.exact;
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
