// The tool on what users feed it: heights the systems compute, text after the coordinates, lost
// output, hostile input in diagnostics, endless lines, odd definition files and bad command lines.
#include "cli_run.h"
#include "common.h"

#include <CLI/CLI.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <sys/stat.h>

namespace {

using namespace VexoGeoCliTest;

// Whenever a system has a height axis, every line carries the third value, and whatever follows
// the coordinates stays after them: as PROJ's cs2cs writes them (it reads geographic systems
// latitude first and puts a tab after the first value).
TEST(CliFaults, HeightsAndTrailingTextMatchCs2cs) {
    VEXOGEO_REQUIRE_PROGRAM("cs2cs", "proj-bin");
    const struct {
        const char *from, *to, *points, *cs2csPoints;
    } cases[] = {
        {"EPSG:4326", "EPSG:4978", "13 52\n13 52 id1\n13 52 100 7\n13.5 52.25 # note\n",
         "52 13\n52 13 id1\n52 13 100 7\n52.25 13.5 # note\n"},
        {"EPSG:4979", "EPSG:3857", "13 52\n13 52 100 x\n", "52 13\n52 13 100 x\n"},
        {"EPSG:4937", "EPSG:25833", "13 52 50 a b\n15 50\n", "52 13 50 a b\n50 15\n"},
        {"EPSG:4978", "EPSG:32633", "3834107.68 885173.51 5002803.35 id\n",
         "3834107.68 885173.51 5002803.35 id\n"},
        {"EPSG:4326", "EPSG:3857", "13 52 100 7\n", "52 13 100 7\n"},
    };
    for (const auto &c : cases) {
        const std::string systems = std::string(c.from) + " " + c.to;
        std::string expected =
            VexoGeoTest::RunCommand("PROJ_DEBUG=0 cs2cs -f %.2f " + systems + " 2>/dev/null",
                                    c.cs2csPoints)
                .out;
        std::replace(expected.begin(), expected.end(), '\t', ' ');
        ASSERT_NE(expected, "") << systems;
        Check({{std::string("transform --precision 2 --from ") + c.from + " --to " + c.to, c.points,
                expected}});
    }
}

// A line fails as a point only when its coordinates do; the rest of it is data.
TEST(CliFaults, TextAfterTheCoordinatesIsKept) {
    const std::string p = "1491681.177 6891041.724";
    Check({
        {"transform --from EPSG:4326 --to EPSG:3857 --precision 3",
         "13.4 52.5 id1\n13.4\t52.5\tid 2\t\n13.4,52.5,label\n13.4 52.5 # note\n"
         "13.4 52.5 0 7 extra\n200 100 id\n",
         p + " id1\n1491681.177\t6891041.724\tid 2\t\n1491681.177,6891041.724,label\n" + p +
             " # note\n" + p + " 0.000 7 extra\n* * id\n",
         0, "vexogeo: transform: 1 of 6 points could not be transformed\n"},
        {"transform --from EPSG:4326 --to EPSG:4978 --precision 0", "200 100 id\n13.4 x\n",
         "* * * id\n* * *\n", 0,
         "vexogeo: transform: <stdin>:2: not a point: '13.4 x'\n"
         "vexogeo: transform: 1 of 1 points could not be transformed\n"
         "vexogeo: transform: 1 lines are not points\n"},
        {"transform --from EPSG:4326 --to EPSG:3857", "13.4 52.5abc\n13.4 1e400 a\n13 52 1e400\n",
         "* *\n* * *\n* * *\n", 0,
         "vexogeo: transform: <stdin>:1: not a point: '13.4 52.5abc'\n"
         "vexogeo: transform: <stdin>:2: not a point: '13.4 1e400 a'\n"
         "vexogeo: transform: <stdin>:3: not a point: '13 52 1e400'\n"
         "vexogeo: transform: 3 lines are not points\n"},
    });
}

// Output that cannot be written fails the run, whichever command wrote it.
TEST(CliFaults, LostOutputExitsOne) {
    const std::string data = std::string(VEXOGEO_TEST_SOURCE_DIR) + "/data/";
    const struct {
        std::string context, arguments, input;
    } cases[] = {
        {"srids", "srids " + data + "named_srids.xml", ""},
        {"named-wms", "named-wms " + data + "named_wms.xml", ""},
        {"wms show", "wms show " + data + "wms.xml", ""},
        {"wms-url compose", "wms-url compose --layers a", ""},
        {"wms-url parse", "wms-url parse http://a/b?layers=c", ""},
        {"crs", "crs EPSG:4326", ""},
        {"distance", "distance --crs EPSG:4326 1 2 3 4", ""},
        {"distance", "distance --crs EPSG:4326", "1 2 3 4\n"},
        {"measure", "measure --crs EPSG:4326", "1 2\n3 4\n"},
        {"transform", "transform --from EPSG:4326 --to EPSG:3857", "1 2\n"},
        {"help", "--help", ""},
        {"crs", "crs --help", ""},
    };
    for (const auto &c : cases) {
        const Outcome outcome = RunTool(c.arguments + " >/dev/full", c.input);
        EXPECT_EQ(outcome.exitCode, 1) << c.arguments;
        EXPECT_EQ(outcome.err,
                  "vexogeo: " + c.context + ": cannot write the output: No space left on device\n")
            << c.arguments;
    }
}

// Input and arguments echoed in diagnostics: control bytes escaped, long text cut, and one
// form "NAME:LINE: ..." for every streaming command.
TEST(CliFaults, DiagnosticsQuoteInputSafely) {
    const std::string vertices = Write("vertices.txt", "1 2\n\x1B]0;title\x07 3\n");
    const std::string longLine(300000, 'x');
    Check({
        {"transform --from EPSG:4326 --to EPSG:3857",
         std::string("\x1B[31mred\0x\n", 11) + longLine + "\n", "* *\n* *\n", 0,
         "vexogeo: transform: <stdin>:1: not a point: '\\x1B[31mred\\0x'\n"
         "vexogeo: transform: <stdin>:2: not a point: '" +
             std::string(VexoGeoCli::kMaxQuoted, 'x') +
             "...' (300000 bytes)\n"
             "vexogeo: transform: 2 lines are not points\n"},
        // GeodSolve -i: 2 1 4 3 -> 313588.397212596
        {"distance --crs EPSG:4326",
         "1 2 3 4\n\xC2\x9B"
         "2J\\ \xFF\n",
         "313588.39721259556\n*\n", 0,
         "vexogeo: distance: <stdin>:2: not 'x1 y1 x2 y2': '\\xC2\\x9B2J\\\\ \\xFF'\n"
         "vexogeo: distance: 1 lines are not coordinate pairs\n"},
        {"measure --crs EPSG:4326 " + vertices, "", "", 1,
         "vexogeo: measure: " + vertices + ":2: not a vertex 'x y': '\\x1B]0;title\\x07 3'\n"},
        {"distance --crs EPSG:4326 1 2 3 \"$(printf 'a\\033[2Jb')\"", "", "", 2,
         "vexogeo: distance: not a number: 'a\\x1B[2Jb'\n"},
        {"crs \"$(printf '\\302\\233x')\"", "", "", 1,
         "vexogeo: crs: unknown coordinate system '\\xC2\\x9Bx'\n"},
    });
    // PROJ's own log, which may quote the definition, is escaped as well.
    const Outcome proj =
        RunTool("crs \"$(printf '+init=\\033x')\"", "", "english", "PROJ_DEBUG=1 ");
    EXPECT_EQ(proj.exitCode, 1);
    EXPECT_NE(proj.err.find("+init=\\x1Bx +type=crs\n"), std::string::npos) << proj.err;
    EXPECT_EQ(proj.err.find('\x1B'), std::string::npos) << proj.err;
}

TEST(CliFaults, QuotingEscapesAndCuts) {
    using VexoGeoCli::QuoteText;
    const struct {
        std::string text;
        std::size_t limit;
        const char *quoted;
    } cases[] = {
        {"plain text", 120, "'plain text'"},
        {std::string("a\0b\tc\nd\re\\f\x7F", 12), 120, "'a\\0b\\tc\\nd\\re\\\\f\\x7F'"},
        {"L\xC3\xA4nge \xE2\x82\xAC", 120, "'L\xC3\xA4nge \xE2\x82\xAC'"},
        {"\xC2\x85\xC2\xA0", 120, "'\\xC2\\x85\xC2\xA0'"},
        {"\xFF\xC0\xAF\xED\xA0\x80\xE2\x82", 120, "'\\xFF\\xC0\\xAF\\xED\\xA0\\x80\\xE2\\x82'"},
        {std::string(200, 'a'), 10, "'aaaaaaaaaa...' (200 bytes)"},
        {"aaaaaaaaa\xC3\xBC", 10, "'aaaaaaaaa...' (11 bytes)"},
        {"aaaaaaaaa\xFF\xFF", 10, "'aaaaaaaaa\\xFF...' (11 bytes)"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(QuoteText(c.text, c.limit), c.quoted) << c.text;
}

// A line longer than the tool reads is reported and skipped; the lines after it keep their
// numbers; an endless one leaves memory flat.
TEST(CliFaults, OverlongLinesAreSkipped) {
    VEXOGEO_REQUIRE_PROGRAM("/usr/bin/time", "time");
    const std::string huge(1024 * 1024 + 1, ' ');
    const std::string points = Write("points.txt", "13.4 52.5\n" + huge + "\nx\n13.4 52.5");
    const std::string skipped = ":2: line longer than 1048576 bytes, skipped\n";
    Check({
        {"transform --from EPSG:4326 --to EPSG:3857 --precision 0 " + points, "",
         "1491681 6891042\n* *\n1491681 6891042\n", 0,
         "vexogeo: transform: " + points + skipped + "vexogeo: transform: " + points +
             ":3: not a point: 'x'\nvexogeo: transform: 2 lines are not points\n"},
        // The longest line read: a point with its trailing blanks.
        {"transform --from EPSG:4326 --to EPSG:3857 --precision 0 --strict",
         "1 2" + huge.substr(4) + "\n", "111319 222684" + huge.substr(4) + "\n", 0, ""},
        {"distance --crs EPSG:4326 --precision 0", "1 2 3 4\n" + huge, "313588\n", 0,
         "vexogeo: distance: <stdin>" + skipped +
             "vexogeo: distance: 1 lines are not coordinate pairs\n"},
        {"measure --crs EPSG:4326", "1 2\n" + huge + "\n3 4\n", "", 1,
         "vexogeo: measure: <stdin>" + skipped},
        {"transform --from EPSG:4326 --to EPSG:3857", "", "", 0,
         "vexogeo: transform: <stdin>:1: line longer than 1048576 bytes, skipped\n"
         "vexogeo: transform: 1 lines are not points\n",
         Timed("head -c 100000000 /dev/zero | ")},
    });
    ExpectPeakBelow(40 * 1024);
}

// "@path" names a regular file of a sane size; nothing else is read, nothing blocks.
TEST(CliFaults, DefinitionFilesAreSmallRegularFiles) {
    const std::string fifo = (Scratch() / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string large = Write("large.wkt", std::string(1024 * 1024 + 1, ' '));
    const std::string folder = Scratch().string();
    Check({
        {"crs @/dev/zero", "", "", 1,
         "vexogeo: crs: the definition file '/dev/zero' is not a regular file\n"},
        {"crs @" + folder, "", "", 1,
         "vexogeo: crs: the definition file '" + folder + "' is not a regular file\n"},
        {"transform --from EPSG:4326 --to @" + large, "", "", 1,
         "vexogeo: transform: --to: the definition file '" + large +
             "' is larger than 1048576 bytes\n"},
        // A tool that waited for a writer to open the FIFO would never end: time it out.
        {"crs @" + fifo, "", "", 1,
         "vexogeo: crs: the definition file '" + fifo + "' is not a regular file\n", "timeout 20 "},
    });
}

TEST(CliFaults, UsageErrorsExitTwo) {
    Check({
        {"bogus", "", "", 2,
         "vexogeo: usage: unknown command 'bogus'\nRun 'vexogeo --help' for more information.\n"},
        {"wms-url \"$(printf 'x\\033')\"", "", "", 2,
         "vexogeo: wms-url: unknown command 'wms-url x\\x1B'\n"
         "Run 'vexogeo wms-url --help' for more information.\n"},
        {"crs EPSG:4326 \"$(printf '\\033[2J')\"", "", "", 2,
         "vexogeo: crs: The following argument was not expected: \\x1B[2J\n"
         "Run 'vexogeo crs --help' for more information.\n"},
    });
}

// An argument starting with '/' is a path on every system: CLI11 on Windows reads "/name" as
// an option unless the parser is told not to, before any command copies the setting.
TEST(CliFaults, ASlashStartsAPathNotAnOption) {
    CLI::App app("vexogeo");
    app.allow_windows_style_options(true); // CLI11's default on Windows
    VexoGeoCli::PrepareParser(app);
    std::string file;
    app.add_subcommand("srids")->add_option("FILE", file);
    const char *const argv[] = {"vexogeo", "srids", "/data/named_srids.xml"};
    EXPECT_NO_THROW(app.parse(3, argv));
    EXPECT_EQ(file, "/data/named_srids.xml");
}

} // namespace
