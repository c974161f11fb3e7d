// Numeric reading of a WMS version text.
#include "wms/version_number.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "platform/classic_locale.h"

namespace Geo {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

} // namespace

int ReadVersionNumber(const std::string &version) {
    std::string digits = version;
    digits.erase(std::remove(digits.begin(), digits.end(), '.'), digits.end());
    // The text is read as a C string: an embedded zero byte ends it.
    char *stop = nullptr;
    const Platform::CClassicLocaleScope classic;
    const long number = std::strtol(digits.c_str(), &stop, 10);
    // Nothing read, or a zero read: the answer is 0 whatever follows.
    if (number == 0)
        return 0;
    while (IsBlank(*stop))
        ++stop;
    if (*stop != '\0')
        return 0;
    // `long` may be wider than the 32 bits a version number has; saturate like a 32-bit strtol.
    constexpr long kMin = std::numeric_limits<std::int32_t>::min();
    constexpr long kMax = std::numeric_limits<std::int32_t>::max();
    return static_cast<int>(std::clamp(number, kMin, kMax));
}

} // namespace Geo
