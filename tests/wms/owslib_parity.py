#!/usr/bin/python3
"""Reads every capabilities document of tests/data/wms (written for this project) and of
tests/data/wms/corpus (real documents from other projects' test suites, listed in
tests/data/wms/README.md) with `vexogeo wms capabilities --format json` and with OWSLib, and
compares them field by field where OWSLib reads the field.

Where WMS makes a field inherited and OWSLib reads it from each layer's own element, ours is
compared with OWSLib's reading of the nearest layer that declares it (NOT_INHERITED_BY_OWSLIB).
Any other difference passes only where a rule in RULES explains it, each rule checked on the
document itself. Documents the tool refuses on purpose are listed in REFUSED with the reason its
message must give. Any other difference fails, and so do a rule or a correction that no document
needs any more and a copied document missing from the README. Exits 77 (skipped) without OWSLib.

    owslib_parity.py TOOL DATA_DIR
"""
import json
import pathlib
import subprocess
import sys
import warnings
import xml.etree.ElementTree as ElementTree

try:
    from owslib.wms import WebMapService
    from owslib.crs import Crs
    from owslib.map.wms130 import SCALEDENOM_TO_RESOLUTION
except ImportError:
    print("OWSLib is not installed: skipped")
    sys.exit(77)

# Documents refused on purpose: the part of the tool's message that gives the reason.
REFUSED = {
    "wms_100.xml": "WMS version 1.0.0 is not supported",
    # Both 1.0.x samples declare a parameter entity in their DTD, which the parser refuses first.
    "corpus/mapproxy_capabilities_1_0_0.xml": "the document declares an entity, which is refused",
    "corpus/mapproxy_capabilities_1_0_7.xml": "the document declares an entity, which is refused",
}


def local(tag):
    return tag.rsplit("}", 1)[-1] if isinstance(tag, str) else ""


def children(elem, name):
    return [child for child in elem if local(child.tag) == name]


def text_of(elem, name):
    found = children(elem, name)
    return (found[0].text or "").strip() if found else None


def ours(tool, path):
    run = subprocess.run([tool, "wms", "capabilities", str(path), "--format", "json"],
                         capture_output=True)
    if run.returncode != 0:
        return None, run.stderr.decode("utf-8", "replace").strip()
    return json.loads(run.stdout), ""


# --- Layer fields: what we write, what OWSLib reads, and for the inherited ones whether a layer
# element declares the field itself. ---------------------------------------------------------

def scale_130(layer):
    lo, hi = layer["min_scale_denominator"], layer["max_scale_denominator"]
    if lo is None and hi is None:
        return None
    # OWSLib turns denominators into resolutions, 0 for a missing one.
    return (round((lo or 0) * SCALEDENOM_TO_RESOLUTION, 9),
            round((hi or 0) * SCALEDENOM_TO_RESOLUTION, 9))


def their_scale(cm, version):
    hint = cm.scaleHint
    if not hint:
        return None
    if version == "1.3.0":
        return (round(hint["min"], 9), round(hint["max"], 9))
    return (float(hint["min"]), float(hint["max"]))


def my_attribution(layer):
    a = layer["attribution"]
    if not a:
        return None
    out = {"title": a["title"], "url": a["href"] or None}
    if a["logo"]:
        out["logo_url"] = a["logo"]["href"]
        out["logo_size"] = (a["logo"]["width"], a["logo"]["height"])
    return out


def their_attribution(cm, version):
    a = getattr(cm, "attribution", None)
    if not a:
        return None
    out = {"title": a.get("title"), "url": a.get("url")}
    if "logo_url" in a:
        out["logo_url"] = a["logo_url"]
        out["logo_size"] = a["logo_size"]
    return out


def my_dimensions(layer):
    return {d["name"]: (d["units"], d["default"], [v.strip() for v in d["values"].split(",")]
                        if d["values"] else None) for d in layer["dimensions"]}


def their_dimensions(cm, version):
    return {n: (d.get("units", ""), d.get("default", "") or "",
                [v.strip() for v in d["values"]] if d["values"] else None)
            for n, d in cm.dimensions.items()}


