// Coordinate text of a WMS request: a double written with 15 significant digits.
#ifndef VEXOGEO_WMS_COORDINATE_TEXT_H
#define VEXOGEO_WMS_COORDINATE_TEXT_H

#include <cstddef>
#include <string>

namespace Geo {

// Room for the longest coordinate text ("-1.23456789012345e-308" is 22 bytes).
constexpr std::size_t kCoordinateTextCapacity = 32;

// Writes `value` rounded to 15 significant digits into `out` and returns the length (no
// terminating zero). Decimal exponents -1 to 14 of the rounded value give fixed form with
// trailing zeros removed and at least one digit after the "." (100 -> "100.0", 1/3 ->
// "0.333333333333333"); other exponents give exponential form with trailing zeros removed and
// an exponent of at least two digits (0.05 -> "5.e-02", 1e15 -> "1.e+15"). Zero is fixed form
// and keeps its sign ("0.0", "-0.0"); infinities and NaN give "inf", "-inf" and "nan".
std::size_t FormatCoordinate(double value, char (&out)[kCoordinateTextCapacity]);

// The same text as a string.
std::string FormatCoordinate(double value);

} // namespace Geo

#endif
