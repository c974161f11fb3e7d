// ASCII helpers that never consult a locale.
#include "text/ascii.h"

namespace Geo {

void AppendHexByte(std::string &out, unsigned char byte, bool lowerCase) {
    const char *digits = lowerCase ? kLowerHexDigits : kUpperHexDigits;
    out += digits[byte >> 4];
    out += digits[byte & 0x0F];
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && StartsWithIgnoringAsciiCase(a, b);
}

bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (ToLowerAscii(text[i]) != ToLowerAscii(prefix[i]))
            return false;
    }
    return true;
}

} // namespace Geo
