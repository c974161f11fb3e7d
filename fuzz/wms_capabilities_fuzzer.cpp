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

// Inheritance: every system of a layer's parent is also the layer's, and none is listed twice.
void CheckLayers(const std::vector<Geo::WmsLayer> &layers, const Geo::WmsLayer *parent) {
    for (const Geo::WmsLayer &layer : layers) {
        for (std::size_t i = 0; i < layer.crs.size(); ++i)
            Check(std::find(layer.crs.begin() + static_cast<long>(i) + 1, layer.crs.end(),
                            layer.crs[i]) == layer.crs.end(),
                  "system listed twice");
        if (parent) {
            Check(layer.crs.size() >= parent->crs.size(), "systems lost");
            Check(std::equal(parent->crs.begin(), parent->crs.end(), layer.crs.begin()),
                  "inherited systems first");
            Check(layer.styles.size() >= parent->styles.size(), "styles lost");
        }
        CheckLayers(layer.children, &layer);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string input(reinterpret_cast<const char *>(data), size);

    Geo::WmsCapabilities capabilities;
    std::string error;
    if (Geo::ParseWmsCapabilities(input, capabilities, error)) {
        CheckLayers(capabilities.layers, nullptr);
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
