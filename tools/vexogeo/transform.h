// The streaming point transformation behind `vexogeo transform` and the tour.
#ifndef VEXOGEO_TOOLS_VEXOGEO_TRANSFORM_H
#define VEXOGEO_TOOLS_VEXOGEO_TRANSFORM_H

#include "common.h"

#include <vexogeo/crs/crs_info.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

/// Point lines of one block that one operation served, one after another.
struct OperationRun {
    std::uint64_t m_firstLine = 0; ///< the line of the run's first point
    std::uint64_t m_lastLine = 0;  ///< the line of its last point
    std::int32_t m_operation = 0;  ///< index into the block's operations, or kNone (failed)
};

/// Which operations served the points of one block, as runs of lines.
struct BlockOperations {
    std::string m_name;                           ///< the input the block comes from
    bool m_firstOfFile = false;                   ///< the block starts that input
    std::vector<Geo::OperationInfo> m_operations; ///< distinct operations of the block
    std::vector<OperationRun> m_runs;             ///< in line order
};

/// Reports on standard error, under `context`, which operation transformed which points: runs
/// of point lines of one input that one operation served, each written once it ends ("NAME:
/// lines 1-40: NAD27 to WGS 84 (6), accuracy 7 m"); a ballpark transformation is called one.
class COperationReport {
  public:
    explicit COperationReport(std::string context);
    /// Adds one block's runs; blocks come in input order.
    void Add(const BlockOperations &block);
    /// Writes the last run, or that no point was read.
    void Finish();

  private:
    void WriteRun();

    std::string m_context;
    Geo::OperationsUsed m_all; // every operation seen; only its list is used
    std::string m_name;
    OperationRun m_run;
    bool m_open = false;
    bool m_any = false;
};

/// Transforms every "x y [z] [text]" line of `reader` into `out` in the line's own layout, in
/// blocks of one `TransformCoordinates` call each. When either system has a height axis every
/// point is written with three values. Text after the coordinates passes unchanged; failed
/// coordinates and unreadable lines become "*" fields; blank and comment lines pass unchanged.
/// The first unreadable lines are reported on standard error under `context`; lines too long
/// to read count as unreadable. With `threads` above 1 (and a converter that prepared as many
/// lanes) blocks are parsed, transformed and formatted on that many threads; the output and the
/// diagnostics are the same. With a `report` each block records which operation served each
/// point (slower where PROJ chooses among several) and hands it the runs, in input order.
TransformCounts TransformLines(Geo::CConverter &converter, CLineReader &reader, COutputBuffer &out,
                               int precision, const std::string &context, unsigned threads = 1,
                               COperationReport *report = nullptr);

} // namespace VexoGeoCli

#endif
