"""Geocoding, WMS and the XML files through loopback servers and the repository's documents."""

import json

import pytest

import vexogeo
from conftest import REPOSITORY

PLACE = {"lat": "52.5170365", "lon": "13.3888599", "display_name": "Berlin, Deutschland",
         "boundingbox": ["52.3382448", "52.6755087", "13.0883450", "13.7611609"],
         "class": "boundary", "type": "administrative", "importance": 0.8875,
         "osm_type": "relation", "osm_id": 62422}
BERLIN = vexogeo.Place("Berlin, Deutschland", 52.5170365, 13.3888599,
                       (52.3382448, 52.6755087, 13.088345, 13.7611609), "boundary",
                       "administrative", 0.8875, "relation", 62422)


def test_geocoding_through_a_loopback_fake(serve):
    base, seen = serve({
        "/search": (200, "application/json", json.dumps([PLACE]).encode()),
        "/reverse": (200, "application/json", json.dumps(PLACE).encode()),
    })
    geocoder = vexogeo.Geocoder(base + "/search", use_cache=False, language="de")
    assert geocoder.search("Berlin") == [BERLIN]
    assert geocoder.search({"city": "Berlin", "country": "de"}) == [BERLIN]
    assert geocoder.reverse(13.3888599, 52.5170365, zoom=10) == BERLIN
    assert repr(BERLIN).startswith("Place(display_name='Berlin, Deutschland', latitude=52.51")
    assert [p.split("?")[0] for p in seen] == ["/search", "/search", "/reverse"]
    assert "q=Berlin" in seen[0] and "city=Berlin" in seen[1] and "zoom=10" in seen[2]
    for call in (lambda: geocoder.search(""), lambda: geocoder.reverse(0, 0, zoom=19),
                 lambda: vexogeo.Geocoder(limit=0), lambda: geocoder.search({"planet": "x"})):
        with pytest.raises(ValueError):
            call()


def test_missing_members_are_none_and_broken_text_is_repaired(serve):
    body = (b'[{"lat":"1","lon":"2","boundingbox":["0","1","2","3"],'
            b'"display_name":"A\\ud800B \xe9 \xc3\xa9"}]')
    base, _ = serve({"/search": (200, "application/json", body)})
    place, = vexogeo.Geocoder(base + "/search", use_cache=False).search("x")
    assert place.display_name == "A\ufffdB \ufffd \xe9"
    assert (place.importance, place.osm_type, place.osm_id) == (None, None, None)


@pytest.mark.parametrize("status,body,kind", [
    (429, b"slow down", "rate_limited"),
    (500, b"broken", "http_status"),
    (200, b"<html>no</html>", "not_nominatim"),
])
def test_geocoding_errors_carry_the_server_answer(serve, status, body, kind):
    base, _ = serve({"/search": (status, "text/html", body)})
    with pytest.raises(vexogeo.GeocodingError) as raised:
        vexogeo.Geocoder(base + "/search", use_cache=False).search("x")
    assert raised.value.kind == kind
    assert raised.value.status == (status if status != 200 else 0)
    assert isinstance(raised.value, vexogeo.Error)


def capabilities_document(name):
    return (REPOSITORY / "fuzz" / "corpus" / "wms_capabilities" / name).read_bytes()


def test_capabilities_from_bytes_a_server_and_a_file(serve):
    document = capabilities_document("mapserver_130.xml")
    caps = vexogeo.wms.capabilities(document)
    base, _ = serve({"/wms": (200, "text/xml", document)})
    served = vexogeo.wms.capabilities(base + "/wms")
    assert caps.version == served.version == "1.3.0"
    assert caps.get_map_formats == served.get_map_formats
    named = sorted(caps.contents)
    assert named and named == sorted(served.contents)
    layer = caps[named[0]]
    assert layer.name == named[0] and repr(layer).startswith("Layer(name=")
    assert vexogeo.wms.capabilities(
        REPOSITORY / "tests" / "data" / "wms_capabilities" / "older_111.xml").version == "1.1.1"
    with pytest.raises(vexogeo.WmsError) as raised:
        vexogeo.wms.capabilities(capabilities_document("exception.xml"))
    assert raised.value.kind == "invalid_document"
    with pytest.raises(KeyError):
        caps["no such layer"]


