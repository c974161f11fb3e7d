// Server text made safe: the UTF-8 repair against the platform's decoder, the one-line form, JSON
// strings read back by RapidJSON, and lone surrogate escapes.
#include "text/code_page.h"
#include "text/server_text.h"

#include <rapidjson/document.h>

#include <gtest/gtest.h>

#include <random>

namespace Geo {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

std::string Fffd(std::size_t count) {
    std::string text;
    while (count-- > 0)
        text += kFffd;
    return text;
}

// The platform's decoder turns each ill-formed part into U+FFFD too: decoding and encoding again
// is an independent repair.
std::string RepairedByThePlatform(const std::string &text) {
    std::vector<wchar_t> wide;
    std::vector<char> utf8;
    EXPECT_TRUE(ConvertToWide(kCodePageUtf8, text.c_str(), wide));
    EXPECT_TRUE(ConvertToMultiByte(kCodePageUtf8, wide.data(), utf8));
    return utf8.data();
}

TEST(ServerText, Utf8RepairKeepsEveryWellFormedCharacter) {
    const struct {
        std::string in, out;
    } kCases[] = {
        {"", ""},
        {"Wien, \xC3\x96sterreich \xE6\x9D\xB1 \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF",
         "Wien, \xC3\x96sterreich \xE6\x9D\xB1 \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF"},
        {"A\xE9"
         "B \xC3\xA9",
         "A" + kFffd + "B \xC3\xA9"}, // one Latin-1 byte, not the whole text
        {"\xC3", kFffd},              // truncated at the end
        {"\xE2\x82", kFffd},
        {"\xF0\x9F\x98", kFffd},
        {"\xF0\x9F\x98x\xE2\x82", kFffd + "x" + kFffd},
        {"\xE2\x28\xA1", kFffd + "(" + kFffd}, // not a continuation byte
        {"\xC0\xAF", Fffd(2)},                 // overlong "/"
        {"\xE0\x80\xAF", Fffd(3)},             // overlong, three bytes
        {"\xF0\x8F\xBF\xBF", Fffd(4)},         // overlong, four bytes
        {"\xED\xA0\x80\xED\xBF\xBF", Fffd(6)}, // surrogates encoded in UTF-8
        {"\xF4\x90\x80\x80", Fffd(4)},         // past U+10FFFF
        {"\xF5\xF6\xF7\xF8\xF9\xFA\xFB\xFC\xFD\xFE\xFF", Fffd(11)},
        {"\x80\xBF", Fffd(2)}, // stray continuation bytes
        {"ok \xC3\xA9\xC3 \xF0\x9F\x98\x80\xF0\x9F",
         "ok \xC3\xA9" + kFffd + " \xF0\x9F\x98\x80" + kFffd},
        {std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const auto &c : kCases) {
        EXPECT_EQ(ToValidUtf8(c.in), c.out) << c.in;
        EXPECT_EQ(IsValidUtf8(c.in), c.in == c.out) << c.in;
        if (c.in.find('\0') == std::string::npos) {
            EXPECT_EQ(RepairedByThePlatform(c.in), c.out) << c.in;
        }
    }
}

TEST(ServerText, Utf8RepairAgreesWithThePlatformOverRandomBytes) {
    std::mt19937 random(19);
    // Bytes drawn mostly from the interesting ranges, so that sequences start and break often.
    const unsigned char kBytes[] = {'a',  0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1,
                                    0xC2, 0xDF, 0xE0, 0xE1, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kBytes - 1), length(0, 12);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        for (std::size_t i = length(random); i > 0; --i)
            text += static_cast<char>(kBytes[pick(random)]);
        const std::string repaired = ToValidUtf8(text);
        ASSERT_EQ(repaired, RepairedByThePlatform(text)) << ToSafeLine(text);
        ASSERT_TRUE(IsValidUtf8(repaired));
    }
}

TEST(ServerText, OneLineForTheTerminal) {
    const struct {
        std::string in;
        std::size_t maxBytes;
        std::string out;
    } kCases[] = {
        {"Wien, \xC3\x96sterreich", std::string::npos, "Wien, \xC3\x96sterreich"},
        {"a\nb\rc\td\\e", std::string::npos, "a\\nb\\rc\\td\\\\e"},
        {"\x1b]0;owned\x07\x7F" + std::string(1, '\0'), std::string::npos,
         "\\x1b]0;owned\\x07\\x7f\\x00"},
        {"\xC2\x9B"
         "2J \xC2\x85 \xC2\xA0",
         std::string::npos, "\\u009b2J \\u0085 \xC2\xA0"},
        {"A\xE9"
         "B",
         std::string::npos, "A" + kFffd + "B"},
        {"abc\xC3\xA9z", 4, "abc..."}, // never half a character
        {"abc\xC3\xA9z", 5, "abc\xC3\xA9..."},
        {"abc", 3, "abc"},
    };
    for (const auto &c : kCases)
        EXPECT_EQ(ToSafeLine(c.in, c.maxBytes), c.out) << c.out;
}

TEST(ServerText, JsonStringsReadBackExactly) {
    const std::string kTexts[] = {"", "Wien, \xC3\x96sterreich \xF0\x9F\x98\x80",
                                  "\"quoted\" \\ / \b\f\n\r\t \x01\x1b\x7F \xC2\x85 \xE2\x80\xA8",
                                  std::string("nul \0 inside", 12),
                                  "A\xE9"
                                  "B \xED\xA0\x80"};
    for (const std::string &text : kTexts) {
        std::string json;
        AppendJsonString(json, text);
        rapidjson::Document document;
        document.Parse<rapidjson::kParseValidateEncodingFlag>(json.data(), json.size());
        ASSERT_FALSE(document.HasParseError()) << json;
        ASSERT_TRUE(document.IsString()) << json;
        EXPECT_EQ(std::string(document.GetString(), document.GetStringLength()), ToValidUtf8(text));
        EXPECT_EQ(json.find_first_of("\n\r\x1b\x7F"), std::string::npos) << json;
    }
}

TEST(ServerText, LoneSurrogateEscapesBecomeReplacementEscapes) {
    const struct {
        const char *in;
        const char *out; ///< null: nothing to repair
    } kCases[] = {
        {R"(["\ud83d\ude00", "\u00f6", "\uD83D\uDE00"])", nullptr},
        {R"(["\\ud800", "\\\ud800"])", R"(["\\ud800", "\\\ufffd"])"},
        {R"(["\ud800"])", R"(["\ufffd"])"},
        {R"(["\udc00\ud800x"])", R"(["\ufffd\ufffdx"])"},
        {R"(["\uDBFF\u0041"])", R"(["\ufffd\u0041"])"},
        {R"(["\ud800\ud800\udc00"])", R"(["\ufffd\ud800\udc00"])"},
        {R"(["\ud80)", nullptr}, // cut: left to the parser to refuse
        {R"(["\u12x4 \u)", nullptr},
    };
    for (const auto &c : kCases) {
        std::string repaired = "untouched";
        EXPECT_EQ(ReplaceLoneSurrogateEscapes(c.in, repaired), c.out != nullptr) << c.in;
        EXPECT_EQ(repaired, c.out ? c.out : "untouched") << c.in;
    }
}

} // namespace
} // namespace Geo