def my_styles(layer):
    out = {}
    for s in layer["style_details"]:
        legend = s["legend_urls"][0] if s["legend_urls"] else None
        out[s["name"]] = (s["title"], legend and legend["href"])
    return out


def their_styles(cm, version):
    return {n: (s["title"], s.get("legend")) for n, s in cm.styles.items()}


def my_legend_details(layer):
    # OWSLib 1.3.0 keeps the first LegendURL's format and size as texts, absent when not given.
    out = {}
    for s in layer["style_details"]:
        if s["legend_urls"]:
            legend = s["legend_urls"][0]
            out[s["name"]] = (legend["format"] or None, str(legend["width"] or "") or None,
                              str(legend["height"] or "") or None)
    return out


def their_legend_details(cm, version):
    return {n: (s.get("legend_format"), s.get("legend_width"), s.get("legend_height"))
            for n, s in cm.styles.items() if "legend" in s}


def my_time(layer):
    for d in layer["dimensions"]:
        if d["name"].lower() == "time" and d["values"]:
            return (d["values"].split(","), d["default"] or None)
    return None


def their_time(cm, version):
    if cm.timepositions is None:
        return None
    return ([t.strip() for t in cm.timepositions] if version == "1.3.0" else cm.timepositions,
            cm.defaulttimeposition)


def my_first_box(layer, cm):
    # OWSLib 1.1.1 keeps the first box a layer declares, else its parent's; ours are the layer's
    # effective boxes, so its box must be one of them.
    box = cm.boundingBox
    if box is None:
        return None
    for b in layer["bounding_boxes"]:
        if b["crs"] == box[4]:
            return (b["minx"], b["miny"], b["maxx"], b["maxy"], b["crs"])
    return "none for " + str(box[4])


# field: (ours, theirs, declared by the element itself or None when the field is not inherited,
#         versions or None for all)
LAYER_FIELDS = {
    "title": (lambda l: l["title"], lambda cm, v: cm.title, None, None),
    "abstract": (lambda l: l["abstract"] or None, lambda cm, v: cm.abstract, None, None),
    "keywords": (lambda l: l["keywords"], lambda cm, v: [k for k in cm.keywords if k],
                 None, None),
    "queryable": (lambda l: int(l["queryable"]), lambda cm, v: cm.queryable,
                  lambda e: "queryable" in e.attrib, None),
    "opaque": (lambda l: int(l["opaque"]), lambda cm, v: cm.opaque,
               lambda e: "opaque" in e.attrib, None),
    "no_subsets": (lambda l: int(l["no_subsets"]), lambda cm, v: cm.noSubsets,
                   lambda e: "noSubsets" in e.attrib, None),
    "cascaded": (lambda l: l["cascaded"], lambda cm, v: cm.cascaded,
                 lambda e: "cascaded" in e.attrib, None),
    "fixed_width": (lambda l: l["fixed_width"], lambda cm, v: cm.fixedWidth,
                    lambda e: "fixedWidth" in e.attrib, None),
    "fixed_height": (lambda l: l["fixed_height"], lambda cm, v: cm.fixedHeight,
                     lambda e: "fixedHeight" in e.attrib, None),
    "crs": (lambda l: sorted(l["crs"]), lambda cm, v: sorted(cm.crsOptions), None, None),
    "wgs84_bbox": (lambda l: tuple(l["wgs84_bbox"]) if l["wgs84_bbox"] else None,
                   lambda cm, v: cm.boundingBoxWGS84, None, None),
    "styles": (my_styles, their_styles, None, None),
    "legend details": (my_legend_details, their_legend_details, None, ("1.3.0",)),
    "metadata_urls": (lambda l: [(m["type"], m["format"], m["href"]) for m in l["metadata_urls"]],
                      lambda cm, v: [(m["type"], m["format"], m["url"]) for m in cm.metadataUrls],
                      None, None),
    "attribution": (my_attribution, their_attribution,
                    lambda e: bool(children(e, "Attribution")), None),
    "scale": (scale_130, their_scale,
              lambda e: bool(children(e, "MinScaleDenominator") or
                             children(e, "MaxScaleDenominator")), ("1.3.0",)),
    "scale hint": (lambda l: l["scale_hint"] and (l["scale_hint"]["min"], l["scale_hint"]["max"]),
                   their_scale, lambda e: bool(children(e, "ScaleHint")), ("1.1.0", "1.1.1")),
    "dimensions": (my_dimensions, their_dimensions, None, ("1.3.0",)),
    "time": (my_time, their_time, lambda e: any(
        (c.get("name") or "").lower() == "time" for c in children(e, "Dimension") +
        children(e, "Extent")), None),
}