def test_get_map_bytes_file_and_service_exception(serve, tmp_path):
    png = b"\x89PNG\r\n\x1a\n" + bytes(range(256))
    report = (b'<?xml version="1.0"?><ServiceExceptionReport version="1.3.0"><ServiceException '
              b'code="LayerNotDefined">no layer</ServiceException></ServiceExceptionReport>')
    base, seen = serve({"/map": (200, "image/png", png),
                        "/bad": (200, "application/vnd.ogc.se_xml", report)})
    options = dict(layers=["a", "b"], crs="EPSG:4326", bbox=(5, 45, 15, 55), size=(64, 32))
    assert vexogeo.wms.get_map(base + "/map", **options) == png
    assert "BBOX=45,5,55,15" in seen[-1] and "LAYERS=a,b" in seen[-1]
    assert vexogeo.wms.get_map(base + "/map", out=tmp_path / "m.png", **options) is None
    assert (tmp_path / "m.png").read_bytes() == png
    with pytest.raises(vexogeo.WmsError) as raised:
        vexogeo.wms.get_map(base + "/bad", **options)
    assert (raised.value.kind, raised.value.code) == ("service_exception", "LayerNotDefined")
    for box in ((0, 0, 1), (float("nan"), 0, 1, 1), (0, 0, float("inf"), 1)):
        with pytest.raises(ValueError):
            vexogeo.wms.get_map(base + "/map", layers="a", crs="EPSG:4326", bbox=box,
                                size=(1, 1))


@pytest.mark.parametrize("crs,bbox,sent", [
    ("EPSG:3857", (-0.7, 0, 0.4, 1), "BBOX=-0.7,0,0.4,1&"),
    ("EPSG:4326", (0.1, -0.7, 0.3, 0.4), "BBOX=-0.7,0.1,0.4,0.3&"),
    ("EPSG:3857", (1e-7, 2.675, 123456.789, 2.6750000000000003), "BBOX=0.0000001,2.675,123456.789,"
                                                                 "2.6750000000000003&"),
])
def test_get_map_sends_the_box_digits_given(serve, crs, bbox, sent):
    base, seen = serve({"/map": (200, "image/png", b"\x89PNG\r\n\x1a\n")})
    options = dict(layers="a", crs=crs, bbox=bbox, size=(8, 8))
    assert sent in vexogeo.wms.get_map_url(base + "/map", **options) + "&"
    vexogeo.wms.get_map(base + "/map", **options)
    assert sent in seen[-1] + "&"


def test_xml_files(tmp_path):
    srids = vexogeo.xml.load_named_srids(REPOSITORY / "data" / "named_srids.xml")
    assert srids[0].authority == "EPSG" and srids[0].code == 4326 and srids[0].name
    assert srids[0].to_crs().name == "WGS 84"
    assert vexogeo.xml.load_named_wms(REPOSITORY / "data" / "named_wms.xml")[0].wms.address
    wms = vexogeo.xml.load_wms(REPOSITORY / "data" / "wms.xml")
    assert wms == vexogeo.xml.Wms("https://sgx.geodatenzentrum.de/wms_topplus_open", "web",
                                  "default", "1.3.0")
    vexogeo.xml.save_wms(wms, tmp_path / "copy.xml")
    assert vexogeo.xml.load_wms(tmp_path / "copy.xml") == wms
    for call in (lambda: vexogeo.xml.load_wms(tmp_path / "missing.xml"),
                 lambda: vexogeo.xml.save_wms(wms, tmp_path / "no" / "folder.xml"),
                 lambda: vexogeo.xml.load_named_srids(REPOSITORY / "data" / "wms.xml")):
        with pytest.raises(vexogeo.XmlFileError):
            call()
