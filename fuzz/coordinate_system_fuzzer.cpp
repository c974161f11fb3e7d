// Fuzz target: coordinate systems made from arbitrary definition text, then queried and used.
#include <cstdint>
#include <string>

#include <vexogeo/vexogeo.h>

#include <proj.h>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    proj_log_level(nullptr, PJ_LOG_NONE); // PROJ's complaints about rejected text are expected
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size); // stops at a NUL for PROJ
    Geo::CCoordinateSystem *cs = Geo::CCoordinateSystem::FromProj4Parameters(text.c_str());
    if (cs == nullptr)
        return 0;
    cs->AddRef();
    (void)cs->IsLatLong();
    (void)cs->IsGeocent();
    (void)cs->IsGeographic();
    double a = 0, b = 0;
    if (cs->GetSpheroidDefinition(a, b))
        (void)Geo::CCoordinateSystem::GetInverseFlattening(
            Geo::CCoordinateSystem::GetFlattening(a, b));
    // Setting up transformations costs PROJ database queries; do it for a quarter of the inputs
    // so the definition parser, the cheap part, gets most of the executions.
    if (size % 4 == 0) {
        Geo::CGeodesic geodesic(cs);
        double distance = 0;
        (void)geodesic.Inverse(1, 2, 3, 4, distance);
        Geo::CConverter converter(cs, geodesic.GetLatLongCoordinateSystem());
        double x = 10, y = 20, z = 0;
        (void)converter.TransformCoordinate(x, y, z);
        converter.ClearError();
    }
    cs->Release();
    return 0;
}
