// Coordinate texts and version numbers of WMS requests.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

#include "wms/coordinate_text.h"
#include "wms/version_number.h"

namespace Geo {
namespace {

// Includes the values whose 15-digit rounding moves them across a form boundary (0.1, 1e15).
TEST(CoordinateText, FixedAndExponentialForms) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        const char *text;
    } kCases[] = {// clang-format off
        {100, "100.0"}, {12.5, "12.5"}, {-0.25, "-0.25"}, {0.1, "0.1"}, {0.0, "0.0"},
        {-0.0, "-0.0"}, {1, "1.0"}, {-180, "-180.0"}, {1.0 / 3, "0.333333333333333"},
        {2.0 / 3, "0.666666666666667"}, {0.123456789012345678, "0.123456789012346"},
        {0.05, "5.e-02"}, {0.01, "1.e-02"}, {-1.5e-7, "-1.5e-07"},
        {0.099999999999999, "9.9999999999999e-02"}, {0.09999999999999999, "0.1"},
        {1e14, "100000000000000.0"}, {999999999999999.0, "999999999999999.0"},
        {123456789012345.6, "123456789012346.0"}, {-5e14 - 0.25, "-500000000000000.0"},
        {9.999999999999999e14, "1.e+15"}, {1e15, "1.e+15"}, {-2.5e15, "-2.5e+15"},
        {1e100, "1.e+100"}, {1.7976931348623157e308, "1.79769313486232e+308"},
        {5e-324, "4.94065645841247e-324"}, {inf, "inf"}, {-inf, "-inf"}, {std::nan(""), "nan"}};
    // clang-format on
    for (const auto &c : kCases)
        EXPECT_EQ(FormatCoordinate(c.value), c.text) << c.value;
}

// The C library's own %.14e conversion is the oracle: same 15 digits, same value, and the
// form follows the exponent of the rounded value.
TEST(CoordinateText, AgreesWithPrintfOverRandomBitPatterns) {
    std::mt19937_64 random(7);
    for (int i = 0; i < 20000; ++i) {
        std::uint64_t bits = random();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        if (i % 2) // half of the cases near the fixed/exponential boundaries
            value = std::ldexp(static_cast<double>(bits >> 11), -53) * std::pow(10.0, i % 19 - 3);
        if (!std::isfinite(value))
            continue;
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.14e", value);
        const int exponent = std::atoi(std::strchr(expected, 'e') + 1);
        const std::string text = FormatCoordinate(value);
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), std::strtod(expected, nullptr)) << text;
        EXPECT_EQ(text.find('e') != std::string::npos, exponent < -1 || exponent > 14) << text;
        EXPECT_NE(text.back(), '.') << text;
    }
}

TEST(VersionNumber, ReadsLikeStrtolWithoutDots) {
    const struct {
        const char *text;
        int number;
    } kCases[] = {// clang-format off
        {"1.3.0", 130}, {"1.1.1", 111}, {"1.1.0", 110}, {"1.0.0", 100}, {"1.3", 13},
        {"2.0.0", 200}, {"", 0}, {"1.3.0a", 0}, {"1. 3", 0}, {" \t1.3.0 \t", 130},
        {"\n1.3.0", 130}, {"1.3.0\n", 0}, {"+1.3.0", 130}, {"-1.3.0", -130}, {"0", 0},
        {"0.0.1", 1}, {"...", 0}, {"+", 0}, {"- 1", 0}, {"0x10", 0}, {"2147483647", INT_MAX},
        {"2147483648", INT_MAX}, {"-2147483649", INT_MIN}, {"99999999999999999999999", INT_MAX},
        {"-9.9.9.9.9.9.9.9.9.9.9.9.9.9.9.9.9.9.9.9.9.9", INT_MIN}};
    // clang-format on
    for (const auto &c : kCases)
        EXPECT_EQ(ReadVersionNumber(c.text), c.number) << '"' << c.text << '"';
}

} // namespace
} // namespace Geo
