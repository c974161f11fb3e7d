// Numeric reading of a WMS version text ("1.3.0" -> 130).
#ifndef VEXOGEO_WMS_VERSION_NUMBER_H
#define VEXOGEO_WMS_VERSION_NUMBER_H

#include <string>

namespace Geo {

// Removes every "." and reads the rest as a base-10 `strtol` number, which may carry leading
// white space and one sign and may be followed by blanks and tabs only; anything else after
// it, or no number at all, gives 0. Numbers beyond 32 bits give the nearest 32-bit limit.
// So "1.3.0" -> 130, "1.3" -> 13, " 1.1.1\t" -> 111, "1.3.0a" -> 0, "1. 3" -> 0, "" -> 0.
int ReadVersionNumber(const std::string &version);

} // namespace Geo

#endif
