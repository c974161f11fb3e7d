// The tool's reading and writing of numbers against std::from_chars and std::to_chars, the
// references it must equal bit for bit and byte for byte; its count of lines against std::count.
#include "common.h"
#include "stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

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
        // What follows a number on a line, read eight bytes at a time with it.
        const char *const kAfter[] = {" 52.5", ",x12345678",
                                      "\xfa"
                                      "99",
                                      ":1234567890", "/"};
        texts.push_back(text + kAfter[random() % 5]);
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

// The shortest text of every kind of double, above all the coordinates and distances written
// without the general algorithm: random bit patterns, random values of coordinate ranges, short
// decimals, and beside powers of two.
TEST(NumberText, WritesAsToCharsDoes) {
    std::mt19937_64 random(2207);
    // Integers, ties, carries into a new digit, and the edges of the short way's range (1, 10^8).
    std::vector<double> values = {0.0,
                                  -0.0,
                                  1.0,
                                  -1.0,
                                  0.5,
                                  1.5,
                                  10.5,
                                  13.4,
                                  500000.125,
                                  123456.0,
                                  9.999999999999998,
                                  99999999.99999999,
                                  1e8,
                                  1e8 + 0.25,
                                  1e22,
                                  2.5e-8,
                                  1e300,
                                  5e-324,
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::quiet_NaN()};
    for (int i = 0; i < 300000; ++i) {
        std::uint64_t bits = random();
        double bitValue = 0;
        std::memcpy(&bitValue, &bits, sizeof bitValue);
        values.push_back(bitValue);
        values.push_back(
            std::ldexp(static_cast<double>(random() >> 11), -static_cast<int>(random() % 64)));
        values.push_back(std::uniform_real_distribution<double>(-1e7, 1e7)(random));
        // A decimal of a few digits, as people and PROJ's round trips give them.
        const auto digits = static_cast<double>(random() % 100000000);
        values.push_back(digits / std::pow(10.0, static_cast<double>(random() % 12)));
        values.push_back(std::nextafter(values.back(), 1e300));
        // Beside a power of two, where the interval below is half as wide.
        const double power = std::ldexp(1.0, static_cast<int>(random() % 52));
        values.push_back(std::nextafter(power, 0.0));
        values.push_back(std::nextafter(power, 1e300));
    }
    for (const double value : values) {
        char expected[VexoGeoCli::kMaxNumberText], written[VexoGeoCli::kMaxNumberText];
        char *expectedEnd = std::to_chars(expected, expected + sizeof expected, value).ptr;
        char *writtenEnd = VexoGeoCli::FormatNumber(written, value, VexoGeoCli::kShortest);
        ASSERT_EQ(std::string(+written, writtenEnd), std::string(+expected, expectedEnd))
            << std::hexfloat << value;
    }
}

// Texts of every length around the eight-byte words and the 31-word runs of the count, with
// breaks anywhere and the bytes a word-wise test could mistake for one ('\n' | 0x80, 0x0b, 0).
TEST(NumberText, CountsLineBreaksAsStdCountDoes) {
    std::mt19937_64 random(2208);
    const char kBytes[] = {'\n', '\n', 'a', '7', ' ', '\x8a', '\x0b', '\0', '\xff', '\x09'};
    for (int i = 0; i < 3000; ++i) {
        std::string text(random() % 600, ' ');
        for (char &c : text)
            c = kBytes[random() % sizeof kBytes];
        const auto expected =
            static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n'));
        ASSERT_EQ(VexoGeoCli::CountLineBreaks(text), expected) << text.size();
    }
    EXPECT_EQ(VexoGeoCli::CountLineBreaks(std::string(5000, '\n')), 5000u);
}
