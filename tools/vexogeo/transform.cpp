// Streaming transformation of point lines: parse a block with from_chars, transform it with one
// library call, format it with to_chars into one buffered write.
#include "transform.h"

#include "block_pipeline.h"
#include "process.h"
#include "stream.h"

#include <vexogeo/vexogeo.h>

#include <any>
#include <cmath>
#include <cstring>
#include <vector>

namespace VexoGeoCli {
namespace {

constexpr std::uint64_t kReportedUnreadable = 5;

// One line of a block, with where its numbers stand so the output keeps the line's layout:
// offsets into the job's text (a few MiB at most), so a block's lines stay small in the cache.
struct BlockLine {
    std::uint32_t m_begin;
    std::uint32_t m_end; // before the '\n'
    std::uint32_t m_fieldBegin[3];
    std::uint32_t m_fieldEnd[3];
    NumberLine::Kind m_kind;
    std::uint8_t m_count; // the numbers of a point; the stars of a bad line
};

// Most pieces copied around the numbers are a separator or nothing: a call would cost more.
char *Copy(char *out, const char *first, const char *last) {
    const auto size = static_cast<std::size_t>(last - first);
    if (size <= 16) {
        for (std::size_t i = 0; i < size; ++i)
            out[i] = first[i];
    } else {
        std::memcpy(out, first, size);
    }
    return out + size;
}

char *WriteStars(char *out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0)
            *out++ = ' ';
        *out++ = '*';
    }
    return out;
}

} // namespace

std::unique_ptr<Geo::CConverter> CreateConverter(const CSystemRef &source, const CSystemRef &target,
                                                 std::string &error,
                                                 const ConverterChoice &choice) {
    auto converter = std::make_unique<Geo::CConverter>();
    // The converter reports through PROJ's error state: start from a clean one, so what is
    // recorded afterwards belongs to this transformation.
    converter->ClearError();
    // The choice is made before the systems are set, so the transformation is built only once.
    if (choice.m_hasArea && !converter->SetAreaOfInterest(choice.m_area[0], choice.m_area[1],
                                                          choice.m_area[2], choice.m_area[3])) {
        error = "the area of interest is not a longitude/latitude box in degrees";
        return nullptr;
    }
    if (!choice.m_allowBallpark)
        converter->SetAllowBallpark(false);
    converter->SetSource(source.Get());
    converter->SetTarget(target.Get());
    int code = 0;
    bool isTransformationError = false;
    std::string message;
    converter->GetErrorInfo(code, message, isTransformationError);
    converter->ClearError();
    if (!converter->HasTransformation()) {
        error = choice.m_allowBallpark
                    ? "no transformation between the two systems"
                    : "no transformation between the two systems other than a ballpark one";
        if (!message.empty())
            error += " (" + message + ")";
        return nullptr;
    }
    return converter;
}

namespace {

// PROJ's name without the axis swaps that only put longitude (easting) first.
std::string OperationName(const std::string &name) {
    std::string text = name;
    for (const char *swap : {"axis order change (2D)", "axis order change (3D)"}) {
        const std::string before = std::string(swap) + " + ";
        const std::string after = std::string(" + ") + swap;
        if (text.compare(0, before.size(), before) == 0)
            text.erase(0, before.size());
        if (text.size() > after.size() &&
            text.compare(text.size() - after.size(), after.size(), after) == 0)
            text.erase(text.size() - after.size());
    }
    return text;
}

// "NAD27 to WGS 84 (6), accuracy 7 m", with the grids it needs; a ballpark one says so first.
std::string DescribeOperation(const Geo::OperationInfo &info) {
    std::string text = info.m_ballpark ? "ballpark transformation only (no datum shift): " : "";
    text += OperationName(info.m_name) + ", accuracy ";
    text += info.m_accuracy >= 0 ? FormatNumber(info.m_accuracy) + " m" : std::string("unknown");
    for (const Geo::OperationGrid &grid : info.m_grids)
        text += ", grid " + grid.m_name + (grid.m_available ? "" : " (missing)");
    return text;
}

} // namespace

COperationReport::COperationReport(std::string context) : m_context(std::move(context)) {}

void COperationReport::Add(const BlockOperations &block) {
    // The block's own indices become indices into the list of the whole run.
    std::vector<std::int32_t> index;
    for (const Geo::OperationInfo &info : block.m_operations)
        index.push_back(m_all.Add(info));
    if (block.m_firstOfFile || block.m_name != m_name)
        WriteRun();
    m_name = block.m_name;
    for (OperationRun run : block.m_runs) {
        if (run.m_operation >= 0)
            run.m_operation = index[static_cast<std::size_t>(run.m_operation)];
        if (m_open && run.m_operation == m_run.m_operation) {
            m_run.m_lastLine = run.m_lastLine;
            continue;
        }
        WriteRun();
        m_run = run;
        m_open = true;
    }
}

