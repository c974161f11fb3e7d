// The streaming commands on several threads: the same bytes on standard output and standard
// error, and the same exit code, as one thread, over inputs larger than one job.
#include <gtest/gtest.h>

#include <string>

#include "cli/cli_run.h"

namespace {

using namespace VexoGeoCliTest;

// About 2.5 MiB of lines of every kind: points or pairs, failures (latitude 95), lines that
// are no points, comments, blank lines, CRLF endings, trailing text, and no final '\n'.
std::string MixedInput(bool pairs) {
    std::string text;
    for (int i = 0; text.size() < 2600000; ++i) {
        const std::string x = std::to_string(12 + (i % 600) / 100.0);
        const std::string y = std::to_string((i % 8000) / 100.0);
        if (i % 997 == 1)
            text += "# comment " + std::to_string(i) + "\n";
        else if (i % 1499 == 2)
            text += "\n";
        else if (i % 1201 == 3)
            text += "not a point\n";
        else if (i % 811 == 4)
            text += x + " 95" + (pairs ? " 13 50" : "") + "\r\n";
        else if (pairs)
            text += x + " " + y + "\t" + y + "," + x + "\n";
        else
            text += x + "," + y + (i % 3 == 0 ? " label\r\n" : "\n");
    }
    return text + (pairs ? "1 2 3 4" : "13 52");
}

// About 1.5 MiB of points in runs of places that different operations serve (Texas, Quebec,
// a ballpark offset in Europe, California), with failures and lines that are no points.
std::string PlacesInput() {
    const char *places[] = {"-97.5 30.5", "-75 45.5", "10 50", "-120 38"};
    std::string text;
    for (int i = 0; text.size() < 1500000; ++i)
        text += i % 997 == 3    ? std::string("nan nan\n")
                : i % 1201 == 5 ? std::string("not a point\n")
                                : places[(i / 40 + i / 1009) % 4] + std::string(" #") +
                                      std::to_string(i) + "\n";
    return text;
}

} // namespace

TEST(CliThreads, OutputAndDiagnosticsEqualOneThread) {
    const std::string points = Write("threads-points.txt", MixedInput(false));
    const std::string pairs = Write("threads-pairs.txt", MixedInput(true));
    const std::string places = Write("threads-places.txt", PlacesInput());
    const struct {
        std::string arguments, input;
    } kCommands[] = {
        {"transform --from EPSG:4326 --to EPSG:32633 " + points + " -", "13 52\nbad\n"},
        {"transform --from EPSG:4326 --to EPSG:4979 --precision 3 < " + points, ""},
        {"transform --from EPSG:4267 --to EPSG:4326 --show-operation < " + places, ""},
        {"distance --crs EPSG:4326 < " + pairs, ""},
        {"distance --crs EPSG:32633 --precision 2 < " + pairs, ""},
    };
    for (const auto &command : kCommands) {
        // PROJ names failed points in its log: that reaches standard error in order too.
        const Outcome one =
            RunTool(command.arguments + " --threads 1", command.input, "english", "PROJ_DEBUG=1 ");
        ASSERT_GT(one.out.size(), 300000u) << command.arguments << "\n" << one.err;
        EXPECT_NE(one.err.find("'not a point'"), std::string::npos) << command.arguments;
        for (const char *threads : {"2", "3", "8"}) {
            const Outcome many = RunTool(command.arguments + " --threads " + threads, command.input,
                                         "english", "PROJ_DEBUG=1 ");
            EXPECT_EQ(many.exitCode, one.exitCode) << command.arguments << " " << threads;
            EXPECT_TRUE(many.out == one.out) << command.arguments << " --threads " << threads;
            EXPECT_EQ(many.err, one.err) << command.arguments << " --threads " << threads;
        }
    }
}
