// CCrsSearch: finding coordinate systems in PROJ's database by name, kind and area of use.
#ifndef VEXOGEO_CRS_CRS_SEARCH_H
#define VEXOGEO_CRS_CRS_SEARCH_H

#include <string>
#include <vector>

#include <vexogeo/crs/crs_info.h>
#include <vexogeo/export.h>

namespace Geo {

/// What a search asks for; every criterion that is set must hold.
struct CrsSearchQuery {
    /// UTF-8 words that must all occur in the name, in any order, without case or Latin accents;
    /// or a code ("4326", "EPSG:4326"), a whole name or an alias. Empty: any name; longer than
    /// 1024 bytes: nothing.
    std::string m_text;
    /// An authority such as "EPSG" or "ESRI" (as PROJ spells it); empty: every authority.
    std::string m_authority;
    /// Kinds accepted; empty: every kind.
    std::vector<CrsKind> m_kinds;
    /// When true, the system's area of use must contain the box below (a point when west equals
    /// east and south equals north); degrees, west > east crosses the antimeridian.
    bool m_hasArea = false;
    double m_west = 0;
    double m_south = 0;
    double m_east = 0;
    double m_north = 0;
    /// Deprecated systems are left out unless this is true.
    bool m_includeDeprecated = false;
};

/// One system found.
struct CrsSearchHit {
    std::string m_authority; ///< e.g. "EPSG"
    std::string m_code;      ///< e.g. "32633" (a text: some authorities use letters)
    std::string m_name;      ///< e.g. "WGS 84 / UTM zone 33N" (UTF-8)
    CrsKind m_kind = CrsKind::Unknown;
    bool m_deprecated = false;
    bool m_hasArea = false; ///< false when the database gives no area of use
    AreaOfUse m_area;       ///< name and box of the area of use, when `m_hasArea`
};

/// Searches PROJ's database on its default context (PROJ-calling operations of the library must
/// not run on two threads at once).
class VEXOGEO_API CCrsSearch {
  public:
    /// The catalogue of systems is read from PROJ once per process, at the first search that
    /// succeeds (about half a second); later searches filter it in memory and ask PROJ once
    /// whether the text is a name or an alias. Text and names are compared folded
    /// (FoldForMatching: case, Latin-1 and Latin Extended-A accents, "ß" = "ss"), blanks and
    /// punctuation only separating words. Typos (one edit in a word of 5 letters or more, two
    /// from 9) are forgiven only when nothing matches as typed.
    /// Hits ordered by: exact code, name or alias first; then names holding every word; then,
    /// only when none do, names within the typos allowed. Within each: EPSG's systems that are
    /// not deprecated first; then, when an area is asked for, the smallest area of use first,
    /// else the widest; then authority and code (numeric codes by value).
    /// @return an empty list when nothing matches or the database cannot be read.
    static std::vector<CrsSearchHit> Find(const CrsSearchQuery &query);
};

} // namespace Geo

#endif
