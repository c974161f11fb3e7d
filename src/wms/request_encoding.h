// Percent-encoding of WMS request values and ASCII case-insensitive comparison.
#ifndef VEXOGEO_WMS_REQUEST_ENCODING_H
#define VEXOGEO_WMS_REQUEST_ENCODING_H

#include <string>
#include <string_view>

namespace Geo::Wms {

// Appends `value` with every byte percent-encoded (upper-case hex) except the unreserved
// characters of RFC 3986 (letters, digits, "-", ".", "_", "~"); commas stay literal when
// `listCommas` is set (they separate list items).
void AppendPercentEncoded(std::string &out, std::string_view value, bool listCommas);
// Decodes "%XX" sequences and "+" (a blank, as HTML forms and most clients send it).
// @return false (out then holds part of the text) for "%" not followed by two hexadecimal digits.
bool PercentDecode(std::string_view text, std::string &out);
// ASCII-only case-insensitive equality, independent of the locale.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

} // namespace Geo::Wms

#endif
