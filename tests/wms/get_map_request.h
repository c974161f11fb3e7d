// The GetMap request the WMS tests start from.
#ifndef VEXOGEO_TESTS_WMS_GET_MAP_REQUEST_H
#define VEXOGEO_TESTS_WMS_GET_MAP_REQUEST_H

#include <vexogeo/wms/wms_url.h>

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

} // namespace VexoGeoTest

#endif
