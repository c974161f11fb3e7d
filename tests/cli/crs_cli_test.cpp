// vexogeo crs, bounds and the transformation options of transform, run as a subprocess.
// Expected numbers come from cs2cs and pyproj's transform_bounds on the same input.
#include "cli_run.h"

#include <gtest/gtest.h>

namespace {

using namespace VexoGeoCliTest;

TEST(CliCrsCatalogue, DescribesAndFindsSystems) {
    const std::string austriaArea =
        "{\"name\": \"Austria.\", \"west\": 9.53, \"south\": 46.4, \"east\": 17.17, "
        "\"north\": 49.02}";
    Check({
        {"crs EPSG:31287", "",
         "system: EPSG:31287\nname: MGI / Austria Lambert\nkind: projected\n"
         "semi-major axis: 6377397.155 m\nsemi-minor axis: 6356078.962818189 m\n"
         "flattening: 0.003342773182174806\ninverse flattening: 299.1528128\n"
         "geodetic system: MGI (geographic 2-D)\narea of use: Austria.\n"
         "area bounds: west 9.53, south 46.4, east 17.17, north 49.02\n"
         "axes: X (Northing, north, metre), Y (Easting, east, metre)\n"},
        {"crs --format json EPSG:31287", "",
         "{\"system\": \"EPSG:31287\", \"name\": \"MGI / Austria Lambert\", \"kind\": "
         "\"projected\", \"ellipsoid\": {\"semi_major_axis\": 6377397.155, \"semi_minor_axis\": "
         "6356078.962818189, \"flattening\": 0.003342773182174806, \"inverse_flattening\": "
         "299.1528128}, \"geodetic_system\": {\"name\": \"MGI\", \"kind\": \"geographic "
         "2-D\"}, \"area_of_use\": " +
             austriaArea +
             ", \"axes\": [{\"name\": \"Northing\", \"abbreviation\": \"X\", \"direction\": "
             "\"north\", \"unit\": \"metre\"}, {\"name\": \"Easting\", \"abbreviation\": \"Y\", "
             "\"direction\": \"east\", \"unit\": \"metre\"}]}\n"},
        // A sphere, and a system without an area of use.
        {"crs '+proj=longlat +R=6371000'", "",
         "system: +proj=longlat +R=6371000\nname: unknown\nkind: geographic 2-D\n"
         "semi-major axis: 6371000 m\nsemi-minor axis: 6371000 m\nflattening: 0\n"
         "inverse flattening: infinite (a sphere)\ngeodetic system: unknown (geographic 2-D)\n"
         "area of use: unknown\naxes: lon (Longitude, east, degree), lat (Latitude, north, "
         "degree)\n"},
        {"crs EPSG:999999", "", "", 1, "vexogeo: crs: unknown coordinate system 'EPSG:999999'\n"},
        {"crs --search 'mgi AUSTRIA lambert' --format json", "",
         "[{\"id\": \"EPSG:31287\", \"kind\": \"projected\", \"name\": \"MGI / Austria Lambert\", "
         "\"deprecated\": false, \"area_of_use\": " +
             austriaArea + "}]\n"},
        // --kind drops the geographic MGI (Ferro), --at the zones of western Austria.
        {"crs --search 'MGI Ferro' --kind projected --at 16.37,48.21 --authority EPSG", "",
         "EPSG:31253  projected  MGI (Ferro) / Austria GK East Zone\n"
         "EPSG:31283  projected  MGI (Ferro) / Austria East Zone\n"
         "EPSG:31290  projected  MGI (Ferro) / Austria zone M34\n"},
        {"crs --search austria --at 0,48.21 --authority EPSG", "", "", 0,
         "vexogeo: crs: no systems found\n"},
        {"crs --search x --at 200,0", "", "", 2,
         "vexogeo: crs: --at: expected 'longitude,latitude' in degrees, not '200,0'\n"},
        {"crs --search x --kind planar", "", "", 2,
         "vexogeo: crs: --kind: unknown kind 'planar'\n"},
        {"crs EPSG:4326 --search x", "", "", 2,
         "vexogeo: crs: name either one system (CRS) or a search (--search TEXT)\n"},
        {"crs", "", "", 2,
         "vexogeo: crs: name either one system (CRS) or a search (--search TEXT)\n"},
        {"crs --format xml EPSG:4326", "", "", 2,
         "vexogeo: crs: --format: expected text or json, not 'xml'\n"},
    });
}

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
    // A failure still explains itself with PROJ's words.
    const Outcome bad = RunTool("crs EPSG:999999", "", "english", "PROJ_DEBUG=1 ");
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.err, "vexogeo: crs: unknown coordinate system 'EPSG:999999'\n"
                       "proj_create: crs not found\n");
    // An area PROJ knows by name only, and a projection without an inverse, for distances.
    Check({
        {"crs EPSG:21817 | grep '^area'", "",
         "area of use: Colombia - offshore west of 78°W of Greenwich.\narea bounds: unknown\n"},
        {"distance --crs '+proj=bacon +type=crs' 1 2 3 4", "", "", 1,
         "vexogeo: distance: no distance can be measured in +proj=bacon +type=crs: PROJ cannot "
         "take its points back to latitude and longitude (the projection has no inverse)\n"},
    });
}

