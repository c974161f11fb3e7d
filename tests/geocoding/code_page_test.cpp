// Code-page conversions: Windows-1252 and UTF-8 against wide text, substitution on both sides.
#include "platform/code_page_conversion.h"
#include "text/code_page.h"
#include "text/server_text.h"

#include "support/test_data.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <sstream>

namespace Geo {
namespace {

constexpr unsigned k1252 = 1252;

// The converted text, checked to end in exactly one terminating zero.
std::wstring Wide(unsigned codePage, const std::string &text) {
    std::vector<wchar_t> out;
    EXPECT_TRUE(ConvertToWide(codePage, text.c_str(), out)) << text;
    EXPECT_EQ(out.back(), L'\0');
    return std::wstring(out.data(), out.size() - 1);
}
std::string Narrow(unsigned codePage, const std::wstring &text) {
    std::vector<char> out;
    EXPECT_TRUE(ConvertToMultiByte(codePage, text.c_str(), out));
    EXPECT_EQ(out.back(), '\0');
    return std::string(out.data(), out.size() - 1);
}

TEST(CodePage, Windows1252AndUtf8) {
    for (const auto &c : VexoGeoTest::TestTable("geocoding/code_pages.tsv", 3)) {
        SCOPED_TRACE(c.m_trace);
        std::wstring wide;
        std::istringstream units(c[1]);
        for (unsigned unit = 0; units >> std::hex >> unit;)
            wide += static_cast<wchar_t>(unit);
        EXPECT_EQ(Wide(k1252, c[0]), wide);
        EXPECT_EQ(Narrow(kCodePageUtf8, wide), c[2]);
        EXPECT_EQ(Wide(kCodePageUtf8, c[2]), wide);
        EXPECT_EQ(Narrow(k1252, wide), c[0]);
    }
    EXPECT_FALSE(Platform::ConvertsAsUtf8(k1252));
    // Longer than one conversion chunk: the converter must go on where it stopped.
    EXPECT_EQ(Wide(k1252, std::string(5000, '\xF6')), std::wstring(5000, L'\u00F6'));
    EXPECT_EQ(Narrow(k1252, std::wstring(5000, L'\u00F6')), std::string(5000, '\xF6'));
    EXPECT_EQ(Narrow(kCodePageUtf8, L"\u00E9\u6771\U0001F600"),
              "\xC3\xA9\xE6\x9D\xB1\xF0\x9F\x98\x80");
    // These test processes run with LC_ALL=C.UTF-8.
    EXPECT_EQ(Narrow(kCodePageAnsi, L"\u6771"), "\xE6\x9D\xB1");
}

TEST(CodePage, InvalidInputAndMissingCharactersAreSubstituted) {
    // One U+FFFD per maximal ill-formed part of the UTF-8 input; ServerText.Utf8Repair* checks
    // every kind of ill-formed part through the same decoder, and IsValidUtf8 with it.
    EXPECT_EQ(Wide(kCodePageUtf8, "\xC0\xAF \xF0\x9F\x98\x80\xF0\x9F\x98"),
              L"\uFFFD\uFFFD \U0001F600\uFFFD");
    // A byte order mark is a character.
    EXPECT_EQ(Wide(kCodePageUtf8, "\xEF\xBB\xBFWien"), L"\uFEFFWien");

    EXPECT_EQ(Narrow(k1252, L"\u0141\u00F3d\u017A \u6771 \U0001F600"), "?\363d? ? ?");
    const wchar_t noCharacters[] = {L'a', wchar_t(0xD800), wchar_t(0x110000), L'\0'};
    EXPECT_EQ(Narrow(kCodePageUtf8, noCharacters), "a\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(CodePage, FailuresLeaveTheOutputAlone) {
    std::vector<wchar_t> wide{L'x'};
    std::vector<char> narrow{'x'};
    EXPECT_FALSE(ConvertToWide(kCodePageUtf8, nullptr, wide));
    EXPECT_FALSE(ConvertToMultiByte(kCodePageUtf8, nullptr, narrow));
    EXPECT_FALSE(ConvertToWide(12345, "abc", wide));
    EXPECT_FALSE(ConvertToMultiByte(12345, L"abc", narrow));
    EXPECT_EQ(wide, std::vector<wchar_t>{L'x'});
    EXPECT_EQ(narrow, std::vector<char>{'x'});
}

} // namespace
} // namespace Geo
