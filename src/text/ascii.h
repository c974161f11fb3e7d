// ASCII helpers that never consult a locale: hexadecimal digits and case-insensitive matching.
#ifndef VEXOGEO_TEXT_ASCII_H
#define VEXOGEO_TEXT_ASCII_H

#include <string>
#include <string_view>

namespace Geo {

/// The hexadecimal digits, upper and lower case.
constexpr char kUpperHexDigits[] = "0123456789ABCDEF";
constexpr char kLowerHexDigits[] = "0123456789abcdef";

/// Appends `byte` as two hexadecimal digits (upper case unless `lowerCase`).
void AppendHexByte(std::string &out, unsigned char byte, bool lowerCase = false);

/// @return the value of the hexadecimal digit `c` (either case), -1 for any other character.
int HexValue(char c);

/// @return `c` with A-Z made a-z; every other byte unchanged.
constexpr char ToLowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

/// @return true for A-Z and a-z only.
constexpr bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

/// @return true when `a` and `b` are equal but for the case of ASCII letters.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

/// @return true when `text` begins with `prefix`, ignoring the case of ASCII letters.
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);

} // namespace Geo

#endif
