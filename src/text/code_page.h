// Conversions between a code page's 8-bit text and the platform's wide text.
#ifndef VEXOGEO_TEXT_CODE_PAGE_H
#define VEXOGEO_TEXT_CODE_PAGE_H

#include <string_view>
#include <vector>

namespace Geo {

// The code pages by the numbers Windows gives them (its CP_ACP and CP_UTF8), under names of our
// own: <windows.h> defines those two as macros, which would rewrite any declaration of ours.
/// The process's narrow encoding (the codeset of the environment's LC_CTYPE locale).
constexpr unsigned kCodePageAnsi = 0;
/// UTF-8.
constexpr unsigned kCodePageUtf8 = 65001;

/// Converts `text` (up to its first NUL) from `codePage` into `out`, which ends in a zero.
/// Invalid input becomes U+FFFD; never refused. `out` is expected empty on entry.
/// @return false for a null `text` or a failed conversion (then `out` is left as it was).
bool ConvertToWide(unsigned codePage, const char *text, std::vector<wchar_t> &out);
/// Converts wide `text` (up to its first zero) into `codePage`, substituting '?' for characters
/// the code page lacks. `out` is expected empty on entry and ends in a zero byte.
/// @return false for a null `text` or a failed conversion (then `out` is left as it was).
bool ConvertToMultiByte(unsigned codePage, const wchar_t *text, std::vector<char> &out);

} // namespace Geo

#endif