# --- What OWSLib gets wrong, and how its reading is corrected or the difference excused. -------

# Fields WMS makes inherited (1.1.1 and 1.3.0 alike) that OWSLib reads from each layer's own
# element only. They are compared with OWSLib's reading of the nearest layer that declares them
# (its own list merged down the path for dimensions), so that a reader of ours that forgot to
# inherit fails too.
LAYER_ATTRIBUTES = ("queryable", "opaque", "no_subsets", "cascaded", "fixed_width", "fixed_height")
NOT_INHERITED_BY_OWSLIB = {
    **{field: "OWSLib reads the layer attributes (queryable, opaque, ...) of the layer itself only"
       for field in LAYER_ATTRIBUTES},
    "attribution": "OWSLib does not inherit Attribution",
    "scale": "OWSLib 1.3.0 does not inherit Min/MaxScaleDenominator",
    "scale hint": "OWSLib 1.1.1 does not inherit ScaleHint",
    "time": "OWSLib does not inherit a time Dimension or Extent",
    "dimensions": "OWSLib 1.3.0 lists the layer's own Dimension elements only",
}


def inherited(field, theirs_of, version, elem_path, cm_path):
    """OWSLib's value of the layer, or of the nearest ancestor that declares the field."""
    if field == "dimensions":
        merged = {}
        for cm in cm_path:
            merged.update(theirs_of(cm, version))
        return merged
    declared = LAYER_FIELDS[field][2]
    for elem, cm in zip(reversed(elem_path), reversed(cm_path)):
        if declared(elem):
            return theirs_of(cm, version)
    return theirs_of(cm_path[-1], version)


# Other differences OWSLib alone causes: each rule excuses one, after checking its cause on the
# document, and says why in one line.
def contact_email_namespace(diff):
    """OWSLib 1.3.0 looks for ContactElectronicMailAddress outside the WMS namespace."""
    return (diff["field"] == "contact.email" and diff["version"] == "1.3.0" and
            diff["theirs"] is None and diff["mine"] == diff["raw"])


def style_title_from_name(diff):
    """A Style without Title gets its Name as title in OWSLib; ours stays empty."""
    if diff["field"] != "styles" or set(diff["mine"]) != set(diff["theirs"]):
        return False
    for name, (title, legend) in diff["mine"].items():
        their_title, their_legend = diff["theirs"][name]
        if legend != their_legend or (title != their_title and (title, their_title) != ("", name)):
            return False
    return True


def style_title_blanks(diff):
    """OWSLib 1.1.1 keeps the blanks around a Style Title; ours is trimmed like every text."""
    if diff["field"] != "styles" or set(diff["mine"]) != set(diff["theirs"]):
        return False
    return all(legend == diff["theirs"][name][1] and title == diff["theirs"][name][0].strip()
               for name, (title, legend) in diff["mine"].items())


def empty_dimension(diff):
    """OWSLib 1.3.0 fails on a Dimension element without values (`<Dimension name=... />`)."""
    return (diff["field"] == "OWSLib reads" and "no attribute 'strip'" in diff["theirs"] and
            any(local(e.tag) == "Dimension" and not (e.text or "").strip()
                for e in diff["root"].iter()))


RULES = [contact_email_namespace, style_title_from_name, style_title_blanks, empty_dimension]


# --- The comparison. ----------------------------------------------------------------------------

