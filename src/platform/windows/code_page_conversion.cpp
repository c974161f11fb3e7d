// Code-page conversions with the system's own MultiByteToWideChar and WideCharToMultiByte. Code
// page 0 is CP_ACP, the process's ANSI code page.
#include "platform/code_page_conversion.h"

#include "text/code_page.h"

#include <climits>

#include <windows.h>

namespace Geo::Platform {
namespace {

static_assert(sizeof(wchar_t) == 2, "wide text is UTF-16 on this platform");
// The library's code-page numbers go to the system unchanged.
static_assert(kCodePageAnsi == CP_ACP && kCodePageUtf8 == CP_UTF8, "Windows code-page numbers");

bool FitsInt(std::size_t count) { return count <= static_cast<std::size_t>(INT_MAX); }

} // namespace

std::size_t MultiByteToWideChar(unsigned codePage, const char *text, std::size_t length,
                                wchar_t *out, std::size_t outCount) {
    if (length == 0 || !FitsInt(length) || (out != nullptr && !FitsInt(outCount))) {
        return 0;
    }
    // No flags: invalid input becomes U+FFFD instead of failing the conversion.
    const int count = ::MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), out,
                                            out != nullptr ? static_cast<int>(outCount) : 0);
    return count > 0 ? static_cast<std::size_t>(count) : 0;
}

std::size_t WideCharToMultiByte(unsigned codePage, const wchar_t *text, std::size_t length,
                                char *out, std::size_t outCount) {
    if (length == 0 || !FitsInt(length) || (out != nullptr && !FitsInt(outCount))) {
        return 0;
    }
    const int outInt = out != nullptr ? static_cast<int>(outCount) : 0;
    // A character the code page lacks becomes its default character '?', never a look-alike
    // ("best fit" would turn o with double acute into a plain o). UTF-8, UTF-7 and a few
    // stateful code pages take no flags at all.
    int count = ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text,
                                      static_cast<int>(length), out, outInt, nullptr, nullptr);
    if (count == 0 && GetLastError() == ERROR_INVALID_FLAGS) {
        count = ::WideCharToMultiByte(codePage, 0, text, static_cast<int>(length), out, outInt,
                                      nullptr, nullptr);
    }
    return count > 0 ? static_cast<std::size_t>(count) : 0;
}

// The system's converter keeps its own rules for ill-formed input, so it always runs.
bool ConvertsAsUtf8(unsigned) { return false; }

} // namespace Geo::Platform
