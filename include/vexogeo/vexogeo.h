// Umbrella header: every public header of the library.
#ifndef VEXOGEO_VEXOGEO_H
#define VEXOGEO_VEXOGEO_H

#include <vexogeo/export.h>
#include <vexogeo/crs/bounding_box2.h>
#include <vexogeo/crs/srid.h>
#include <vexogeo/crs/coordinate_system.h>
#include <vexogeo/crs/converter.h>
#include <vexogeo/geodesic/geodesic.h>
#include <vexogeo/wms/wms_url.h>

#endif
