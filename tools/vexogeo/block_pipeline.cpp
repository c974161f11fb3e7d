// Ordered block pipeline: one reader and writer (the calling thread), a pool of workers.
#include "block_pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace VexoGeoCli {
namespace {

// A block read but not yet placed in a job, with what the reader said before it.
struct PendingBlock {
    std::string m_text;
    std::string m_name;
    bool m_firstOfFile = false;
    std::uint64_t m_firstLine = 1;
    std::vector<HeldDiagnostic> m_diagnostics;
};

// Reads the lines of one job: whole blocks of one input, following one another without a
// gap, until about kJobBytes. Diagnostics of the reader belong before the block they precede.
class CJobReader {
  public:
    explicit CJobReader(CLineReader &reader) : m_reader(reader) {}

    // @return false at the end of the input; `job` then holds nothing.
    bool Fill(BlockJob &job) {
        job.m_text.clear();
        // A job's text is its blocks up to kJobBytes and one more: room for that once, rather
        // than a chain of ever larger copies.
        job.m_text.reserve(2 * kJobBytes);
        job.m_output.Clear();
        job.m_diagnostics.clear();
        job.m_numbers.clear();
        for (std::uint64_t &count : job.m_counts)
            count = 0;
        std::uint64_t nextLine = 0;
        bool any = false;
        // A block that cannot join a job waits in `m_pending` for the next one; every other
        // block goes straight from the reader's buffer into the job.
        while (job.m_text.size() < kJobBytes) {
            InputBlock block;
            std::vector<HeldDiagnostic> said;
            if (m_pending) {
                block.m_text = m_pending->m_text;
                block.m_name = m_pending->m_name;
                block.m_firstOfFile = m_pending->m_firstOfFile;
                block.m_firstLine = m_pending->m_firstLine;
                said = std::move(m_pending->m_diagnostics);
            } else if (!ReadNext(block, said)) {
                break;
            }
            if (any && (block.m_firstOfFile || block.m_name != job.m_block.m_name ||
                        block.m_firstLine != nextLine || !said.empty())) {
                // Only a block just read gets here: a held one always starts its job.
                Hold(block, said);
                break;
            }
            if (!any) {
                job.m_block.m_name = block.m_name;
                job.m_block.m_firstOfFile = block.m_firstOfFile;
                job.m_block.m_firstLine = block.m_firstLine;
                job.m_diagnostics = std::move(said);
                any = true;
            }
            job.m_text.append(block.m_text.data(), block.m_text.size());
            nextLine = block.m_firstLine + CountLines(block.m_text);
            m_pending.reset();
            // A last line without its '\n' ends the input it belongs to.
            if (job.m_text.back() != '\n')
                break;
        }
        job.m_block.m_text = job.m_text;
        return any;
    }

    // What the reader said after the last block.
    std::vector<HeldDiagnostic> &Trailing() { return m_trailing; }

  private:
    static std::uint64_t CountLines(std::string_view text) {
        const std::uint64_t lines = CountLineBreaks(text);
        return lines + (!text.empty() && text.back() != '\n' ? 1 : 0);
    }

    // The next block of the reader and what the reader said before it.
    bool ReadNext(InputBlock &block, std::vector<HeldDiagnostic> &said) {
        bool read = false;
        {
            const CDiagnosticCapture capture(&said);
            read = m_reader.Next(block);
        }
        if (!read) {
            for (HeldDiagnostic &d : said)
                m_trailing.push_back(std::move(d));
            return false;
        }
        return true;
    }

    // Keeps `block` (which points into the reader's buffer) for the next job.
    void Hold(const InputBlock &block, std::vector<HeldDiagnostic> &said) {
        m_pending.emplace();
        m_pending->m_text.assign(block.m_text.data(), block.m_text.size());
        m_pending->m_name = block.m_name;
        m_pending->m_firstOfFile = block.m_firstOfFile;
        m_pending->m_firstLine = block.m_firstLine;
        m_pending->m_diagnostics = std::move(said);
    }

