// The floor of `vexogeo transform` as a program of its own, linked with PROJ alone: what a
// hand-written single-threaded transformer pays from its start (loading PROJ, finding the
// transformation in PROJ's own proj.db) to its last line.
//
//   lean_transform FILE     EPSG:4326 -> EPSG:32633, "x y" lines of FILE to /dev/null
#include "lean_stream.h"

#include <memory>

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fputs("usage: lean_transform FILE\n", stderr);
        return 2;
    }
    const auto destroy = [](PJ *pj) { proj_destroy(pj); };
    const std::unique_ptr<PJ, decltype(destroy)> crsToCrs(
        proj_create_crs_to_crs(nullptr, "EPSG:4326", "EPSG:32633", nullptr), destroy);
    if (!crsToCrs)
        return 1;
    const std::unique_ptr<PJ, decltype(destroy)> pj(
        proj_normalize_for_visualization(nullptr, crsToCrs.get()), destroy);
    std::vector<double> x, y;
    VexoGeoBench::LeanStream(argv[1], "/dev/null", 2,
                             [&](const std::vector<double> &values, std::string &text) {
                                 VexoGeoBench::LeanTransformBlock(pj.get(), values, text, x, y);
                             });
    return 0;
}
