// Case and accent folding of UTF-8 text, one table for the Latin letters people type.
#include "text/folding.h"

#include "text/ascii.h"

namespace Geo {

namespace {

// Code points U+00C0 to U+017F, as ranges of letters with one folded spelling. The two
// signs among them (U+00D7, U+00F7) are not listed and stay as they are.
const struct {
    char32_t first, last;
    const char *folded;
} kLatinFolds[] = {
    {0xC0, 0xC5, "a"},   {0xC6, 0xC6, "ae"},   {0xC7, 0xC7, "c"},   {0xC8, 0xCB, "e"},
    {0xCC, 0xCF, "i"},   {0xD0, 0xD0, "d"},    {0xD1, 0xD1, "n"},   {0xD2, 0xD6, "o"},
    {0xD8, 0xD8, "o"},   {0xD9, 0xDC, "u"},    {0xDD, 0xDD, "y"},   {0xDE, 0xDE, "th"},
    {0xDF, 0xDF, "ss"},  {0xE0, 0xE5, "a"},    {0xE6, 0xE6, "ae"},  {0xE7, 0xE7, "c"},
    {0xE8, 0xEB, "e"},   {0xEC, 0xEF, "i"},    {0xF0, 0xF0, "d"},   {0xF1, 0xF1, "n"},
    {0xF2, 0xF6, "o"},   {0xF8, 0xF8, "o"},    {0xF9, 0xFC, "u"},   {0xFD, 0xFD, "y"},
    {0xFE, 0xFE, "th"},  {0xFF, 0xFF, "y"},    {0x100, 0x105, "a"}, {0x106, 0x10D, "c"},
    {0x10E, 0x111, "d"}, {0x112, 0x11B, "e"},  {0x11C, 0x123, "g"}, {0x124, 0x127, "h"},
    {0x128, 0x131, "i"}, {0x132, 0x133, "ij"}, {0x134, 0x135, "j"}, {0x136, 0x138, "k"},
    {0x139, 0x142, "l"}, {0x143, 0x14B, "n"},  {0x14C, 0x151, "o"}, {0x152, 0x153, "oe"},
    {0x154, 0x159, "r"}, {0x15A, 0x161, "s"},  {0x162, 0x167, "t"}, {0x168, 0x173, "u"},
    {0x174, 0x175, "w"}, {0x176, 0x178, "y"},  {0x179, 0x17E, "z"}, {0x17F, 0x17F, "s"},
};

const char *FoldedLatin(char32_t c) {
    for (const auto &fold : kLatinFolds) {
        if (c >= fold.first && c <= fold.last)
            return fold.folded;
    }
    return nullptr;
}

} // namespace

std::string FoldForMatching(std::string_view utf8) {
    std::string folded;
    folded.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        // Every letter folded here is a two-byte sequence: lead byte C3 to C5.
        if (lead >= 0xC3 && lead <= 0xC5 && i + 1 < utf8.size()) {
            const auto next = static_cast<unsigned char>(utf8[i + 1]);
            if ((next & 0xC0) == 0x80) {
                const char32_t c = (char32_t(lead & 0x1F) << 6) | (next & 0x3F);
                if (const char *letters = FoldedLatin(c)) {
                    folded += letters;
                    ++i;
                    continue;
                }
            }
        }
        folded += ToLowerAscii(utf8[i]);
    }
    return folded;
}

} // namespace Geo
