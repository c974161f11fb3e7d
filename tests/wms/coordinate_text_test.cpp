// Coordinate texts and version numbers of WMS requests.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "support/test_data.h"
#include "wms/coordinate_text.h"
#include "wms/version_number.h"

namespace Geo {
namespace {

TEST(CoordinateText, FixedAndExponentialForms) {
    for (const auto &row : VexoGeoTest::TestTable("wms/tables/coordinate_text.txt", 2)) {
        SCOPED_TRACE(row.m_trace);
        EXPECT_EQ(FormatCoordinate(row.Number(0)), row[1]);
    }
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
    for (const auto &row : VexoGeoTest::TestTable("wms/tables/version_number.txt", 2)) {
        SCOPED_TRACE(row.m_trace);
        EXPECT_EQ(ReadVersionNumber(row[0]), std::stoi(row[1]));
    }
}

} // namespace
} // namespace Geo
