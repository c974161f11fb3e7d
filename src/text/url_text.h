// The pieces of a URL's query: percent-encoding and decoding, and joining a parameter on.
#ifndef VEXOGEO_TEXT_URL_TEXT_H
#define VEXOGEO_TEXT_URL_TEXT_H

#include <string>
#include <string_view>

namespace Geo {

/// @return true for the unreserved characters of RFC 3986: letters, digits, "-", ".", "_", "~".
bool IsUnreserved(unsigned char byte);

/// Appends `value` to `out`, every byte for which `keep` answers false written as "%XX" (upper
/// case hexadecimal); by default all but the unreserved characters are encoded.
void AppendPercentEncoded(std::string &out, std::string_view value,
                          bool (*keep)(unsigned char) = IsUnreserved);

/// Decodes "%XX" sequences and "+" (a blank, as HTML forms and most clients send it).
/// @return false (`out` then holds part of the text) for "%" not followed by two hexadecimal
/// digits.
bool PercentDecode(std::string_view text, std::string &out);

/// Makes `url` ready for its next "name=value": appends "?" when it has no query yet, nothing
/// when it ends in "&" or in the "?" that starts its query, and "&" otherwise.
void AppendQuerySeparator(std::string &url);

/// @return true when `text` starts with "http://" or "https://" in any case ("HTTP://h/wms").
bool HasHttpScheme(std::string_view text);

/// `address` made ready to carry a request's own parameters: its "#fragment" dropped, and the
/// query parameters whose names `isReplaced` answers true for (it sees the name as written, to
/// compare in any case) taken out; the other parameters ("map=/srv/x.map") stay in their order.
/// Pieces without a name ("&&") go too. The result takes the next "name=value" after
/// `AppendQuerySeparator`.
std::string AddressWithoutParameters(std::string_view address,
                                     bool (*isReplaced)(std::string_view name));

} // namespace Geo

#endif
