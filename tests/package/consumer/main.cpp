// Uses each class of the public API through the umbrella header only.
#include <vexogeo/vexogeo.h>

#include <cmath>
#include <cstdio>

int main() {
    using namespace Geo;
    CCoordinateSystem* wgs = CCoordinateSystem::FromSrid(Srid("EPSG", 4326));
    CCoordinateSystem* merc = CCoordinateSystem::FromEpsgCode("3857");
    if (wgs == nullptr || merc == nullptr) {
        std::puts("code lookup failed: Resources/Proj missing beside the executable?");
        return 1;
    }
    CConverter converter(wgs, merc);
    double x = 16.3725, y = 48.2082;
    if (!converter.TransformCoordinate(x, y))
        return 2;
    CGeodesic geodesic(wgs);
    double distance = 0;
    if (!geodesic.Inverse(16.3725, 48.2082, 13.0550, 47.8095, distance))
        return 3;
    BoundingBox2<double> box(x, y, 1000, 1000);
    std::printf("%.3f %.3f %.3f %.1f\n", x, y, distance, box.x + box.width - x);
    return std::abs(distance - 250000) < 10000 ? 0 : 4;
}
