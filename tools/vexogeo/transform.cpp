// Streaming transformation of point lines: parse a block with from_chars, transform it with one
// library call, format it with to_chars into one buffered write.
#include "transform.h"

#include "block_pipeline.h"
#include "process.h"
#include "stream.h"

#include <vexogeo/vexogeo.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace VexoGeoCli {
namespace {

constexpr std::uint64_t kReportedUnreadable = 5;

// One line of a block, with where its numbers stand so the output keeps the line's layout.
struct BlockLine {
    const char *m_begin;
    const char *m_end; // before the '\n'
    NumberLine::Kind m_kind;
    std::size_t m_count;
    const char *m_fieldBegin[3];
    const char *m_fieldEnd[3];
};

char *Copy(char *out, const char *first, const char *last) {
    // Mostly a separator of one byte, or nothing: no call for that.
    if (last - first <= 2) {
        while (first != last)
            *out++ = *first++;
        return out;
    }
    const auto size = static_cast<std::size_t>(last - first);
    std::memcpy(out, first, size);
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

// Lines parsed, transformed and formatted at a time: one library call each, and few enough
// that their numbers and layout stay in the core's fastest cache.
constexpr std::size_t kBatchLines = 1024;
// Room a piece of the output buffer keeps in the cache between its copies into the job.
constexpr std::size_t kScratchOutput = 64 * 1024;

// What one thread reuses from block to block.
struct Scratch {
    std::vector<BlockLine> m_lines;
    std::vector<double> m_xs, m_ys, m_zs;
    std::string m_text;
    std::unique_ptr<COutputBuffer> m_pOut; // appends to m_text
};

enum TransformCount { kPoints, kFailed, kUnreadable };

// What the transformation of a whole job shares with each of its batches.
struct TransformSetup {
    Geo::CConverter &m_converter;
    bool m_onLane;
    bool m_withHeight;
    int m_precision;
    const std::string &m_context;
};

// Reads lines from `p` up to `blockEnd`, at most `kBatchLines` of them, transforms their points
// and appends their output. @return where the next batch starts.
const char *TransformBatch(const TransformSetup &setup, unsigned lane, Scratch &scratch,
                           BlockJob &job, const char *p, const char *const blockEnd,
                           std::uint64_t &lineNumber) {
    std::vector<BlockLine> &lines = scratch.m_lines;
    std::vector<double> &xs = scratch.m_xs, &ys = scratch.m_ys, &zs = scratch.m_zs;
    lines.clear();
    xs.clear();
    ys.clear();
    zs.clear();
    bool any3d = setup.m_withHeight;
    while (p != blockEnd && lines.size() < kBatchLines) {
        const void *found = std::memchr(p, '\n', static_cast<std::size_t>(blockEnd - p));
        const char *lineEnd = found != nullptr ? static_cast<const char *>(found) : blockEnd;
        ++lineNumber;
        const NumberLine read = ReadNumberLine(p, lineEnd, 3, true);
        BlockLine line{p, lineEnd, read.m_kind, read.m_count, {}, {}};
        if (line.m_kind == NumberLine::Kind::Numbers && read.m_count < 2) {
            // Not a point: its stars follow the fields the whole line holds.
            line.m_kind = NumberLine::Kind::Bad;
            line.m_count = ReadNumberLine(p, lineEnd, 3).m_count;
        }
        if (line.m_kind == NumberLine::Kind::Numbers) {
            for (std::size_t i = 0; i < read.m_count; ++i) {
                line.m_fieldBegin[i] = read.m_begin[i];
                line.m_fieldEnd[i] = read.m_end[i];
            }
            xs.push_back(read.m_values[0]);
            ys.push_back(read.m_values[1]);
            zs.push_back(read.m_count == 3 ? read.m_values[2] : 0.0);
            any3d = any3d || read.m_count == 3;
        } else if (line.m_kind == NumberLine::Kind::Bad) {
            // Only the first few of the whole run are written: a block holds back no more.
            if (++job.m_counts[kUnreadable] <= kReportedUnreadable)
                job.m_diagnostics.push_back(
                    {kUnreadable,
                     FormatLineError(setup.m_context, job.m_block.m_name, lineNumber, "not a point",
                                     std::string_view(p, static_cast<std::size_t>(lineEnd - p)))});
        }
        lines.push_back(line);
        p = found != nullptr ? lineEnd + 1 : blockEnd;
    }

    if (!xs.empty()) {
        // Failed points come back as infinities; the error state they leave is not needed.
        double *z = any3d ? zs.data() : nullptr;
        if (setup.m_onLane) {
            setup.m_converter.TransformCoordinatesOnLane(lane, xs.size(), xs.data(), ys.data(), z);
        } else {
            setup.m_converter.TransformCoordinates(xs.size(), xs.data(), ys.data(), z);
            setup.m_converter.ClearError();
        }
    }

    COutputBuffer &out = *scratch.m_pOut;
    std::size_t point = 0;
    for (const BlockLine &line : lines) {
        const std::size_t size = static_cast<std::size_t>(line.m_end - line.m_begin);
        char *o = out.Reserve(2 * size + 3 * kMaxNumberText + 8);
        if (line.m_kind == NumberLine::Kind::Pass) {
            o = Copy(o, line.m_begin, line.m_end);
        } else if (line.m_kind == NumberLine::Kind::Bad) {
            o = WriteStars(o, setup.m_withHeight || line.m_count >= 3 ? 3 : 2);
        } else {
            ++job.m_counts[kPoints];
            const double values[3] = {xs[point], ys[point], zs[point]};
            ++point;
            const std::size_t written = setup.m_withHeight ? 3 : line.m_count;
            bool ok = std::isfinite(values[0]) && std::isfinite(values[1]) &&
                      (written < 3 || std::isfinite(values[2]));
            if (!ok)
                ++job.m_counts[kFailed];
            o = Copy(o, line.m_begin, line.m_fieldBegin[0]);
            for (std::size_t i = 0; i < written; ++i) {
                // A height the line did not give follows the separator of its first two.
                if (i >= line.m_count)
                    o = Copy(o, line.m_fieldEnd[0], line.m_fieldBegin[1]);
                else if (i > 0)
                    o = Copy(o, line.m_fieldEnd[i - 1], line.m_fieldBegin[i]);
                if (ok) {
                    o = FormatNumber(o, values[i], setup.m_precision);
                } else {
                    *o++ = '*';
                }
            }
            // Whatever follows the coordinates (a label, a comment) is kept as it is.
            o = Copy(o, line.m_fieldEnd[line.m_count - 1], line.m_end);
        }
        *o++ = '\n';
        out.Commit(o);
    }
    return p;
}

void TransformJob(const TransformSetup &setup, unsigned lane, Scratch &scratch, BlockJob &job) {
    if (!scratch.m_pOut)
        scratch.m_pOut = std::make_unique<COutputBuffer>(&scratch.m_text, kScratchOutput);
    const char *p = job.m_block.m_text.data();
    const char *const blockEnd = p + job.m_block.m_text.size();
    std::uint64_t lineNumber = job.m_block.m_firstLine - 1;
    while (p != blockEnd)
        p = TransformBatch(setup, lane, scratch, job, p, blockEnd, lineNumber);
    scratch.m_pOut->Flush();
    // The job keeps the text; the thread keeps the job's old buffer for its next job.
    job.m_output.swap(scratch.m_text);
    scratch.m_text.clear();
}

} // namespace

TransformCounts TransformLines(Geo::CConverter &converter, CLineReader &reader, COutputBuffer &out,
                               int precision, const std::string &context, unsigned threads) {
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
    const TransformSetup setup{converter, onLane, withHeight, precision, context};
    std::uint64_t printed[3] = {};
    bool writing = true;
    RunBlocks(
        reader, threads,
        [&](unsigned lane, BlockJob &job) { TransformJob(setup, lane, scratch[lane], job); },
        [&](BlockJob &job) {
            counts.m_points += job.m_counts[kPoints];
            counts.m_failed += job.m_counts[kFailed];
            counts.m_unreadable += job.m_counts[kUnreadable];
            WriteDiagnostics(job.m_diagnostics, printed, kReportedUnreadable);
            out.Append(job.m_output);
            // One write per block keeps a terminal or a pipe reader in step with the input.
            writing = out.Flush();
            progress.Update(reader.GetBytesRead());
            return writing;
        });
    counts.m_unreadable += reader.GetSkippedLines();
    return counts;
}

} // namespace VexoGeoCli
