"""WMS: capabilities documents read into a model, and GetMap requests.

    caps = vexogeo.wms.capabilities("https://example.org/wms")   # or the document's bytes
    caps["roads"].title, caps.contents.keys(), caps.get_map_formats
    png = vexogeo.wms.get_map(caps.get_map_url, layers="roads", crs="EPSG:4326",
                              bbox=(5, 45, 15, 55), size=(512, 512))
"""

from __future__ import annotations

import math
import os
from typing import Optional, Sequence, Tuple, Union

from . import _vexogeo

Capabilities = _vexogeo.WmsCapabilities
Layer = _vexogeo.WmsLayer
Style = _vexogeo.WmsStyle
LegendUrl = _vexogeo.WmsLegendUrl
BoundingBox = _vexogeo.WmsBoundingBox
GeographicBox = _vexogeo.WmsGeographicBox

_FIELDS = {
    Capabilities: ("version", "title", "get_map_url", "layers"),
    Layer: ("name", "title", "crs", "geographic_box", "children"),
    Style: ("name", "title"),
    LegendUrl: ("format", "href", "width", "height"),
    BoundingBox: ("crs", "minx", "miny", "maxx", "maxy"),
    GeographicBox: ("west", "south", "east", "north"),
}


def _repr(self) -> str:
    fields = ", ".join(f"{f}={getattr(self, f)!r}" for f in _FIELDS[type(self)])
    return f"{type(self).__name__.replace('Wms', '')}({fields})"


for _type in _FIELDS:
    _type.__repr__ = _repr


def _walk(layers):
    for layer in layers:
        yield layer
        yield from _walk(layer.children)


def _contents(self) -> dict:
    """Every named layer of the tree by name (OWSLib's `contents`)."""
    return {layer.name: layer for layer in _walk(self.layers) if layer.name is not None}


def _getitem(self, name: str) -> Layer:
    layer = self.contents.get(name)
    if layer is None:
        raise KeyError(name)
    return layer


Capabilities.contents = property(_contents)
Capabilities.__getitem__ = _getitem
Capabilities.all_layers = property(lambda self: list(_walk(self.layers)),
                                   doc="Every layer of the tree, depth first.")


def capabilities(source: Union[bytes, bytearray, memoryview, str, os.PathLike], *,
                 timeout: float = 60.0, connect_timeout: float = 10.0,
                 max_bytes: int = 64 << 20) -> Capabilities:
    """Reads a capabilities document (WMS 1.1.1 or 1.3.0) from its bytes, from a server (an
    http or https address, asked for version 1.3.0) or from a local file. Raises WmsError:
    kind "invalid_document" for a document that does not read, "service_exception" with the
    server's code, "transfer", "http_status", "too_large" or "file"."""
    if isinstance(source, (bytes, bytearray, memoryview)):
        return _vexogeo.parse_capabilities(bytes(source))
    text = os.fspath(source)
    if not isinstance(text, str):
        raise TypeError("a capabilities source is bytes, an address or a path")
    remote = text.startswith(("http://", "https://"))
    return _vexogeo.fetch_capabilities(text, not remote, float(connect_timeout), float(timeout),
                                       int(max_bytes))


def _request(url: str, layers, crs: str, bbox: Sequence[float], size: Sequence[int],
             format: str, styles, version: str, transparent: bool, bgcolor: Optional[int],
             exceptions: str, time: str):
    def joined(value) -> str:
        return value if isinstance(value, str) else ",".join(value)

    box = tuple(float(v) for v in bbox)
    if len(box) != 4 or not all(math.isfinite(v) for v in box):
        raise ValueError("bbox is (minx, miny, maxx, maxy), four finite numbers")
    width, height = (int(v) for v in size)
    if width <= 0 or height <= 0:
        raise ValueError("size is a positive (width, height) in pixels")
    if bgcolor is not None and not 0 <= bgcolor <= 0xFFFFFF:
        raise ValueError("bgcolor is 0xRRGGBB")
    return _vexogeo.WmsRequest(url, version, joined(layers), joined(styles), crs, box, width,
                               height, format, bool(transparent), bgcolor, exceptions, time)


def get_map_url(url: str, *, layers: Union[str, Sequence[str]], crs: str,
                bbox: Sequence[float], size: Sequence[int], format: str = "image/png",
                styles: Union[str, Sequence[str]] = "", version: str = "1.3.0",
                transparent: bool = False, bgcolor: Optional[int] = None,
                exceptions: str = "", time: str = "") -> str:
    """The GetMap URL. `bbox` is (minx, miny, maxx, maxy) with x easting or longitude whatever
    the version: for 1.3.0 the URL gets the axis order the CRS's authority defines."""
    request = _request(url, layers, crs, bbox, size, format, styles, version, transparent,
                       bgcolor, exceptions, time)
    return request.url()


def get_map(url: str, *, layers: Union[str, Sequence[str]], crs: str, bbox: Sequence[float],
            size: Sequence[int], format: str = "image/png",
            styles: Union[str, Sequence[str]] = "", version: str = "1.3.0",
            transparent: bool = False, bgcolor: Optional[int] = None, exceptions: str = "",
            time: str = "", out: Union[None, str, os.PathLike] = None, timeout: float = 60.0,
            connect_timeout: float = 10.0, max_bytes: int = 64 << 20) -> Optional[bytes]:
    """Fetches a map image: its bytes, or None when `out` names a file, which the image
    replaces only once it is complete. Arguments as for `get_map_url`. Raises WmsError (a
    service exception carries the server's code) and ValueError for bad arguments."""
    request = _request(url, layers, crs, bbox, size, format, styles, version, transparent,
                       bgcolor, exceptions, time)
    path = "" if out is None else os.fspath(out)
    if out is not None and not path:
        raise ValueError("out must name a file")
    return _vexogeo.get_map(request, path, float(connect_timeout), float(timeout), int(max_bytes))


__all__ = ["capabilities", "get_map", "get_map_url", "Capabilities", "Layer", "Style",
           "LegendUrl", "BoundingBox", "GeographicBox"]
