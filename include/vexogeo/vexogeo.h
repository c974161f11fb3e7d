// Umbrella header: every public header of the library.
#ifndef VEXOGEO_VEXOGEO_H
#define VEXOGEO_VEXOGEO_H

#include <vexogeo/export.h>
#include <vexogeo/crs/bounding_box2.h>
#include <vexogeo/crs/srid.h>
#include <vexogeo/crs/coordinate_system.h>
#include <vexogeo/crs/crs_info.h>
#include <vexogeo/crs/converter.h>
#include <vexogeo/crs/crs_search.h>
#include <vexogeo/crs/proj_messages.h>
#include <vexogeo/geodesic/geodesic.h>
#include <vexogeo/wms/wms_url.h>
#include <vexogeo/wms/wms_capabilities.h>
#include <vexogeo/wms/wms_client.h>
#include <vexogeo/geocoding/nominatim.h>
#include <vexogeo/geocoding/geocoder.h>
#include <vexogeo/xml/wms.h>
#include <vexogeo/xml/named_srid.h>
#include <vexogeo/xml/named_srid_configuration.h>
#include <vexogeo/xml/named_wms.h>
#include <vexogeo/xml/named_wms_configuration.h>
#include <vexogeo/xml/serializer.h>

#endif
