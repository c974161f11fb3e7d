// Text that servers send, made safe once: well-formed UTF-8 for hosts, one escaped line for a
// terminal, exact JSON strings, and JSON answers whose lone surrogate escapes would fail a parse.
#ifndef VEXOGEO_TEXT_SERVER_TEXT_H
#define VEXOGEO_TEXT_SERVER_TEXT_H

#include <cstddef>
#include <string>
#include <string_view>

namespace Geo {

/// @return the length (1 to 4) of the well-formed UTF-8 sequence `text` starts with; 0 for an
/// empty text and for an ill-formed or truncated sequence (overlong forms, surrogates, code
/// points past U+10FFFF, stray continuation bytes, the bytes C0, C1 and F5 to FF).
std::size_t Utf8SequenceLength(std::string_view text);

/// @return true when `text` is well-formed UTF-8 throughout.
bool IsValidUtf8(std::string_view text);

/// `text` with each maximal ill-formed subsequence replaced by U+FFFD, as Unicode recommends
/// (so "\xE9B" keeps its B, "\xF0\x9F\x98" at the end becomes one U+FFFD and "\xED\xA0\x80"
/// three); well-formed sequences around it are kept. Well-formed text comes back unchanged.
std::string ToValidUtf8(std::string_view text);

/// Repairs `text` in place as `ToValidUtf8` does; a text that is already valid is not copied.
void MakeValidUtf8(std::string &text);

/// `text` (made valid UTF-8 first) as one printable line for a terminal: the backslash as "\\",
/// line feed, carriage return and tab as "\n", "\r" and "\t", the other C0 controls and DEL as
/// "\xNN" (ESC is "\x1b") and the C1 controls as "\u0080" to "\u009f". Only the input's first
/// `maxBytes` bytes are written, cut at a character's start and followed by "..." when cut.
std::string ToSafeLine(std::string_view text, std::size_t maxBytes = std::string_view::npos);

/// Appends `text` (made valid UTF-8 first) as a JSON string with its quotes: '"' and '\\'
/// escaped, the C0 controls, DEL and the C1 controls as "\n", "\t"… or "\u00XX". Everything
/// else is written as it is, so the string reads back as exactly the (repaired) text.
void AppendJsonString(std::string &out, std::string_view text);

/// Finds "\uD800"-"\uDFFF" escapes in the JSON text `json` that are not half of a high-low
/// pair. A JSON reader refuses them, so a single such name would lose the whole answer.
/// @return false when there are none (`repaired` untouched); else true with `repaired` a copy
/// of `json` in which each lone one is "\ufffd" (the same length, nothing else moved).
bool ReplaceLoneSurrogateEscapes(std::string_view json, std::string &repaired);

} // namespace Geo

#endif
