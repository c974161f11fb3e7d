// Conversions between a code page's 8-bit text and wide text, through the platform's converter.
#include "text/code_page.h"

#include "platform/code_page_conversion.h"

#include <cstring>
#include <cwchar>

namespace Geo {
namespace {

// UTF-8 needs at most four bytes for one wide character and most code pages one or two; the
// few stateful ones that may need more take the counting path.
constexpr std::size_t kExpectedBytesPerCharacter = 4;

// Converts the `length` units of `text` into `out`, ending it in a zero. Most text fits a first
// buffer of `expected` units, filled in one pass; only when it does not is the count asked
// first, as the platform's two-call protocol does. On failure `out` keeps its former size.
template <typename In, typename Out, typename Convert>
bool ConvertText(unsigned codePage, const In *text, std::size_t length, std::vector<Out> &out,
                 Convert convert, std::size_t expected) {
    if (length == 0) {
        out.assign(1, Out());
        return true;
    }
    const std::size_t previous = out.size();
    out.resize(expected + 1);
    std::size_t count = convert(codePage, text, length, out.data(), expected);
    if (count == 0) {
        count = convert(codePage, text, length, nullptr, 0);
        if (count == 0) {
            out.resize(previous);
            return false;
        }
        out.assign(count + 1, Out());
        if (convert(codePage, text, length, out.data(), count) == 0) {
            return false;
        }
    }
    out.resize(count + 1);
    out[count] = Out();
    return true;
}

} // namespace

bool ConvertToWide(unsigned codePage, const char *text, std::vector<wchar_t> &out) {
    if (text == nullptr) {
        return false;
    }
    // Nearly every code page gives at most one wide character per byte.
    const std::size_t length = std::strlen(text);
    return ConvertText(codePage, text, length, out, Platform::MultiByteToWideChar, length);
}

bool ConvertToMultiByte(unsigned codePage, const wchar_t *text, std::vector<char> &out) {
    if (text == nullptr) {
        return false;
    }
    const std::size_t length = std::wcslen(text);
    return ConvertText(codePage, text, length, out, Platform::WideCharToMultiByte,
                       length * kExpectedBytesPerCharacter);
}

} // namespace Geo
