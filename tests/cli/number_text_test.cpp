// The tool's reading of numbers against std::from_chars, the reference it must equal bit for bit.
#include "common.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <random>
#include <string>

// Random decimals of every length around the short ones read without from_chars (up to 15
// digits, any sign, with and without decimals or exponent), and the shapes beside them.
TEST(NumberText, ReadsAsFromCharsDoes) {
    std::mt19937_64 random(2206);
    std::vector<std::string> texts = {"0",
                                      "-0",
                                      "1.",
                                      "-.5",
                                      ".5",
                                      "5e3",
                                      "1.5E-3",
                                      "0x1",
                                      "999999999999999",
                                      "9999999999999999",
                                      "0.000000000000001",
                                      "12.3abc",
                                      "nan",
                                      "inf",
                                      "-"};
    for (int i = 0; i < 200000; ++i) {
        std::string text = random() % 4 == 0 ? "-" : "";
        const int integer = static_cast<int>(random() % 10);
        const int decimals = static_cast<int>(random() % 17);
        for (int d = 0; d < integer; ++d)
            text += static_cast<char>('0' + random() % 10);
        if (integer == 0)
            text += '0';
        if (decimals > 0 || random() % 8 == 0)
            text += '.';
        for (int d = 0; d < decimals; ++d)
            text += static_cast<char>('0' + random() % 10);
        texts.push_back(text);
    }
    for (const std::string &text : texts) {
        const char *first = text.data(), *last = first + text.size();
        double expected = -1, read = -1;
        const std::from_chars_result reference = std::from_chars(first, last, expected);
        const char *end = VexoGeoCli::ParseNumber(first, last, read);
        if (reference.ec != std::errc()) {
            EXPECT_EQ(end, nullptr) << text;
            continue;
        }
        ASSERT_EQ(end, reference.ptr) << text;
        EXPECT_EQ(std::memcmp(&read, &expected, sizeof read), 0) << text;
    }
}
