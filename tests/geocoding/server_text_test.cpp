// Server text made safe: the UTF-8 repair against the platform's decoder, the one-line form, JSON
// strings read back by RapidJSON, and lone surrogate escapes.
#include "text/code_page.h"
#include "text/server_text.h"

#include "support/test_data.h"

#include <rapidjson/document.h>

#include <gtest/gtest.h>

#include <random>

namespace Geo {
namespace {

// The platform's decoder turns each ill-formed part into U+FFFD too: decoding and encoding again
// is an independent repair.
std::string RepairedByThePlatform(const std::string &text) {
    std::vector<wchar_t> wide;
    std::vector<char> utf8;
    EXPECT_TRUE(ConvertToWide(kCodePageUtf8, text.c_str(), wide));
    EXPECT_TRUE(ConvertToMultiByte(kCodePageUtf8, wide.data(), utf8));
    return utf8.data();
}

// tests/data/server_text/utf8_repair.tsv: every kind of ill-formed part, and well-formed text.
TEST(ServerText, Utf8RepairKeepsEveryWellFormedCharacter) {
    for (const auto &row : VexoGeoTest::TestTable("server_text/utf8_repair.tsv", 2)) {
        SCOPED_TRACE(row.m_trace);
        EXPECT_EQ(ToValidUtf8(row[0]), row[1]);
        EXPECT_EQ(IsValidUtf8(row[0]), row[0] == row[1]);
        if (row[0].find('\0') == std::string::npos) {
            EXPECT_EQ(RepairedByThePlatform(row[0]), row[1]);
        }
    }
}

// Where the platform converts UTF-8 with its own codec (Platform::ConvertsAsUtf8), readers skip
// the round trip through wide text and repair the text instead: the two agree on random text,
// mostly ill-formed, drawn from bytes of the interesting ranges and from whole and cut sequences.
TEST(ServerText, Utf8RepairAgreesWithThePlatformOverRandomBytes) {
    std::mt19937 random(19);
    std::vector<std::string> pieces = {"\xC3\xB6",    "\xE2\x82",     "\xE2\x82\xAC",
                                       "\xF4\x90",    "\xF0\x9F\x98", "\xF0\x9F\x98\x80",
                                       "\xED\xA0\x80"};
    for (const char byte : std::string(
             "a\x7F\x80\x8F\x90\x9F\xA0\xBF\xC0\xC1\xC2\xDF\xE0\xE1\xED\xEF\xF0\xF4\xF5\xFF"))
        pieces.emplace_back(1, byte);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1), length(0, 12);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        for (std::size_t i = length(random); i > 0; --i)
            text += pieces[pick(random)];
        const std::string repaired = ToValidUtf8(text);
        ASSERT_EQ(repaired, RepairedByThePlatform(text)) << ToSafeLine(text);
        ASSERT_TRUE(IsValidUtf8(repaired));
    }
}

TEST(ServerText, OneLineForTheTerminal) {
    for (const auto &row : VexoGeoTest::TestTable("server_text/safe_line.tsv", 3)) {
        const auto limit = row[1].empty() ? std::string::npos : std::stoul(row[1]);
        EXPECT_EQ(ToSafeLine(row[0], limit), row[2]) << row.m_trace;
    }
}

TEST(ServerText, JsonStringsReadBackExactly) {
    auto rows = VexoGeoTest::TestTable("server_text/json_strings.tsv", 1);
    for (const auto &row : VexoGeoTest::TestTable("server_text/utf8_repair.tsv", 2))
        rows.push_back(row);
    for (const auto &row : rows) {
        SCOPED_TRACE(row.m_trace);
        std::string json;
        AppendJsonString(json, row[0]);
        rapidjson::Document document;
        document.Parse<rapidjson::kParseValidateEncodingFlag>(json.data(), json.size());
        ASSERT_FALSE(document.HasParseError()) << json;
        ASSERT_TRUE(document.IsString()) << json;
        EXPECT_EQ(std::string(document.GetString(), document.GetStringLength()),
                  ToValidUtf8(row[0]));
        EXPECT_EQ(json.find_first_of("\n\r\x1b\x7F"), std::string::npos) << json;
    }
}

TEST(ServerText, LoneSurrogateEscapesBecomeReplacementEscapes) {
    for (const auto &row : VexoGeoTest::TestTable("server_text/lone_surrogates.tsv", 2)) {
        std::string repaired = "untouched";
        EXPECT_EQ(ReplaceLoneSurrogateEscapes(row[0], repaired), row[1] != "-") << row.m_trace;
        EXPECT_EQ(repaired, row[1] != "-" ? row[1] : "untouched") << row.m_trace;
    }
}

} // namespace
} // namespace Geo
