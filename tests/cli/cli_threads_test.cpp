// The streaming commands on several threads: the same bytes on standard output and standard
// error, and the same exit code, as one thread, over inputs larger than one job.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

// A polyline of about 2 MiB of vertices, with comments, blank lines and CRLF endings; `tail`
// follows the last vertex.
std::string RouteInput(const std::string &tail) {
    std::string text;
    for (int i = 0; text.size() < 2000000; ++i) {
        if (i % 997 == 1)
            text += "# leg " + std::to_string(i) + "\n";
        else if (i % 1499 == 2)
            text += "\n";
        text += std::to_string(12 + (i * 37 % 600) / 100.0) + " " +
                std::to_string((i * 53 % 8000) / 100.0) + (i % 811 == 4 ? "\r\n" : "\n");
    }
    return text + tail;
}

} // namespace

// measure joins the lengths of jobs measured apart: the figures keep every digit, the error of
// a bad vertex far into the input and the exit codes stay those of one thread. PROJ names failed
// points in its log: that reaches standard error in order too.
TEST(CliThreads, OutputAndDiagnosticsEqualOneThread) {
    const std::string points = Write("threads-points.txt", MixedInput(false));
    const std::string pairs = Write("threads-pairs.txt", MixedInput(true));
    const std::string places = Write("threads-places.txt", PlacesInput());
    const std::string route = Write("threads-route.txt", RouteInput("13 52"));
    const std::string broken = Write("threads-broken.txt", RouteInput("13 52\n14 x\n15 53\n"));
    const std::string unplaced = Write("threads-unplaced.txt", RouteInput("13 95\n14 52\n"));
    const struct {
        std::string arguments, input;
        const char *expected; // in what one thread writes
    } kCommands[] = {
        {"transform --from EPSG:4326 --to EPSG:32633 " + points + " -", "13 52\nbad\n",
         "'not a point'"},
        {"transform --from EPSG:4326 --to EPSG:4979 --precision 3 < " + points, "",
         "'not a point'"},
        {"transform --from EPSG:4267 --to EPSG:4326 --show-operation < " + places, "",
         "'not a point'"},
        {"distance --crs EPSG:4326 < " + pairs, "", "'not a point'"},
        {"distance --crs EPSG:32633 --precision 2 < " + pairs, "", "'not a point'"},
        {"measure --crs EPSG:4326 --precision 9 " + route, "", "length: "},
        {"measure --crs EPSG:32633 --polygon --precision 9 < " + route, "", "area: "},
        {"measure --crs EPSG:4326 " + broken, "", "not a vertex 'x y': '14 x'"},
        {"measure --crs EPSG:4326 --polygon " + unplaced, "", "length: *"},
    };
    for (const auto &command : kCommands) {
        const Outcome one =
            RunTool(command.arguments + " --threads 1", command.input, "english", "PROJ_DEBUG=1 ");
        // transform and distance write a line for each line read: far more than one job.
        ASSERT_TRUE(command.arguments.rfind("measure", 0) == 0 || one.out.size() > 300000u)
            << command.arguments << "\n"
            << one.err;
        EXPECT_NE((one.out + one.err).find(command.expected), std::string::npos)
            << command.arguments << "\n"
            << one.out.substr(0, 2000) << one.err.substr(0, 2000);
        for (const char *threads : {"2", "3", "8"}) {
            const Outcome many = RunTool(command.arguments + " --threads " + threads, command.input,
                                         "english", "PROJ_DEBUG=1 ");
            EXPECT_EQ(many.exitCode, one.exitCode) << command.arguments << " " << threads;
            EXPECT_TRUE(many.out == one.out) << command.arguments << " --threads " << threads;
            EXPECT_EQ(many.err, one.err) << command.arguments << " --threads " << threads;
        }
    }
}

namespace {

// The peak resident memory (KiB) of the largest process `shell` starts, measured in a child of
// its own so that no earlier run counts; -1 when the command fails.
long PeakOf(const std::string &shell) {
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        const int status = std::system(shell.c_str());
        struct rusage usage {};
        getrusage(RUSAGE_CHILDREN, &usage);
        const long peak = status == 0 ? usage.ru_maxrss : -1;
        const ssize_t written = write(fds[1], &peak, sizeof peak);
        _exit(written == sizeof peak ? 0 : 1);
    }
    close(fds[1]);
    long peak = -1;
    if (pid < 0 || read(fds[0], &peak, sizeof peak) != sizeof peak)
        peak = -1;
    close(fds[0]);
    if (pid > 0)
        waitpid(pid, nullptr, 0);
    return peak;
}

} // namespace

// Memory stays flat on long input: the peak of a run over 4,000,000 lines is the peak of one
// over 1,000,000 (the pipeline holds a bounded number of jobs, whose buffers have all reached
// their size by then), at 2 and 8 threads and for each streaming command. Points that coincide
// keep the geodesic work short.
TEST(CliThreads, PeakMemoryDoesNotGrowWithTheInput) {
#if defined(__SANITIZE_ADDRESS__)
    // The quarantine holds freed blocks for a while and grows with what was freed.
    GTEST_SKIP() << "AddressSanitizer's quarantine grows with the blocks freed, not the tool";
#endif
    const struct {
        const char *line, *arguments;
    } kCommands[] = {
        {"13.4 52.5", "transform --from EPSG:4326 --to EPSG:32633"},
        {"13.4 52.5 13.4 52.5", "distance --crs EPSG:4326"},
        {"13.4 52.5", "measure --crs EPSG:4326"},
    };
    for (const auto &command : kCommands) {
        for (const char *threads : {"2", "8"}) {
            long peak[2] = {};
            for (int run = 0; run < 2; ++run) {
                const std::string shell = std::string("yes '") + command.line + "' | head -n " +
                                          (run == 0 ? "1000000" : "4000000") + " | PROJ_DEBUG=0 " +
                                          VEXOGEO_CLI_PATH + " " + command.arguments +
                                          " --threads " + threads + " > /dev/null";
                peak[run] = PeakOf(shell);
                ASSERT_GT(peak[run], 0) << shell;
            }
            // 3,000,000 more lines are over 28 MiB of text: holding them would show.
            EXPECT_LT(peak[1] - peak[0], 8 * 1024)
                << command.arguments << " --threads " << threads << ": " << peak[0] << " KiB, then "
                << peak[1] << " KiB";
        }
    }
}
