#!/usr/bin/env python3
"""Prints, for every EPSG projected and geographic system pyproj knows, the code and whether a
WMS 1.3.0 box in it is written northing first: "4326 N", "3857 E", "3413 E". The answer comes
from pyproj's reading of the system's first axis, its name and abbreviation: a northing,
southing or latitude comes first. Systems with fewer than two axes are left out. Exits with 3
when pyproj is missing, so the caller can skip."""
import sys

try:
    import pyproj
    from pyproj.database import query_crs_info
    from pyproj.enums import PJType
except ImportError:
    sys.exit(3)

NORTHING_NAMES = ("northing", "southing", "geodetic latitude", "latitude", "geocentric latitude")
NORTHING_ABBREVIATIONS = ("n", "s", "lat", "φ")


def northing_first(axis):
    name = axis.name.lower()
    if name in NORTHING_NAMES:
        return True
    if name in ("easting", "westing", "geodetic longitude", "longitude"):
        return False
    # A name that says nothing: the abbreviation, then where the axis points.
    if axis.abbrev.lower() in NORTHING_ABBREVIATIONS:
        return True
    return axis.direction.lower() in ("north", "south")


def main():
    kinds = [PJType.PROJECTED_CRS, PJType.GEOGRAPHIC_2D_CRS, PJType.GEOGRAPHIC_3D_CRS]
    out = []
    for info in query_crs_info(auth_name="EPSG", pj_types=kinds, allow_deprecated=True):
        try:
            axes = pyproj.CRS.from_authority("EPSG", info.code).axis_info
        except pyproj.exceptions.CRSError:
            continue
        if len(axes) < 2:
            continue
        out.append("%s %s\n" % (info.code, "N" if northing_first(axes[0]) else "E"))
    sys.stdout.write("".join(out))


main()
