// vexogeo distance and measure on systems whose angles are not degrees from Greenwich, on systems
// without latitude and longitude, and on points that cannot be placed: '*', a reason, exit 1.
#include "support/subprocess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Outcome {
    int exitCode = -1;
    std::string out, err;
};

Outcome RunTool(const std::string &arguments, const std::string &input) {
    const std::string errPath = "/tmp/vexogeo-geodesic-cli-" + std::to_string(getpid());
    const auto result = VexoGeoTest::RunCommand(
        std::string("PROJ_DEBUG=0 ") + VEXOGEO_CLI_PATH + " " + arguments + " 2>" + errPath, input);
    Outcome outcome{result.exitCode, result.out, ""};
    if (FILE *file = std::fopen(errPath.c_str(), "rb")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
            outcome.err.append(buffer, n);
        std::fclose(file);
    }
    std::remove(errPath.c_str());
    return outcome;
}

const std::string kUnplaced = "a point cannot be placed on the ellipsoid (outside the system's "
                              "domain, or a latitude beyond 90 degrees) of ";
const std::string kVertexUnplaced = "a vertex cannot be placed on the ellipsoid (outside the "
                                    "system's domain, or a latitude beyond 90 degrees) of ";

} // namespace

TEST(CliGeodesic, AnglesInTheSystemsOwnUnitAndFailuresAsStars) {
    // Expected distances: cs2cs EPSG:27572 EPSG:4275 gives 46.8 0 / 47.699553635199 0 from Paris
    // (the same longitude), GeodSolve -i -e 6378249.2 1/293.466021293627 then 100008.146;
    // 52 and 53 grads are 46.8 and 47.7 degrees: 100057.775.
    const struct {
        std::string arguments, input, out;
        int exitCode;
        std::string err;
    } kCases[] = {
        {"distance --crs EPSG:27572 --precision 3 600000 2200000 600000 2300000", "",
         "100008.146\n", 0, ""},
        {"distance --crs EPSG:4807 --precision 3", "0 52 0 53\n0 101 0 50\n1 1 1 1\n",
         "100057.775\n*\n0.000\n", 1,
         "vexogeo: distance: <stdin>:2: " + kUnplaced +
             "EPSG:4807\n"
             "vexogeo: distance: 1 of 3 distances could not be measured\n"},
        {"distance --crs EPSG:4326 0 100 0 0", "", "*\n", 1,
         "vexogeo: distance: " + kUnplaced + "EPSG:4326\n"},
        {"distance --crs EPSG:4978 4000000 1000000 4100000 1000000", "", "", 1,
         "vexogeo: distance: no distance can be measured: neither latitude and longitude nor "
         "projected from them in EPSG:4978\n"},
        {"measure --crs EPSG:27572 --precision 3", "600000 2200000\n600000 2300000\n",
         "vertices: 2\nlength: 100008.146 m\n", 0, ""},
        {"measure --crs EPSG:4326 --polygon", "0 10\n0 100\n1 1\n",
         "vertices: 3\nlength: *\narea: *\nperimeter: *\n", 1,
         "vexogeo: measure: " + kVertexUnplaced + "EPSG:4326\n"},
        {"measure --crs EPSG:4978", "1 2\n3 4\n", "", 1,
         "vexogeo: measure: nothing can be measured: neither latitude and longitude nor "
         "projected from them in EPSG:4978\n"},
    };
    for (const auto &c : kCases) {
        const Outcome outcome = RunTool(c.arguments, c.input);
        EXPECT_EQ(outcome.out, c.out) << c.arguments;
        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.arguments;
        EXPECT_EQ(outcome.err, c.err) << c.arguments;
    }
}
