// Fuzz target: CWmsUrl parsing and composition and the coordinate text, on arbitrary bytes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <vexogeo/wms/wms_url.h>

#include "wms/coordinate_text.h"

#include "fuzz_support.h"

namespace {

using VexoGeoFuzz::Check;

// The text must carry the same 15 significant digits as the C library's own conversion.
void CheckCoordinate(double value) {
    const std::string text = Geo::FormatCoordinate(value);
    Check(text.size() < Geo::kCoordinateTextCapacity, "coordinate text length");
    if (std::isfinite(value)) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.14e", value);
        Check(std::strtod(text.c_str(), nullptr) == std::strtod(expected, nullptr),
              "coordinate digits");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string input(reinterpret_cast<const char *>(data), size);

    // Any bytes as a URL, parsed into a filled object, then composed again.
    Geo::CWmsUrl parsed;
    parsed.SetVersion("1.3.0");
    parsed.Parse(input);
    (void)parsed.GetUrl();
    (void)parsed.IsValid();

    // The leading bytes as the four box values.
    double box[4] = {0, 0, 0, 0};
    std::memcpy(box, data, size < sizeof box ? size : sizeof box);
    for (double value : box)
        CheckCoordinate(value);

    // The bytes split at 0x01 into address and the seven texts GetUrl writes; while no text
    // holds "&" (nor the address "?"), parsing the composed URL gives back address and six.
    std::vector<std::string> fields(1);
    for (char c : input) {
        if (c == '\x01')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    fields.resize(8);
    Geo::CWmsUrl source;
    source.SetAddress(fields[0]);
    source.SetService(fields[1]);
    source.SetVersion(fields[2]);
    source.SetRequest(fields[3]);
    source.SetLayers(fields[4]);
    source.SetStyles(fields[5]);
    source.SetFormat(fields[6]);
    source.SetCrs(fields[7]);
    source.SetBBox({box[0], box[1], box[2], box[3]});
    Geo::CWmsUrl target;
    target.Parse(source.GetUrl());
    bool roundTrips = fields[0].find('?') == std::string::npos;
    for (int i = 1; i < 8; ++i)
        roundTrips = roundTrips && fields[i].find('&') == std::string::npos;
    if (roundTrips) {
        Check(target.GetAddress() == fields[0], "address");
        Check(target.GetService() == fields[1], "service");
        Check(target.GetVersion() == fields[2], "version");
        Check(target.GetRequest() == fields[3], "request");
        Check(target.GetLayers() == fields[4], "layers");
        Check(target.GetStyles() == fields[5], "styles");
        Check(target.GetFormat() == fields[6], "format");
        Check(target.GetCrs().empty() && target.GetWidth() == 0, "untouched members");
    }
    return 0;
}
