// The capabilities a WMS server offers, written for people (text) and for programs (JSON).
#ifndef VEXOGEO_TOOLS_WMS_CAPABILITIES_OUTPUT_H
#define VEXOGEO_TOOLS_WMS_CAPABILITIES_OUTPUT_H

#include <string>

#include <vexogeo/wms/wms_capabilities.h>

#include "stream.h"

namespace VexoGeoCli {

/// Writes the whole document as one JSON object, layer by layer as it goes: the output's size
/// does not add to the memory held (each layer's effective systems are written from the
/// parent's, not collected per layer). The schema is in docs/wms.md.
void WriteCapabilitiesJson(const Geo::WmsCapabilities &capabilities, COutputBuffer &out);

/// Writes the service and the layer tree for people; a list inherited down the tree is shown
/// once, at the layer that declares it.
void WriteCapabilitiesText(const Geo::WmsCapabilities &capabilities, COutputBuffer &out);

/// Writes the first layer named `name` whole, inherited values included, as text or (`json`)
/// as the object the layer has in `WriteCapabilitiesJson`. @return false when no layer has
/// that name (nothing is written).
bool WriteLayer(const Geo::WmsCapabilities &capabilities, const std::string &name, bool json,
                COutputBuffer &out);

} // namespace VexoGeoCli

#endif
