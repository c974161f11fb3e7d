// Coordinate text of a WMS request, laid out from the C library's correctly rounded
// 15-digit scientific conversion.
#include "wms/coordinate_text.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace Geo {

namespace {

constexpr int kSignificantDigits = 15;

// Appends `text` (without its terminating zero) at `out + length`; returns the new length.
template <std::size_t N> std::size_t Append(char *out, std::size_t length, const char (&text)[N]) {
    std::memcpy(out + length, text, N - 1);
    return length + N - 1;
}

} // namespace

std::size_t FormatCoordinate(double value, char (&out)[kCoordinateTextCapacity]) {
    if (std::isnan(value))
        return Append(out, 0, "nan");
    if (std::isinf(value))
        return value < 0 ? Append(out, 0, "-inf") : Append(out, 0, "inf");

    // "-d.dddddddddddddde-ddd": the rounded mantissa's digits and the exponent of the rounded
    // value, so 9.999999999999999e14 already reads as 1.00000000000000e+15.
    char scientific[kCoordinateTextCapacity];
    const auto converted = std::to_chars(scientific, scientific + sizeof scientific, value,
                                         std::chars_format::scientific, kSignificantDigits - 1);
    if (converted.ec != std::errc())
        return 0; // a failed conversion gives an empty coordinate text
    const bool negative = scientific[0] == '-';
    const char *mantissa = scientific + (negative ? 1 : 0);
    char digits[kSignificantDigits];
    digits[0] = mantissa[0];
    std::memcpy(digits + 1, mantissa + 2, kSignificantDigits - 1);
    const char *exponentText = mantissa + 2 + (kSignificantDigits - 1) + 1; // after the 'e'
    int exponent = 0;
    std::from_chars(exponentText + 1, converted.ptr, exponent);
    if (*exponentText == '-')
        exponent = -exponent;

    // Significant digits that survive the removal of trailing zeros (at least the first).
    int kept = kSignificantDigits;
    while (kept > 1 && digits[kept - 1] == '0')
        --kept;

    std::size_t length = 0;
    if (negative)
        out[length++] = '-';
    if (exponent < -1 || exponent > kSignificantDigits - 1) {
        out[length++] = digits[0];
        out[length++] = '.';
        std::memcpy(out + length, digits + 1, kept - 1);
        length += kept - 1;
        const std::size_t exponentLength = converted.ptr - exponentText;
        std::memcpy(out + length, exponentText - 1, exponentLength + 1); // 'e', sign, digits
        return length + exponentLength + 1;
    }
    if (exponent == -1) {
        length = Append(out, length, "0.");
        std::memcpy(out + length, digits, kept);
        return length + kept;
    }
    // Exponent 0 to 14: the integer digits are all significant, the fraction drops its zeros.
    const int integerDigits = exponent + 1;
    std::memcpy(out + length, digits, integerDigits);
    length += integerDigits;
    out[length++] = '.';
    if (kept > integerDigits) {
        std::memcpy(out + length, digits + integerDigits, kept - integerDigits);
        length += kept - integerDigits;
    }
    // A text that ends with its "." gets a "0", so that every coordinate has a fraction digit.
    if (out[length - 1] == '.')
        out[length++] = '0';
    return length;
}

std::string FormatCoordinate(double value) {
    char text[kCoordinateTextCapacity];
    return std::string(text, FormatCoordinate(value, text));
}

} // namespace Geo