    CLineReader &m_reader;
    std::optional<PendingBlock> m_pending;
    std::vector<HeldDiagnostic> m_trailing;
};

void WriteHeld(const std::vector<HeldDiagnostic> &diagnostics) {
    for (const HeldDiagnostic &d : diagnostics)
        std::fputs(d.m_line.c_str(), stderr);
}

} // namespace

void WriteDiagnostics(const std::vector<HeldDiagnostic> &diagnostics, std::uint64_t *printed,
                      std::uint64_t limit) {
    for (const HeldDiagnostic &d : diagnostics) {
        if (d.m_limitClass >= 0 && ++printed[d.m_limitClass] > limit)
            continue;
        std::fputs(d.m_line.c_str(), stderr);
    }
}

void RunBlocks(CLineReader &reader, unsigned threads, const BlockWork &work,
               const BlockEmit &emit) {
    CJobReader jobs(reader);
    if (threads <= 1) {
        BlockJob job;
        while (jobs.Fill(job)) {
            {
                const CDiagnosticCapture capture(&job.m_diagnostics);
                work(0, job);
            }
            if (!emit(job))
                return;
        }
        WriteHeld(jobs.Trailing());
        return;
    }

    // A ring of jobs: the writer waits for the oldest, the workers take the next in line. Two
    // jobs beyond one per worker let a worker go on while an older job of another is still
    // running; more only add memory touched for the first time (on 2 cores, 6 jobs against 4
    // cost 190 more page faults and no speed).
    const std::size_t slots = static_cast<std::size_t>(threads) + 2;
    std::vector<std::unique_ptr<BlockJob>> ring;
    for (std::size_t i = 0; i < slots; ++i)
        ring.push_back(std::make_unique<BlockJob>());
    std::vector<char> done(slots, 0);
    std::deque<std::size_t> queue; // filled slots waiting for a worker
    std::mutex lock;
    std::condition_variable workReady, jobDone;
    bool stopping = false;

    std::vector<std::thread> workers;
    for (unsigned lane = 0; lane < threads; ++lane)
        workers.emplace_back([&, lane] {
            while (true) {
                std::size_t slot = 0;
                {
                    std::unique_lock<std::mutex> guard(lock);
                    workReady.wait(guard, [&] { return stopping || !queue.empty(); });
                    if (queue.empty())
                        return;
                    slot = queue.front();
                    queue.pop_front();
                }
                BlockJob &job = *ring[slot];
                {
                    const CDiagnosticCapture capture(&job.m_diagnostics);
                    work(lane, job);
                }
                {
                    const std::lock_guard<std::mutex> guard(lock);
                    done[slot] = 1;
                }
                jobDone.notify_one();
            }
        });

    std::size_t oldest = 0;   // slot of the oldest job in flight
    std::size_t inFlight = 0; // jobs read and not yet written
    bool more = true;
    bool failed = false;
    const auto writeOldest = [&] {
        {
            std::unique_lock<std::mutex> guard(lock);
            jobDone.wait(guard, [&] { return done[oldest] != 0; });
            done[oldest] = 0;
        }
        if (!failed && !emit(*ring[oldest]))
            failed = true;
        oldest = (oldest + 1) % slots;
        --inFlight;
    };
    while (more && !failed) {
        if (inFlight == slots)
            writeOldest();
        const std::size_t slot = (oldest + inFlight) % slots;
        more = jobs.Fill(*ring[slot]);
        if (!more)
            break;
        {
            const std::lock_guard<std::mutex> guard(lock);
            queue.push_back(slot);
        }
        ++inFlight;
        workReady.notify_one();
    }
    while (inFlight > 0)
        writeOldest();
    {
        const std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    workReady.notify_all();
    for (std::thread &worker : workers)
        worker.join();
    if (!failed)
        WriteHeld(jobs.Trailing());
}

} // namespace VexoGeoCli
