// The platform's conversions between a code page's 8-bit text and wide text, called with no flags.
#ifndef VEXOGEO_PLATFORM_CODE_PAGE_CONVERSION_H
#define VEXOGEO_PLATFORM_CODE_PAGE_CONVERSION_H

#include <cstddef>

namespace Geo::Platform {

/// Converts `length` bytes of `text` from code page `codePage` (0: the process's narrow encoding,
/// 65001: UTF-8, n: Windows code page n) to wide characters. Invalid input becomes U+FFFD.
/// With `out` null, only counts. @return the count written or needed; 0 for an unknown code page,
/// an output too small, or input that yields no character at all.
std::size_t MultiByteToWideChar(unsigned codePage, const char *text, std::size_t length,
                                wchar_t *out, std::size_t outCount);

/// Converts `length` wide characters of `text` into code page `codePage`; characters the code
/// page lacks become its substitute character '?'. With `out` null, only counts.
/// @return the count of bytes written or needed; 0 as for `MultiByteToWideChar`.
std::size_t WideCharToMultiByte(unsigned codePage, const wchar_t *text, std::size_t length,
                                char *out, std::size_t outCount);

/// @return true when text of `codePage` goes through this platform's own UTF-8 codec both ways,
/// so that converting UTF-8 to wide and back into `codePage` keeps well-formed text as it is and
/// turns each maximal ill-formed subsequence into one U+FFFD; false where the system converts
/// (the caller then converts).
bool ConvertsAsUtf8(unsigned codePage);

} // namespace Geo::Platform

#endif
