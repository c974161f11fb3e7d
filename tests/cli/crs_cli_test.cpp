// vexogeo crs with PROJ's error log switched on (its exact outputs are in cases/crs.txt).
#include "cli_run.h"

#include <gtest/gtest.h>

namespace {

using namespace VexoGeoCliTest;

// PROJ's messages are kept by the library: a description that succeeds writes nothing on
// standard error for any kind of system, even with PROJ's error log switched on.
TEST(CliCrsCatalogue, SuccessfulDescriptionsWriteNothingOnStandardError) {
    const char *const systems[] = {
        "EPSG:4326",  "EPSG:4979",  "EPSG:4978", "EPSG:32633", "EPSG:5703",
        "EPSG:5556",  "EPSG:21817", "EPSG:4807", "EPSG:3857",  "ESRI:54030",
        "'+proj=longlat +ellps=GRS80 +towgs84=1,2,3 +type=crs'", "'+proj=bacon +type=crs'"};
    for (const char *system : systems) {
        for (const char *format : {"text", "json"}) {
            const Outcome run = RunTool(std::string("crs --format ") + format + " " + system, "",
                                        "english", "PROJ_DEBUG=1 ");
            EXPECT_EQ(run.exitCode, 0) << system;
            EXPECT_EQ(run.err, "") << system << " " << format;
        }
    }
}

} // namespace