// The operation named for each run of lines is the one PROJ used for those points: the member
// of pyproj's TransformerGroup whose output equals pyproj's Transformer.from_crs(...,
// always_xy=True) bit for bit (PROJ 9.1.1); a ballpark transformation is called one.
TEST(CliCrsCatalogue, ShowOperationNamesTheOperationOfEachRunOfLines) {
    const char *ballpark = "ballpark transformation only (no datum shift): ";
    const struct {
        const char *from, *points, *out, *operations;
    } cases[] = {
        {"EPSG:4267", "-97.5 30.5\n-97.4 30.4\n# Quebec\n-75 45.5\n10 50\nnan nan\n-97.5 30.5\n",
         "-97.500298810142 30.500203137584172\n-97.40029566065942 30.400206295631126\n"
         "# Quebec\n-74.99974205094257 45.50008614724872\n10 50\n* *\n"
         "-97.500298810142 30.500203137584172\n",
         "<stdin>: lines 1-2: NAD27 to WGS 84 (6), accuracy 7 m\n"
         "<stdin>: line 4: NAD27 to WGS 84 (12), accuracy 9 m\n"
         "<stdin>: line 5: @Ballpark geographic offset from NAD27 to WGS 84, accuracy unknown\n"
         "<stdin>: line 6: not transformed\n"
         "<stdin>: line 7: NAD27 to WGS 84 (6), accuracy 7 m\n"},
        {"EPSG:4314", "10 50\n", "9.998811455578892 49.998857302765124\n",
         "<stdin>: line 1: DHDN to WGS 84 (4), accuracy 1 m, grid de_adv_BETA2007.tif\n"},
        {"EPSG:4277", "-2 53\n", "-2.0014488535139985 53.000308022134185\n",
         "<stdin>: line 1: OSGB36 to WGS 84 (6), accuracy 2 m\n"},
        {"EPSG:4230", "3 40\n", "2.998877443823747 39.99883615949878\n",
         "<stdin>: line 1: ED50 to WGS 84 (28), accuracy 1.5 m\n"},
        // Sardinia has a datum shift; the mainland in the same input only a ballpark offset.
        {"EPSG:4806", "-3.5 40\n-3.4 40.1\n10 50\n",
         "8.951991442401122 40.000597414360875\n9.051995699269332 40.10059989961476\n"
         "22.452333333333335 50\n",
         "<stdin>: lines 1-2: Monte Mario (Rome) to Monte Mario (1) + Monte Mario to WGS 84 (1), "
         "accuracy 44 m\n<stdin>: line 3: @Transformation from Monte Mario (Rome) to Monte Mario "
         "(Rome) altered to use prime meridian of WGS 84 + Ballpark geographic offset from Monte "
         "Mario (Rome) altered to use prime meridian of WGS 84 to WGS 84, accuracy unknown\n"},
    };
    for (const auto &c : cases) {
        std::string expected;
        for (const char *p = c.operations; *p != '\0'; ++p) {
            if (p == c.operations || p[-1] == '\n')
                expected += "vexogeo: transform: ";
            expected += *p == '@' ? std::string(ballpark) : std::string(1, *p);
        }
        if (std::string(c.from) == "EPSG:4267")
            expected += "vexogeo: transform: 1 of 6 points could not be transformed\n";
        const Outcome run =
            RunTool(std::string("transform --from ") + c.from + " --to EPSG:4326 --show-operation",
                    c.points);
        EXPECT_EQ(run.exitCode, 0) << c.from;
        EXPECT_EQ(run.out, c.out) << c.from;
        EXPECT_EQ(run.err, expected) << c.from;
    }
    Check({{"transform --from EPSG:4267 --to EPSG:4326 --show-operation", "# none\n", "# none\n", 0,
            "vexogeo: transform: no point was read: no operation was used\n"}});
}

