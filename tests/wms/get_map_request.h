// The GetMap request the WMS tests start from, and the settings of a request as table text.
#ifndef VEXOGEO_TESTS_WMS_GET_MAP_REQUEST_H
#define VEXOGEO_TESTS_WMS_GET_MAP_REQUEST_H

#include <vexogeo/wms/wms_url.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>

namespace VexoGeoTest {

/// A PNG of `width` x `height` pixels of `layers` over `box`.
inline Geo::CWmsUrl GetMapRequest(const std::string &address, const std::string &version,
                                  const std::string &crs, const BoundingBox2<double> &box,
                                  const std::string &layers, int width, int height) {
    Geo::CWmsUrl url;
    url.SetAddress(address);
    url.SetVersion(version);
    url.SetLayers(layers);
    url.SetCrs(crs);
    url.SetBBox(box);
    url.SetFormat("image/png");
    url.SetWidth(width);
    url.SetHeight(height);
    return url;
}

/// Applies `settings`, "name=value" separated by ';', to `url`: a text member by its lower-case
/// name (sldbody for the SLD body), bbox=x,y,width,height, corners=minX,minY,maxX,maxY,
/// width, height, transparent=0|1, bgcolor in hex; "new" alone starts from a default CWmsUrl.
/// Numbers are read by strtod (so "nan" and "inf" too). Throws for an unknown name.
inline void Apply(Geo::CWmsUrl &url, const std::string &settings) {
    using Geo::CWmsUrl;
    static const std::map<std::string, void (CWmsUrl::*)(std::string)> kTexts = {
        {"address", &CWmsUrl::SetAddress}, {"service", &CWmsUrl::SetService},
        {"version", &CWmsUrl::SetVersion}, {"request", &CWmsUrl::SetRequest},
        {"layers", &CWmsUrl::SetLayers},   {"styles", &CWmsUrl::SetStyles},
        {"format", &CWmsUrl::SetFormat},   {"crs", &CWmsUrl::SetCrs},
        {"time", &CWmsUrl::SetTime},       {"exceptions", &CWmsUrl::SetExceptions},
        {"sld", &CWmsUrl::SetSld},         {"sldbody", &CWmsUrl::SetSldBody}};
    for (std::size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
        end = settings.find(';', start);
        const std::string setting = settings.substr(start, end - start);
        const std::size_t equals = std::min(setting.find('='), setting.size());
        const std::string name = setting.substr(0, equals),
                          value = setting.substr(std::min(equals + 1, setting.size()));
        double n[4] = {};
        char *p = const_cast<char *>(value.c_str());
        for (double &number : n)
            number = std::strtod(p + (*p == ','), &p);
        if (name == "new")
            url = CWmsUrl();
        else if (const auto text = kTexts.find(name); text != kTexts.end())
            (url.*text->second)(value);
        else if (name == "bbox")
            url.SetBBox({n[0], n[1], n[2], n[3]});
        else if (name == "corners")
            url.SetBBoxCorners(n[0], n[1], n[2], n[3]);
        else if (name == "width" || name == "height")
            (url.*(name == "width" ? &CWmsUrl::SetWidth : &CWmsUrl::SetHeight))(std::stoi(value));
        else if (name == "transparent")
            url.SetTransparent(value == "1");
        else if (name == "bgcolor")
            url.SetBgColor(static_cast<std::uint32_t>(std::stoul(value, nullptr, 16)));
        else if (!name.empty())
            throw std::invalid_argument("no setting '" + name + "'");
    }
}

} // namespace VexoGeoTest

#endif
