# Types of the extension module; the package's own modules wrap it (use those).
from typing import Any, List, Optional, Tuple

import numpy as np
import numpy.typing as npt

DEFAULT_PROJ_DATA: str

def use_proj_search_path(folder: str) -> None: ...

class System:
    def __init__(self, definition: str) -> None: ...
    def info(self) -> dict: ...
    def export(self, wkt: bool, version: str = ...) -> Optional[str]: ...
    def geodetic(self) -> System: ...

class Converter:
    def __init__(self, source: System, target: System, allow_ballpark: bool,
                 area: Optional[Tuple[float, float, float, float]]) -> None: ...
    bad_area: bool
    has_transformation: bool
    threads: int
    lanes: int  # read-only: lanes made for calls that found PROJ's default context busy
    def transform(self, inverse: bool, x: npt.NDArray[np.float64], y: npt.NDArray[np.float64],
                  z: Optional[npt.NDArray[np.float64]]) -> bool: ...
    def point(self, inverse: bool, x: float, y: float) -> Tuple[float, float]: ...
    def point3(self, inverse: bool, x: float, y: float, z: float) -> Tuple[float, float, float]: ...
    def bounds(self, inverse: bool, west: float, south: float, east: float, north: float,
               densify: int) -> Optional[Tuple[float, float, float, float]]: ...
    def operation(self) -> Optional[Tuple[str, float, bool, List[Tuple[str, str, bool]]]]: ...

def search_crs(text: str, authority: str, kinds: List[str],
               area: Optional[Tuple[float, float, float, float]],
               include_deprecated: bool) -> List[tuple]: ...

class Geodesic:
    def __init__(self, system: System) -> None: ...
    measurable: bool
    threads: int
    lanes: int  # read-only: lanes made for batches that found PROJ's default context busy
    def inverse(self, x1: npt.NDArray[np.float64], y1: npt.NDArray[np.float64],
                x2: npt.NDArray[np.float64], y2: npt.NDArray[np.float64],
                distance: npt.NDArray[np.float64], azimuth1: npt.NDArray[np.float64],
                azimuth2: npt.NDArray[np.float64]) -> int: ...
    def line_length(self, x: npt.NDArray[np.float64], y: npt.NDArray[np.float64]) -> Optional[float]: ...
    def polygon_area(self, x: npt.NDArray[np.float64],
                     y: npt.NDArray[np.float64]) -> Optional[Tuple[float, float]]: ...

class Geocoder:
    def __init__(self, endpoint: str, connect_timeout: float, timeout: float, language: str,
                 country_codes: List[str], viewbox: Optional[Tuple[float, float, float, float]],
                 bounded: bool, limit: int, email: str, use_cache: bool) -> None: ...
    endpoint: str
    def search(self, query: str) -> List[dict]: ...
    def search_structured(self, street: str, city: str, county: str, state: str, country: str,
                          postal_code: str) -> List[dict]: ...
    def reverse(self, longitude: float, latitude: float, zoom: int) -> Optional[dict]: ...
    def cancel(self) -> None: ...

class WmsBoundingBox:
    crs: str
    minx: float
    miny: float
    maxx: float
    maxy: float

class WmsGeographicBox:
    west: float
    south: float
    east: float
    north: float

class WmsLegendUrl:
    format: str
    href: str
    width: int
    height: int

class WmsStyle:
    name: str
    title: str
    abstract: str
    legend_urls: List[WmsLegendUrl]

class WmsLayer:
    name: Optional[str]
    title: str
    abstract: str
    queryable: bool
    crs: List[str]
    geographic_box: Optional[WmsGeographicBox]
    bounding_boxes: List[WmsBoundingBox]
    styles: List[WmsStyle]
    min_scale: Optional[float]
    max_scale: Optional[float]
    children: List[WmsLayer]

class WmsCapabilities:
    version: str
    title: str
    abstract: str
    get_map_url: str
    get_map_formats: List[str]
    exception_formats: List[str]
    layers: List[WmsLayer]
    contents: dict
    all_layers: List[WmsLayer]
    def __getitem__(self, name: str) -> WmsLayer: ...

class WmsRequest:
    def __init__(self, address: str, version: str, layers: str, styles: str, crs: str,
                 bbox: Tuple[float, float, float, float], width: int, height: int, format: str,
                 transparent: bool, bgcolor: Optional[int], exceptions: str, time: str) -> None: ...
    def url(self) -> str: ...

def parse_capabilities(document: bytes) -> WmsCapabilities: ...
def fetch_capabilities(address: str, is_file: bool, connect_timeout: float, timeout: float,
                       max_bytes: int) -> WmsCapabilities: ...
def get_map(request: WmsRequest, path: str, connect_timeout: float, timeout: float,
            max_bytes: int) -> Optional[bytes]: ...
def load_named_srids(path: str) -> List[Tuple[str, str, int]]: ...
def load_named_wms(path: str) -> List[Tuple[str, Tuple[str, str, str, str]]]: ...
def load_wms(path: str) -> Tuple[str, str, str, str]: ...
def save_wms(address: str, layers: str, styles: str, version: str, path: str) -> None: ...
