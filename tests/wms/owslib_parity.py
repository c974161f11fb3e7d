#!/usr/bin/python3
"""Reads every capabilities document of tests/data/wms with `vexogeo wms capabilities --format
json` and with OWSLib, and compares them field by field where OWSLib reads the field. The
differences that are OWSLib's own faults are listed in KNOWN with the reason; any other
difference, or a known one that no longer shows, fails. Exits 77 (skipped) without OWSLib.

    owslib_parity.py TOOL DATA_DIR
"""
import json
import pathlib
import subprocess
import sys

try:
    from owslib.wms import WebMapService
    from owslib.crs import Crs
except ImportError:
    print("OWSLib is not installed: skipped")
    sys.exit(77)

# (document, layer, field): why OWSLib's reading is wrong there.
KNOWN = {
    ("geoserver_style_130.xml", "roads", "queryable"):
        "OWSLib does not inherit queryable (1.3.0 makes it inheritable)",
    ("geoserver_style_130.xml", "roads", "attribution"):
        "OWSLib does not inherit Attribution",
    ("geoserver_style_130.xml", "railways", "attribution"):
        "OWSLib does not inherit Attribution",
    ("geoserver_style_130.xml", "roads", "scale"):
        "OWSLib does not inherit Min/MaxScaleDenominator",
    ("geoserver_style_130.xml", "landuse_2024", "queryable"):
        "OWSLib does not inherit queryable (1.3.0 makes it inheritable)",
    ("geoserver_style_130.xml", "landuse_2024", "dimensions"):
        "OWSLib does not inherit Dimension elements (elevation comes from landuse)",
    ("geoserver_style_130.xml", "", "contact.email"):
        "OWSLib 1.3.0 looks for ContactElectronicMailAddress outside the WMS namespace",
    ("geoserver_style_130.xml", "landuse_2024", "opaque"):
        "OWSLib does not inherit opaque (1.3.0 makes it inheritable)",
    ("mapserver_style_111.xml", "lakes", "scale"):
        "OWSLib 1.1.1 does not inherit ScaleHint",
    ("mapserver_style_111.xml", "wells", "scale"):
        "OWSLib 1.1.1 does not inherit ScaleHint",
    ("mapserver_style_111.xml", "lakes", "attribution"):
        "OWSLib does not inherit Attribution",
    ("mapserver_style_111.xml", "streams", "attribution"):
        "OWSLib does not inherit Attribution",
    ("mapserver_style_111.xml", "wells", "attribution"):
        "OWSLib does not inherit Attribution",
    ("qgis_style_130.xml", "orthophoto", "scale"): "",
}
# Documents with a byte-order mark or in UTF-16 read as their plain twin does.
for twin in ("qgis_style_130_utf16.xml",):
    for (document, layer, field), why in list(KNOWN.items()):
        if document == "qgis_style_130.xml":
            KNOWN[(twin, layer, field)] = why
KNOWN = {key: why for key, why in KNOWN.items() if why}

# OWSLib's own factor from a scale denominator to metres per pixel diagonal.
from owslib.map.wms130 import SCALEDENOM_TO_RESOLUTION


def ours(tool, path):
    out = subprocess.run([tool, "wms", "capabilities", str(path), "--format", "json"],
                         check=True, capture_output=True).stdout
    return json.loads(out)


