// Folding text for matching what people type against names: case and accents set aside.
#ifndef VEXOGEO_TEXT_FOLDING_H
#define VEXOGEO_TEXT_FOLDING_H

#include <string>
#include <string_view>

namespace Geo {

/// @return `utf8` with A-Z made a-z and the letters of Latin-1 Supplement and Latin Extended-A
/// (U+00C0 to U+017F) replaced by their lower-case base letters ("Ä" -> "a", "ß" -> "ss",
/// "Æ" -> "ae", "Ł" -> "l"); every other character, and every byte that is not part of a
/// well-formed UTF-8 sequence, is kept as it is. Never consults a locale.
std::string FoldForMatching(std::string_view utf8);

} // namespace Geo

#endif
