// The streaming commands' block pipeline in process, on many threads at once (also run under
// ThreadSanitizer): the same jobs, output, diagnostics and tallies in input order for every
// thread count, and a writer that stops the run stops it.
#include "block_pipeline.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

namespace {

using VexoGeoCli::BlockJob;

// What a run wrote, in the order the writer saw it.
struct Written {
    std::string output;
    std::vector<std::string> diagnostics;
    std::uint64_t lines = 0, jobs = 0;
};

// Each job's lines reversed, every 1000th line reported by the worker under its file and number
// (a worker's PrintError goes with its job).
Written RunPipeline(const std::vector<std::string> &paths, unsigned threads,
                    std::uint64_t stopAfter) {
    VexoGeoCli::CLineReader reader(paths, "test");
    Written run;
    VexoGeoCli::RunBlocks(
        reader, threads,
        [](unsigned, BlockJob &job) {
            std::uint64_t number = job.m_block.m_firstLine;
            VexoGeoCli::CJobText out(job.m_output);
            VexoGeoCli::ForEachLine(job.m_block, [&](const char *p, const char *end) {
                out.Append(
                    std::string(std::make_reverse_iterator(end), std::make_reverse_iterator(p)));
                out.Append('\n');
                if (number % 1000 == 0)
                    VexoGeoCli::PrintError("test",
                                           job.m_block.m_name + ":" + std::to_string(number));
                ++number;
                ++job.m_counts[0];
                return true;
            });
        },
        [&](BlockJob &job) {
            run.output += job.m_output.Text();
            for (const VexoGeoCli::HeldDiagnostic &d : job.m_diagnostics)
                run.diagnostics.push_back(d.m_line);
            run.lines += job.m_counts[0];
            return ++run.jobs < stopAfter;
        });
    return run;
}

} // namespace

TEST(BlockPipeline, EveryThreadCountWritesWhatOneThreadWrites) {
    std::string first, second;
    for (int i = 0; first.size() < 1500000; ++i)
        first += std::to_string(i) + (i % 7 == 0 ? " seven\r\n" : " line\n");
    for (int i = 0; second.size() < 300000; ++i)
        second += "b" + std::to_string(i) + "\n";
    second += "no end";
    const VexoGeoTest::CTempFolder folder;
    const std::vector<std::string> paths = {folder.Write("first", first), "missing-input-file",
                                            folder.Write("second", second)};
    const Written one = RunPipeline(paths, 1, UINT64_MAX);
    // Reversed lines, in input order, across more jobs than threads.
    EXPECT_EQ(one.output.substr(0, 16), "\rneves 0\nenil 1\n");
    EXPECT_EQ(one.output.substr(one.output.size() - 7), "dne on\n");
    EXPECT_GT(one.jobs, 8u);
    EXPECT_EQ(one.lines,
              static_cast<std::uint64_t>(std::count(first.begin(), first.end(), '\n') +
                                         std::count(second.begin(), second.end(), '\n') + 1));
    ASSERT_GT(one.diagnostics.size(), 100u);
    EXPECT_NE(one.diagnostics[0].find(paths[0] + ":1000"), std::string::npos);
    for (const unsigned threads : {2u, 3u, 8u}) {
        const Written many = RunPipeline(paths, threads, UINT64_MAX);
        EXPECT_TRUE(many.output == one.output) << threads << " threads";
        EXPECT_EQ(many.diagnostics, one.diagnostics) << threads << " threads";
        EXPECT_EQ(many.lines, one.lines);
        EXPECT_EQ(many.jobs, one.jobs);
    }
}

TEST(BlockPipeline, AWriterThatFailsStopsTheRun) {
    std::string text;
    for (int i = 0; text.size() < 2000000; ++i)
        text += std::to_string(i) + "\n";
    const VexoGeoTest::CTempFolder folder;
    const std::vector<std::string> paths = {folder.Write("stop", text)};
    for (const unsigned threads : {1u, 2u, 8u}) {
        const Written run = RunPipeline(paths, threads, 3);
        EXPECT_EQ(run.jobs, 3u) << threads << " threads";
        EXPECT_EQ(run.output, RunPipeline(paths, 1, 3).output) << threads << " threads";
        EXPECT_LT(run.output.size(), text.size() / 4);
    }
}