def compare(name, mine, theirs, found):
    """Records (field, mine, theirs) for each difference."""
    service = theirs.identification
    checks = [
        ("service.title", mine["service"]["title"], service.title),
        ("service.abstract", mine["service"]["abstract"] or None, service.abstract),
        ("service.keywords", mine["service"]["keywords"], list(service.keywords)),
        ("service.fees", mine["service"]["fees"] or None, service.fees),
        ("service.access", mine["service"]["access_constraints"] or None,
         service.accessconstraints),
        ("exceptions", mine["exception_formats"], list(theirs.exceptions)),
    ]
    contact = theirs.provider.contact
    if contact is not None and mine["service"]["contact"]:
        checks += [("contact.name", mine["service"]["contact"]["person"] or None, contact.name),
                   ("contact.email", mine["service"]["contact"]["email"] or None, contact.email)]
    operations = {o["name"].split(":")[-1]: o for o in mine["operations"]}
    for operation in theirs.operations:
        op = operations.get(operation.name)
        get = [m["url"] for m in operation.methods if m["type"].lower() == "get"]
        checks.append((f"operation.{operation.name}",
                       (op["formats"], op["get_url"]) if op else None,
                       (list(operation.formatOptions), get[0] if get else "")))
    for field, a, b in checks:
        if a != b:
            found[(name, "", field)] = (a, b)

    layers = {layer["name"]: layer for layer in mine["layers"] if layer["name"]}
    if set(layers) != set(theirs.contents):
        found[(name, "", "layer names")] = (sorted(layers), sorted(theirs.contents))
    for layer_name, their in theirs.contents.items():
        layer = layers.get(layer_name)
        if layer is None:
            continue
        fields = [
            ("title", layer["title"], their.title),
            ("abstract", layer["abstract"] or None, their.abstract),
            ("keywords", layer["keywords"], [k for k in their.keywords if k]),
            ("queryable", int(layer["queryable"]), their.queryable),
            ("crs", sorted(layer["crs"]), sorted(their.crsOptions)),
            ("wgs84_bbox", tuple(layer["wgs84_bbox"]) if layer["wgs84_bbox"] else None,
             their.boundingBoxWGS84),
            ("styles", {s["name"]: s["title"] for s in layer["style_details"]},
             {n: s["title"] for n, s in their.styles.items()}),
            ("legends", {s["name"]: s["legend_urls"][0]["href"] for s in layer["style_details"]
                         if s["legend_urls"]},
             {n: s["legend"] for n, s in their.styles.items() if "legend" in s}),
            ("metadata_urls", [(m["type"], m["format"], m["href"]) for m in layer["metadata_urls"]],
             [(m["type"], m["format"], m["url"]) for m in their.metadataUrls]),
        ]
        if mine["version"] == "1.3.0":
            fields += [("opaque", int(layer["opaque"]), their.opaque),
                       ("cascaded", layer["cascaded"], their.cascaded),
                       ("fixed", (layer["fixed_width"], layer["fixed_height"]),
                        (their.fixedWidth, their.fixedHeight))]
            # OWSLib turns denominators into resolutions; only a layer's own are read.
            lo, hi = layer["min_scale_denominator"], layer["max_scale_denominator"]
            hint = None if lo is None and hi is None else {
                "min": (lo or 0) * SCALEDENOM_TO_RESOLUTION,
                "max": (hi or 0) * SCALEDENOM_TO_RESOLUTION}
            fields.append(("scale", hint, their.scaleHint))
            dims = {d["name"]: (d["units"], d["default"], d["values"].split(",") if d["values"]
                                else None) for d in layer["dimensions"]}
            their_dims = {n: (d.get("units", ""), d.get("default", ""), d["values"])
                          for n, d in their.dimensions.items()}
            fields.append(("dimensions", dims, their_dims))
            # OWSLib gives each layer's own boxes, x/y in easting/northing order.
            boxes = {b["crs"]: b for b in layer["bounding_boxes"]}
            for *values, crs in their.crs_list:
                b = boxes.get(crs)
                got = None
                if b:
                    got = (b["minx"], b["miny"], b["maxx"], b["maxy"])
                    if Crs(crs).axisorder == "yx":
                        got = (got[1], got[0], got[3], got[2])
                fields.append((f"box {crs}", got, tuple(values)))
        else:
            hint = layer["scale_hint"]
            fields.append(("scale", hint and {"min": hint["min"], "max": hint["max"]},
                           their.scaleHint and {k: float(v) for k, v in their.scaleHint.items()}))
        attribution = layer["attribution"]
        mine_attr = None
        if attribution:
            mine_attr = {"title": attribution["title"], "url": attribution["href"]}
            if attribution["logo"]:
                mine_attr["logo_url"] = attribution["logo"]["href"]
        their_attr = getattr(their, "attribution", None)
        if their_attr:
            their_attr = {k: v for k, v in their_attr.items() if k != "logo_size"}
        fields.append(("attribution", mine_attr, their_attr or None))
        for field, a, b in fields:
            if isinstance(a, float) or isinstance(b, dict) and b and "min" in b:
                close = a is not None and b is not None and all(
                    abs(a[k] - b[k]) <= 1e-9 * max(1, abs(b[k])) for k in ("min", "max"))
                if close:
                    continue
            if a != b:
                found[(name, layer_name, field)] = (a, b)


def main():
    tool, data = sys.argv[1], pathlib.Path(sys.argv[2])
    found = {}
    documents = sorted(p for p in data.glob("*.xml") if p.name != "wms_100.xml")
    for path in documents:
        mine = ours(tool, path)
        theirs = WebMapService("http://localhost/wms", version=mine["version"],
                               xml=path.read_bytes())
        compare(path.name, mine, theirs, found)
    failed = False
    for key, (a, b) in sorted(found.items()):
        if key in KNOWN:
            print(f"known  {key}: {KNOWN[key]}")
        else:
            failed = True
            print(f"DIFFERS {key}:\n  vexogeo {a!r}\n  OWSLib  {b!r}")
    for key in sorted(set(KNOWN) - set(found)):
        failed = True
        print(f"STALE  {key}: listed as OWSLib's fault but both agree now")
    print(f"{len(documents)} documents compared")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
