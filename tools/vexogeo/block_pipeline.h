// The streaming commands' work on several threads: blocks of whole lines read in order, worked
// on by a pool of threads, written in input order with their diagnostics.
#ifndef VEXOGEO_TOOLS_VEXOGEO_BLOCK_PIPELINE_H
#define VEXOGEO_TOOLS_VEXOGEO_BLOCK_PIPELINE_H

#include "common.h"
#include "stream.h"

#include <algorithm>
#include <any>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace VexoGeoCli {

/// Lines gathered into one job (bytes): large enough that a thread's work dwarfs the hand-over,
/// small enough that a job's text and output stay in the core's cache and that the threads
/// share the end of the input evenly. The reader's blocks are about this size.
constexpr std::size_t kJobBytes = 96 * 1024;

/// Alignment of what a thread writes on every line it works on (its scratch vectors): threads'
/// scratch a cache line apart, so that two threads writing their own never contend for a line.
constexpr std::size_t kScratchAlignment = 64;

/// A job's output text. Its buffer stays with the job from block to block and is never filled
/// ahead of the text: a page of it is first touched when text is written there. Only `CJobText`
/// writes it, in place.
class CJobOutput {
  public:
    /// What was written since the last `Clear`.
    std::string_view Text() const { return {m_data.get(), m_size}; }
    void Clear() { m_size = 0; }

  private:
    friend class CJobText;
    std::unique_ptr<char[]> m_data; // m_capacity bytes, the text its first m_size
    std::size_t m_capacity = 0;
    std::size_t m_size = 0;
};

/// One block of lines and everything its work produced.
struct BlockJob {
    InputBlock m_block;  ///< the lines, pointing into `m_text`
    std::string m_text;  ///< the job's own copy of its lines
    CJobOutput m_output; ///< what goes to standard output, in the lines' order
    std::vector<HeldDiagnostic> m_diagnostics; ///< what goes to standard error, in order
    std::uint64_t m_counts[4] = {};            ///< the command's tallies of this block
    std::vector<double> m_numbers;             ///< values the work hands to the writer
    std::any m_extra; ///< what else the command's work hands to its emit (the work resets it)
};

/// Appends to a job's output in place, straight into its buffer: no second buffer, no copy,
/// and once the ring's jobs have grown, no allocation. The output holds exactly what was
/// committed once the writer is gone.
class CJobText {
  public:
    explicit CJobText(CJobOutput &output) : m_output(output), m_size(output.m_size) {}
    ~CJobText() { m_output.m_size = m_size; }
    CJobText(const CJobText &) = delete;
    CJobText &operator=(const CJobText &) = delete;

    /// @return room for at least `count` bytes; hand the end of what was written to `Commit`.
    char *Reserve(std::size_t count) {
        if (m_output.m_capacity - m_size < count)
            Grow(count);
        return m_output.m_data.get() + m_size;
    }
    void Commit(const char *end) { m_size = static_cast<std::size_t>(end - m_output.m_data.get()); }
    void Append(std::string_view text) {
        char *out = Reserve(text.size());
        std::memcpy(out, text.data(), text.size());
        m_size += text.size();
    }
    void Append(char c) {
        *Reserve(1) = c;
        ++m_size;
    }

  private:
    void Grow(std::size_t count) {
        // Room for what a transformation writes for a job of points in degrees (about twice
        // its text) from the start, so that a job's buffer is allocated once.
        const std::size_t capacity =
            std::max({4 * kJobBytes, 2 * m_output.m_capacity, m_size + count});
        std::unique_ptr<char[]> data(new char[capacity]);
        if (m_size > 0)
            std::memcpy(data.get(), m_output.m_data.get(), m_size);
        m_output.m_data = std::move(data);
        m_output.m_capacity = capacity;
    }

    CJobOutput &m_output;
    std::size_t m_size;
};

/// The work on one block on lane `lane` (the thread's own; 0 when running alone).
using BlockWork = std::function<void(unsigned lane, BlockJob &job)>;
/// Writes one finished block; runs on the calling thread in input order. @return false to stop
/// (the output failed).
using BlockEmit = std::function<bool(BlockJob &job)>;

/// Reads `reader` in jobs of about `kJobBytes` of whole lines of one input, runs `work` on
/// each on `threads` threads (1: on the calling thread, job by job) and `emit` on each in input
/// order; at most one job per thread and two more are in flight, so memory stays bounded
/// whatever the input. Diagnostics the reader writes go with the job they come before; those after
/// the last job are written at the end. The same jobs and the same order for every thread count.
void RunBlocks(CLineReader &reader, unsigned threads, const BlockWork &work, const BlockEmit &emit);

/// Writes a job's held diagnostics on standard error: those of a limited class only while
/// `printed[class]` stays within `limit`.
void WriteDiagnostics(const std::vector<HeldDiagnostic> &diagnostics, std::uint64_t *printed,
                      std::uint64_t limit);

/// Asks `engine` (a converter or a geodesic) for a lane per thread and returns how many threads
/// the work may use: `threads` when each has a lane of its own, else 1 (the work runs alone).
template <class Engine> unsigned UseLanes(Engine &engine, unsigned threads) {
    if (threads > 1)
        engine.SetThreadCount(threads);
    return threads > 1 && engine.GetLaneCount() >= threads ? threads : 1;
}

} // namespace VexoGeoCli

#endif