def compare(name, mine, theirs, root, report, corrections):
    version = mine["version"]
    base = {"document": name, "version": version, "root": root, "elem": None, "elem_path": [],
            "cm_path": [], "raw": None}

    def check(layer_name, field, a, b, **context):
        if a != b:
            report(dict(base, layer=layer_name, field=field, mine=a, theirs=b, **context))

    service = theirs.identification
    check("", "service.name", mine["service"]["name"] or None, service.type)
    check("", "service.title", mine["service"]["title"], service.title)
    check("", "service.abstract", mine["service"]["abstract"] or None, service.abstract)
    check("", "service.keywords", mine["service"]["keywords"], list(service.keywords))
    check("", "service.fees", mine["service"]["fees"] or None, service.fees)
    check("", "service.access", mine["service"]["access_constraints"] or None,
          service.accessconstraints)
    check("", "service.online_resource", mine["service"]["online_resource"] or None,
          theirs.provider.url or None)
    check("", "exceptions", mine["exception_formats"], list(theirs.exceptions))
    contact, my_contact = theirs.provider.contact, mine["service"]["contact"]
    check("", "contact given", my_contact is not None, contact is not None)
    if contact is not None and my_contact:
        service_elem = next(e for e in root if local(e.tag) == "Service")
        info = children(service_elem, "ContactInformation")[0]
        for field, key, attr in (("person", "person", "name"),
                                 ("organization", "organization", "organization"),
                                 ("position", "position", "position"),
                                 ("address", "address", "address"), ("city", "city", "city"),
                                 ("region", "state_or_province", "region"),
                                 ("postcode", "post_code", "postcode"),
                                 ("country", "country", "country"), ("email", "email", "email")):
            check("", "contact." + field, my_contact[key] or None,
                  (getattr(contact, attr) or "").strip() or None,
                  raw=text_of(info, "ContactElectronicMailAddress"))
    operations = {o["name"].split(":")[-1]: o for o in mine["operations"]}
    for operation in theirs.operations:
        op = operations.get(operation.name)
        urls = {m["type"].lower(): m["url"] for m in reversed(operation.methods)}
        check("", f"operation.{operation.name}",
              (op["formats"], op["get_url"], op["post_url"]) if op else None,
              ([f.strip() for f in operation.formatOptions], urls.get("get", ""),
               urls.get("post", "")))

    # Our layers are written depth first, as the Layer elements stand in the document.
    parents = {}
    for parent in root.iter():
        for child in parent:
            parents[child] = parent
    elements = [e for e in root.iter() if local(e.tag) == "Layer"]
    if len(elements) != len(mine["layers"]):
        check("", "layer count", len(mine["layers"]), len(elements))
        return
    names = [layer["name"] for layer in mine["layers"]]
    check("", "layer names", sorted({n for n in names if n}), sorted(theirs.contents))
    for index, (layer, elem) in enumerate(zip(mine["layers"], elements)):
        if not layer["name"] or names.count(layer["name"]) != 1:
            continue
        cm = theirs.contents.get(layer["name"])
        if cm is None:
            continue
        elem_path, cm_path, e, c = [], [], elem, cm
        while e is not None and local(e.tag) == "Layer":
            elem_path.insert(0, e)
            cm_path.insert(0, c)
            e, c = parents.get(e), getattr(c, "parent", None)
        context = {"elem": elem, "elem_path": elem_path, "cm_path": cm_path}
        parent = mine["layers"][layer["parent"]] if layer["parent"] is not None else None
        their_parent = cm.parent
        check(layer["name"], "parent", parent and (parent["name"], parent["title"]),
              their_parent and (their_parent.name, their_parent.title), **context)
        for field, (mine_of, theirs_of, _, versions) in LAYER_FIELDS.items():
            if versions is not None and version not in versions:
                continue
            value = theirs_of(cm, version)
            if field in NOT_INHERITED_BY_OWSLIB:
                corrected = inherited(field, theirs_of, version, elem_path, cm_path)
                if corrected != value:
                    corrections.add(field)
                    value = corrected
            check(layer["name"], field, mine_of(layer), value, **context)
        if version == "1.3.0":
            # OWSLib gives each layer's own boxes, x/y in easting/northing order.
            boxes = {b["crs"]: b for b in layer["bounding_boxes"]}
            for *values, crs in cm.crs_list:
                b = boxes.get(crs)
                got = None
                if b:
                    got = (b["minx"], b["miny"], b["maxx"], b["maxy"])
                    if Crs(crs).axisorder == "yx":
                        got = (got[1], got[0], got[3], got[2])
                check(layer["name"], f"box {crs}", got, tuple(values), **context)
            # Boxes are inherited, one of the same CRS replacing the ancestor's: OWSLib's own
            # lists merged down the path must give our whole list.
            merged = {}
            for ancestor in cm_path:
                merged.update({crs: tuple(values) for *values, crs in ancestor.crs_list})
            effective = {}
            for b in layer["bounding_boxes"]:
                got = (b["minx"], b["miny"], b["maxx"], b["maxy"])
                if Crs(b["crs"]).axisorder == "yx":
                    got = (got[1], got[0], got[3], got[2])
                effective[b["crs"]] = got
            check(layer["name"], "effective boxes", effective, merged, **context)
        else:
            box = cm.boundingBox
            check(layer["name"], "first box", my_first_box(layer, cm), box and tuple(box),
                  **context)


