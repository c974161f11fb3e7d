// The streaming point transformation behind `vexogeo transform` and the tour.
#ifndef VEXOGEO_TOOLS_VEXOGEO_TRANSFORM_H
#define VEXOGEO_TOOLS_VEXOGEO_TRANSFORM_H

#include "common.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Geo {
class CConverter;
}

namespace VexoGeoCli {

class CLineReader;
class COutputBuffer;

/// How PROJ is to choose the transformation of a converter.
struct ConverterChoice {
    bool m_hasArea = false;          ///< choose for the area below
    double m_area[4] = {0, 0, 0, 0}; ///< west, south, east, north in degrees
    bool m_allowBallpark = true;     ///< false: no transformation rather than a ballpark one
};

/// A converter from `source` to `target`, its transformation chosen as `choice` says.
/// @return null with `error` set when PROJ finds no transformation between them.
std::unique_ptr<Geo::CConverter> CreateConverter(const CSystemRef &source, const CSystemRef &target,
                                                 std::string &error,
                                                 const ConverterChoice &choice = {});

/// What a transformation run saw.
struct TransformCounts {
    std::uint64_t m_points = 0;     ///< lines read as points
    std::uint64_t m_failed = 0;     ///< points PROJ could not transform
    std::uint64_t m_unreadable = 0; ///< lines that are neither points, blank nor comments
};

/// Transforms every "x y [z] [text]" line of `reader` into `out` in the line's own layout, in
/// blocks of one `TransformCoordinates` call each. When either system has a height axis every
/// point is written with three values. Text after the coordinates passes unchanged; failed
/// coordinates and unreadable lines become "*" fields; blank and comment lines pass unchanged.
/// The first unreadable lines are reported on standard error under `context`; lines too long
/// to read count as unreadable. With `threads` above 1 (and a converter that prepared as many
/// lanes) blocks are parsed, transformed and formatted on that many threads; the output and the
/// diagnostics are the same.
TransformCounts TransformLines(Geo::CConverter &converter, CLineReader &reader, COutputBuffer &out,
                               int precision, const std::string &context, unsigned threads = 1);

} // namespace VexoGeoCli

#endif
