// `vexogeo geocode --batch`: a list of places geocoded line by line, answers in input order.
#ifndef VEXOGEO_TOOLS_VEXOGEO_GEOCODE_BATCH_H
#define VEXOGEO_TOOLS_VEXOGEO_GEOCODE_BATCH_H

#include "geocode_format.h"

#include <vexogeo/geocoding/geocoder.h>

#include <string>

namespace VexoGeoCli {

/// Searches every line of `input` (a file; "-" or empty: standard input) with `options` and
/// writes exactly one line per input line to standard output, in input order, each written as
/// soon as it is known. Text: the first place as `FormatPlaces` writes it, or "-<TAB>-<TAB>no
/// result", "-<TAB>-<TAB>no query" (a blank line), "-<TAB>-<TAB>failed". JSON: one object per
/// line, {"query": ..., "place": {...} or null} with "error" added for a failed line. Each
/// failure is also reported on standard error with its line number. A 403 answer (the service
/// blocks this client) ends the batch: every further request would be refused too. While
/// standard error is a terminal, it shows the line reached.
/// @return kExitSuccess when every line was answered (a place, no result or a blank line),
/// kExitFailure when a line failed, the input could not be read or the output was lost.
int RunGeocodeBatch(const std::string &input, const Geo::GeocoderOptions &options,
                    GeocodeFormat format);

} // namespace VexoGeoCli

#endif