void COperationReport::Finish() {
    WriteRun();
    if (!m_any)
        PrintError(m_context, "no point was read: no operation was used");
}

void COperationReport::WriteRun() {
    if (!m_open)
        return;
    m_open = false;
    m_any = true;
    std::string text = m_name + ": line";
    text += m_run.m_firstLine == m_run.m_lastLine
                ? " " + std::to_string(m_run.m_firstLine)
                : "s " + std::to_string(m_run.m_firstLine) + "-" + std::to_string(m_run.m_lastLine);
    text += ": ";
    text += m_run.m_operation >= 0
                ? DescribeOperation(m_all.m_operations[static_cast<std::size_t>(m_run.m_operation)])
                : std::string("not transformed");
    PrintError(m_context, text);
}

namespace {

// What one thread reuses from block to block.
struct alignas(kScratchAlignment) Scratch {
    std::vector<BlockLine> m_lines;
    std::vector<double> m_xs, m_ys, m_zs;
};

enum TransformCount { kPoints, kFailed, kUnreadable };

// The runs of point lines that one operation served, from the per-point record of the block.
BlockOperations CollectRuns(const InputBlock &block, const std::vector<BlockLine> &lines,
                            Geo::OperationsUsed &used) {
    BlockOperations runs;
    runs.m_name = block.m_name;
    runs.m_firstOfFile = block.m_firstOfFile;
    runs.m_operations = std::move(used.m_operations);
    std::size_t point = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].m_kind != NumberLine::Kind::Numbers)
            continue;
        const std::uint64_t line = block.m_firstLine + i;
        const std::int32_t operation = used.m_points[point++];
        if (!runs.m_runs.empty() && runs.m_runs.back().m_operation == operation)
            runs.m_runs.back().m_lastLine = line;
        else
            runs.m_runs.push_back({line, line, operation});
    }
    return runs;
}