// A box across the antimeridian into geographic targets reached by several operations: pyproj's
// transform_bounds with a transformer that has transformed a point before (PROJ 9.1.1).
TEST(CliCrsCatalogue, BoxesAcrossTheAntimeridianStayAcrossIt) {
    for (const char *target : {"EPSG:4269", "EPSG:4167", "EPSG:4258", "EPSG:4283"}) {
        Check({
            {std::string("bounds --from EPSG:4326 --to ") + target + " -- 170,-50,-170,-30", "",
             "170,-50,-170,-30\n"},
            {std::string("bounds --from EPSG:4326 --to ") + target + " -- 160,10,-150,60", "",
             "160,10,-150,60\n"},
            {std::string("bounds --from EPSG:4326 --to ") + target + " --densify 1 -- 1,2,3,4", "",
             "", 2, "vexogeo: bounds: --densify: a geographic output needs at least 2, not 1\n"},
        });
    }
}

TEST(CliCrsCatalogue, TransformsBoxes) {
    Check({
        // pyproj: Transformer.from_crs(..., always_xy=True).transform_bounds(..., densify_pts=21)
        {"bounds --from EPSG:4326 --to EPSG:32633 12,45,18,55", "",
         "263553.97389879345,4982950.400226552,736446.0261012093,6098907.825129169\n"},
        {"bounds --from EPSG:3857 --to EPSG:4326 19000000,-1e6,21000000,1e6 --format json", "",
         "{\"west\": 170.67990398270908, \"south\": -8.946573850543423, \"east\": "
         "-171.3537903349005, \"north\": 8.946573850543423}\n"},
        {"bounds --from EPSG:4326 --to EPSG:32633 12,45,18", "", "", 2,
         "vexogeo: bounds: expected four numbers 'WEST,SOUTH,EAST,NORTH', not '12,45,18'\n"},
        {"bounds --from EPSG:4326 --to EPSG:4326 1,2,3,4 --densify -1", "", "", 2,
         "vexogeo: bounds: --densify: Value -1 not in range 0 to 10000\n"
         "Run 'vexogeo bounds --help' for more information.\n"},
    });
}

TEST(CliCrsCatalogue, TransformChoosesAndNamesItsOperation) {
    const char *unknownDatum = "'+proj=longlat +ellps=intl +type=crs'";
    Check({
        // cs2cs -f %.15f EPSG:31287 EPSG:4326 on "484000 622000"
        {"transform --from EPSG:31287 --to EPSG:4326 --area 9.5,46.4,17.2,49 --show-operation",
         "622000 484000\n", "16.321458733315016 48.2168735777355\n", 0,
         "vexogeo: transform: <stdin>: line 1: Inverse of Austria Lambert + MGI to WGS 84 (3), "
         "accuracy 1.5 m\n"},
        // cs2cs -f %.3f EPSG:4326 EPSG:31287 on "48.208 16.337"
        {"transform --from EPSG:31287 --to EPSG:4326 --inverse --precision 3", "16.337 48.208\n",
         "623191.832 483058.764\n"},
        {std::string("transform --from EPSG:4326 --to ") + unknownDatum + " --no-ballpark", "1 1\n",
         "", 1,
         "vexogeo: transform: no transformation between the two systems other than a ballpark "
         "one\n"},
        {"transform --from EPSG:4326 --to EPSG:3857 --area 1,2,3", "1 1\n", "", 2,
         "vexogeo: transform: --area: expected four numbers 'WEST,SOUTH,EAST,NORTH', not "
         "'1,2,3'\n"},
        {"transform --from EPSG:4326 --to EPSG:3857 --area 1,20,3,10", "1 1\n", "", 1,
         "vexogeo: transform: the area of interest is not a longitude/latitude box in degrees\n"},
    });
}

} // namespace