def main():
    tool, data = sys.argv[1], pathlib.Path(sys.argv[2])
    documents = sorted(data.glob("*.xml")) + sorted((data / "corpus").glob("*.xml"))
    failures, used, corrections, corrections_by_document = [], set(), set(), []
    # Every copied document names its source and licence in the README.
    listed = (data / "README.md").read_text(encoding="utf-8")
    failures += [f"UNLISTED corpus/{path.name}: not in tests/data/wms/README.md"
                 for path in documents if path.parent.name == "corpus" and
                 f"`{path.name}`" not in listed]
    agreeing = exact = compared = 0

    for path in documents:
        name = path.relative_to(data).as_posix()
        mine, error = ours(tool, path)
        if name in REFUSED:
            if mine is not None or REFUSED[name] not in error:
                failures.append(f"REFUSAL {name}: expected \"{REFUSED[name]}\", got {error!r}")
            else:
                print(f"refused {name}: {error}")
            continue
        if mine is None:
            failures.append(f"UNREAD {name}: {error}")
            continue
        compared += 1
        raw = path.read_bytes()
        root = ElementTree.fromstring(raw)
        differences, before = [], len(corrections_by_document)
        try:
            with warnings.catch_warnings():
                warnings.simplefilter("ignore")
                # OWSLib has no 1.1.0 reader; its 1.1.1 one reads the same structure.
                theirs = WebMapService("http://localhost/wms", xml=raw,
                                       version="1.1.1" if mine["version"] == "1.1.0"
                                       else mine["version"])
        except Exception as failure:
            differences.append({"document": name, "version": mine["version"], "root": root,
                                "elem": None, "elem_path": [], "cm_path": [], "layer": "",
                                "field": "OWSLib reads", "mine": "read",
                                "theirs": f"{type(failure).__name__}: {failure}"})
        else:
            corrected = set()
            compare(name, mine, theirs, root, differences.append, corrected)
            corrections |= corrected
            if corrected:
                corrections_by_document.append(name)
        if not differences:
            agreeing += 1
            exact += len(corrections_by_document) == before
        for diff in differences:
            rule = next((r for r in RULES if r(diff)), None)
            where = f"{diff['document']} [{diff['layer']}] {diff['field']}"
            if rule is None:
                failures.append(f"DIFFERS {where}:\n  vexogeo {diff['mine']!r}\n"
                                f"  OWSLib  {diff['theirs']!r}")
            else:
                used.add(rule)
                print(f"known   {where}: {' '.join(rule.__doc__.split())}")
    for rule in RULES:
        if rule not in used:
            failures.append(f"STALE   rule {rule.__name__}: no document needs it any more")
    for why in dict.fromkeys(NOT_INHERITED_BY_OWSLIB.values()):
        if any(NOT_INHERITED_BY_OWSLIB[field] == why for field in corrections):
            print(f"inherited: {why}")
        else:
            failures.append(f"STALE   \"{why}\": no document needs OWSLib's value corrected")
    for failure in failures:
        print(failure)
    print(f"{compared} documents compared: {exact} agree with OWSLib in every field, "
          f"{agreeing} once its missing inheritance is made up for; "
          f"{len(REFUSED)} refused on purpose; {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