void TransformJob(Geo::CConverter &converter, bool onLane, unsigned lane, Scratch &scratch,
                  BlockJob &job, bool withHeight, int precision, const std::string &context,
                  bool record) {
    std::vector<BlockLine> &lines = scratch.m_lines;
    std::vector<double> &xs = scratch.m_xs, &ys = scratch.m_ys, &zs = scratch.m_zs;
    const InputBlock &block = job.m_block;
    std::uint64_t lineNumber = block.m_firstLine - 1;
    lines.clear();
    xs.clear();
    ys.clear();
    zs.clear();
    // Room for lines of four bytes or more (any point's) once; pages are touched only as used.
    const std::size_t most = block.m_text.size() / 4 + 1;
    lines.reserve(most);
    xs.reserve(most);
    ys.reserve(most);
    zs.reserve(most);
    bool any3d = withHeight;
    const char *const base = block.m_text.data();
    const auto at = [base](const char *p) { return static_cast<std::uint32_t>(p - base); };
    ForEachLine(block, [&](const char *p, const char *lineEnd) {
        ++lineNumber;
        const NumberLine read = ReadNumberLine(p, lineEnd, 3, true);
        BlockLine line{};
        line.m_begin = at(p);
        line.m_end = at(lineEnd);
        line.m_kind = read.m_kind;
        std::size_t fields = read.m_count;
        if (line.m_kind == NumberLine::Kind::Numbers && read.m_count < 2) {
            // Not a point: its stars follow the fields the whole line holds.
            line.m_kind = NumberLine::Kind::Bad;
            fields = ReadNumberLine(p, lineEnd, 3).m_count;
        }
        if (line.m_kind == NumberLine::Kind::Numbers) {
            line.m_count = static_cast<std::uint8_t>(read.m_count);
            for (std::size_t i = 0; i < read.m_count; ++i) {
                line.m_fieldBegin[i] = at(read.m_begin[i]);
                line.m_fieldEnd[i] = at(read.m_end[i]);
            }
            xs.push_back(read.m_values[0]);
            ys.push_back(read.m_values[1]);
            zs.push_back(read.m_count == 3 ? read.m_values[2] : 0.0);
            any3d = any3d || read.m_count == 3;
        } else if (line.m_kind == NumberLine::Kind::Bad) {
            // Three stars for a line of three fields or more, else two.
            line.m_count = fields >= 3 ? 3 : 2;
            // Only the first few of the whole run are written: a block holds back no more.
            if (++job.m_counts[kUnreadable] <= kReportedUnreadable)
                job.m_diagnostics.push_back(
                    {kUnreadable,
                     FormatLineError(context, block.m_name, lineNumber, "not a point",
                                     std::string_view(p, static_cast<std::size_t>(lineEnd - p)))});
        }
        lines.push_back(line);
        return true;
    });

    // Failed points come back as infinities; the error state they leave is not needed.
    double *z = any3d ? zs.data() : nullptr;
    if (record) {
        Geo::OperationsUsed used;
        if (onLane) {
            converter.TransformCoordinatesOnLane(lane, xs.size(), xs.data(), ys.data(), z, used);
        } else {
            converter.TransformCoordinates(xs.size(), xs.data(), ys.data(), z, used);
            converter.ClearError();
        }
        job.m_extra = CollectRuns(block, lines, used);
    } else if (!xs.empty()) {
        if (onLane) {
            converter.TransformCoordinatesOnLane(lane, xs.size(), xs.data(), ys.data(), z);
        } else {
            converter.TransformCoordinates(xs.size(), xs.data(), ys.data(), z);
            converter.ClearError();
        }
    }

    CJobText out(job.m_output);
    std::size_t point = 0;
    for (const BlockLine &line : lines) {
        const char *const begin = base + line.m_begin;
        const char *const end = base + line.m_end;
        char *o = out.Reserve(2 * (line.m_end - line.m_begin) + 3 * kMaxNumberText + 8);
        if (line.m_kind == NumberLine::Kind::Pass) {
            o = Copy(o, begin, end);
        } else if (line.m_kind == NumberLine::Kind::Bad) {
            o = WriteStars(o, withHeight || line.m_count >= 3 ? 3 : 2);
        } else {
            ++job.m_counts[kPoints];
            const double values[3] = {xs[point], ys[point], zs[point]};
            ++point;
            const std::size_t written = withHeight ? 3 : line.m_count;
            bool ok = std::isfinite(values[0]) && std::isfinite(values[1]) &&
                      (written < 3 || std::isfinite(values[2]));
            if (!ok)
                ++job.m_counts[kFailed];
            o = Copy(o, begin, base + line.m_fieldBegin[0]);
            for (std::size_t i = 0; i < written; ++i) {
                // A height the line did not give follows the separator of its first two.
                if (i >= line.m_count)
                    o = Copy(o, base + line.m_fieldEnd[0], base + line.m_fieldBegin[1]);
                else if (i > 0)
                    o = Copy(o, base + line.m_fieldEnd[i - 1], base + line.m_fieldBegin[i]);
                if (ok) {
                    o = FormatNumber(o, values[i], precision);
                } else {
                    *o++ = '*';
                }
            }
            // Whatever follows the coordinates (a label, a comment) is kept as it is.
            o = Copy(o, base + line.m_fieldEnd[line.m_count - 1], end);
        }
        *o++ = '\n';
        out.Commit(o);
    }
}

} // namespace

TransformCounts TransformLines(Geo::CConverter &converter, CLineReader &reader, COutputBuffer &out,
                               int precision, const std::string &context, unsigned threads,
                               COperationReport *report) {
    TransformCounts counts;
    CProgress progress(context, reader.GetBytesTotal());
    // A height the systems keep or compute is written on every line, also where the input
    // gave none (then it counts as 0).
    const bool withHeight =
        (converter.GetSource() != nullptr && CountAxes(*converter.GetSource()) == 3) ||
        (converter.GetTarget() != nullptr && CountAxes(*converter.GetTarget()) == 3);
    // Each thread transforms on a lane of its own; without lanes the work runs alone.
    const bool onLane = threads > 1 && converter.GetLaneCount() >= threads;
    if (!onLane)
        threads = 1;
    std::vector<Scratch> scratch(threads);
    std::uint64_t printed[3] = {};
    bool writing = true;
    RunBlocks(
        reader, threads,
        [&](unsigned lane, BlockJob &job) {
            TransformJob(converter, onLane, lane, scratch[lane], job, withHeight, precision,
                         context, report != nullptr);
        },
        [&](BlockJob &job) {
            counts.m_points += job.m_counts[kPoints];
            counts.m_failed += job.m_counts[kFailed];
            counts.m_unreadable += job.m_counts[kUnreadable];
            WriteDiagnostics(job.m_diagnostics, printed, kReportedUnreadable);
            if (report != nullptr)
                report->Add(std::any_cast<const BlockOperations &>(job.m_extra));
            out.Append(job.m_output.Text());
            // One write per block keeps a terminal or a pipe reader in step with the input.
            writing = out.Flush();
            progress.Update(reader.GetBytesRead());
            return writing;
        });
    counts.m_unreadable += reader.GetSkippedLines();
    return counts;
}

} // namespace VexoGeoCli
