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

// Heights the systems compute and text after the coordinates, as PROJ's cs2cs writes them
// (it puts a tab after the first value).
TEST(CliFaults, HeightsAndTrailingTextMatchCs2cs) {
    VEXOGEO_REQUIRE_PROGRAM("cs2cs", "proj-bin");
    for (const VexoGeoTest::TableRow &row : VexoGeoTest::TestTable("cli/heights.txt", 4)) {
        SCOPED_TRACE(row.m_trace);
        const std::string systems = row[0] + " " + row[1];
        std::string expected = VexoGeoTest::RunCommand(
                                   "PROJ_DEBUG=0 cs2cs -f %.2f " + systems + " 2>/dev/null", row[3])
                                   .out;
        std::replace(expected.begin(), expected.end(), '\t', ' ');
        ASSERT_NE(expected, "") << systems;
        Check({{"transform --precision 2 --from " + row[0] + " --to " + row[1], row[2], expected}});
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
    for (const VexoGeoTest::TableRow &row : VexoGeoTest::TestTable("cli/quoting.txt", 3)) {
        SCOPED_TRACE(row.m_trace);
        EXPECT_EQ(VexoGeoCli::QuoteText(row[0], std::stoul(row[1])), row[2]);
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
