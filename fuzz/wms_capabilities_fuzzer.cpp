// Fuzz target: capabilities reading and the standard GetMap request parser on arbitrary bytes.
#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>

#include <vexogeo/wms/wms_capabilities.h>
#include <vexogeo/wms/wms_url.h>

#include "fuzz_support.h"

namespace {

using VexoGeoFuzz::Check;

// A layer declares no system twice; its effective systems start with its parent's, and every
// inherited list keeps at least what the parent has.
void CheckLayers(const Geo::WmsCapabilities &capabilities) {
    Geo::ForEachWmsLayer(capabilities, [](const Geo::WmsLayerPath &path) {
        const std::vector<std::string> &own = path.back()->crs;
        for (std::size_t i = 0; i < own.size(); ++i)
            Check(std::find(own.begin() + static_cast<long>(i) + 1, own.end(), own[i]) == own.end(),
                  "system listed twice");
        const std::vector<std::string> crs = Geo::EffectiveWmsCrs(path);
        if (path.size() < 2)
            return;
        const Geo::WmsLayerPath parent(path.begin(), path.end() - 1);
        const std::vector<std::string> inherited = Geo::EffectiveWmsCrs(parent);
        Check(crs.size() >= inherited.size() &&
                  std::equal(inherited.begin(), inherited.end(), crs.begin()),
              "inherited systems first");
        Check(Geo::EffectiveWmsStyles(path).size() >= Geo::EffectiveWmsStyles(parent).size(),
              "styles lost");
        Check(Geo::EffectiveWmsDimensions(path).size() >=
                  Geo::EffectiveWmsDimensions(parent).size(),
              "dimensions lost");
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string input(reinterpret_cast<const char *>(data), size);

    Geo::WmsCapabilities capabilities;
    std::string error;
    if (Geo::ParseWmsCapabilities(input, capabilities, error)) {
        CheckLayers(capabilities);
        for (const auto &entry : Geo::FlattenWmsLayers(capabilities))
            Check(entry.second >= 0 && entry.first != nullptr, "flattened layer");
    } else {
        Check(!error.empty(), "a refusal says why");
    }

    // The same bytes as a request URL: what reads composes to a URL that reads back the same.
    Geo::CWmsUrl url;
    try {
        if (url.ParseRequestUrl(input)) {
            const std::string composed = url.GetRequestUrl();
            Geo::CWmsUrl again;
            Check(again.ParseRequestUrl(composed), "composed URL reads");
            Check(again.GetRequestUrl() == composed, "request round trip");
        }
    } catch (const std::invalid_argument &) {
        // A 1.3.0 box in a system whose axis order is unknown.
    }
    return 0;
}
