// The tool on what users feed it: heights the systems compute, text after the coordinates, lost
// output, hostile input in diagnostics, endless lines, odd definition files and bad command lines.
#include "cli_run.h"
#include "common.h"
#include "support/test_data.h"

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

// PROJ's own log, which may quote the definition, is escaped as the tool's input is (that is in
// cases/transform.txt, cases/distance.txt and cases/crs.txt).
TEST(CliFaults, DiagnosticsQuoteInputSafely) {
    const Outcome proj =
        RunTool("crs \"$(printf '+init=\\033x')\"", "", "english", "PROJ_DEBUG=1 ");
    EXPECT_EQ(proj.exitCode, 1);
    EXPECT_NE(proj.err.find("+init=\\x1Bx +type=crs\n"), std::string::npos) << proj.err;
    EXPECT_EQ(proj.err.find('\x1B'), std::string::npos) << proj.err;
}

TEST(CliFaults, QuotingEscapesAndCuts) {
    for (const VexoGeoTest::TableRow &row : VexoGeoTest::ReadTable("cli/quoting.txt", 3)) {
        SCOPED_TRACE(row.where);
        EXPECT_EQ(VexoGeoCli::QuoteText(row.fields[0], std::stoul(row.fields[1])), row.fields[2]);
    }
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
