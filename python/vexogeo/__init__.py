"""VexoGeo for Python: coordinate systems and transformations, geodesics, geocoding and WMS.

    >>> import vexogeo
    >>> t = vexogeo.Transformer("EPSG:4326", "EPSG:32633")
    >>> t.transform(15.0, 52.0)          # x is longitude or easting, y latitude or northing
    (500000.0, 5761038.2...)

Thread rule: each Transformer and Geodesic owns its PROJ objects, and every object may be used
from any thread. Bulk operations release the GIL. Array transforms and Geodesic.inverse run at
once on several threads (a call that finds PROJ's default context busy takes a lane, a copy of
the operation in a PROJ context of its own), with the bits of one thread; other PROJ work is
serialized by one lock. Processes (multiprocessing, Dask) scale too: CRS, Transformer and
Geodesic pickle by definition.
"""

from __future__ import annotations

import os
from typing import Iterable, NamedTuple, Optional, Sequence, Tuple, Union

import numpy as np

from . import _vexogeo
from ._errors import CRSError, Error, GeocodingError, TransformError, WmsError, XmlFileError


def _proj_data_folder() -> str:
    # PROJ's own variables win, as they do for PROJ's tools and pyproj; the folder found at build
    # time serves otherwise.
    for name in ("PROJ_DATA", "PROJ_LIB"):
        value = os.environ.get(name)
        if value:
            return value.split(os.pathsep)[0]
    return _vexogeo.DEFAULT_PROJ_DATA


_vexogeo.use_proj_search_path(_proj_data_folder())

CRSInput = Union["CRS", str, int]


class Ellipsoid(NamedTuple):
    name: str
    semi_major: float  #: metres
    semi_minor: float  #: metres

    @property
    def inverse_flattening(self) -> float:
        """1 / flattening; infinity for a sphere."""
        f = (self.semi_major - self.semi_minor) / self.semi_major
        return float("inf") if f == 0 else 1 / f


class AreaOfUse(NamedTuple):
    name: str
    west: float  #: degrees; west > east crosses the antimeridian
    south: float
    east: float
    north: float


class Axis(NamedTuple):
    name: str
    abbreviation: str
    direction: str
    unit: str


class CRSInfo(NamedTuple):
    """One system found by `CRS.search`."""

    authority: str
    code: str
    name: str
    kind: str
    deprecated: bool
    area_of_use: Optional[AreaOfUse]

    def to_crs(self) -> "CRS":
        return CRS(f"{self.authority}:{self.code}")


def _area(d) -> Optional[AreaOfUse]:
    return None if d is None else AreaOfUse(d["name"], d["west"], d["south"], d["east"], d["north"])


def _box(at) -> Optional[Tuple[float, float, float, float]]:
    if at is None:
        return None
    values = tuple(float(v) for v in at)
    if len(values) == 2:
        return (values[0], values[1], values[0], values[1])
    if len(values) == 4:
        return values
    raise ValueError("an area is a point (longitude, latitude) or a box (west, south, east, north)")


class CRS:
    """A coordinate reference system, from any definition the library reads: "EPSG:4326", an
    EPSG code as an int, "ESRI:102100", any "authority:code", WKT, or a PROJ string (made a CRS
    when it does not say +type=crs). Raises CRSError when PROJ does not know it."""

    __slots__ = ("_system", "_definition", "_info")

    def __init__(self, definition: CRSInput):
        if isinstance(definition, CRS):
            self._system, self._definition, self._info = (
                definition._system, definition._definition, definition._info)
            return
        if isinstance(definition, (int, np.integer)) and not isinstance(definition, bool):
            text = f"EPSG:{int(definition)}"
        elif isinstance(definition, str):
            text = definition
        else:
            raise TypeError(f"a CRS is made from a str or an int, not {type(definition).__name__}")
        if "\0" in text:
            raise ValueError("a CRS definition must not contain NUL characters")
        self._system = _vexogeo.System(text)
        self._definition = text
        self._info = None

    @classmethod
    def from_epsg(cls, code: Union[int, str]) -> "CRS":
        return cls(f"EPSG:{code}")

    @classmethod
    def from_esri(cls, code: Union[int, str]) -> "CRS":
        return cls(f"ESRI:{code}")

    @classmethod
    def from_user_input(cls, value: CRSInput) -> "CRS":
        return value if isinstance(value, CRS) else cls(value)

    from_string = from_wkt = from_proj4 = from_user_input

    def _read(self) -> dict:
        if self._info is None:
            self._info = self._system.info()
        return self._info

    @property
    def srs(self) -> str:
        """The definition the system was made from."""
        return self._definition

    @property
    def name(self) -> Optional[str]:
        return self._read()["name"]

    @property
    def kind(self) -> str:
        """"geographic 2-D", "geographic 3-D", "geocentric", "geodetic", "projected", "vertical",
        "compound", "engineering", "bound", "temporal", "other" or "unknown"."""
        return self._read()["kind"]

    @property
    def is_geographic(self) -> bool:
        return self.kind.startswith("geographic")

    @property
    def is_projected(self) -> bool:
        return self.kind == "projected"

    @property
    def is_geocentric(self) -> bool:
        return self.kind == "geocentric"

    @property
    def ellipsoid(self) -> Optional[Ellipsoid]:
        e = self._read()["ellipsoid"]
        return None if e is None else Ellipsoid(*e)

    @property
    def datum(self) -> Optional[str]:
        """The name of the datum (or datum ensemble) of the system's geodetic system."""
        return self._read()["datum"]

    @property
    def axes(self) -> list:
        """The axes in the system's own order (EPSG:4326: latitude first)."""
        return [Axis(*a) for a in self._read()["axes"]]

    @property
    def area_of_use(self) -> Optional[AreaOfUse]:
        return _area(self._read()["area_of_use"])

    @property
    def geodetic_crs(self) -> "CRS":
        """The geodetic system this one rests on (for a projected system its base)."""
        crs = CRS.__new__(CRS)
        crs._system = self._system.geodetic()
        crs._definition = crs._system.export(True)
        crs._info = None
        return crs

    def to_wkt(self, version: str = "WKT2_2019") -> Optional[str]:
        """WKT: version "WKT2_2019" (the default), "WKT2_2015", "WKT1_GDAL" or "WKT1_ESRI";
        None when the system has no such form."""
        return self._system.export(True, version)

    def to_proj4(self) -> Optional[str]:
        """The PROJ string; None when the system has none."""
        return self._system.export(False)

    @staticmethod
    def search(text: str = "", kinds: Iterable[str] = (), at=None, authority: str = "",
               include_deprecated: bool = False) -> list:
        """Systems of PROJ's database whose name holds every word of `text`, of one of `kinds`
        ("projected", "geographic" for both 2-D and 3-D, ...), whose area of use holds `at`
        (a point (longitude, latitude) or a box (west, south, east, north), degrees).
        `text` may also be a code or an alias; exact code or name first, then EPSG's current
        systems, then the smaller area of use at `at` (the wider without it), then authority and
        code (docs/crs.md, "Finding a system")."""
        if isinstance(kinds, str):
            kinds = [kinds]
        hits = _vexogeo.search_crs(text, authority, list(kinds), _box(at), include_deprecated)
        return [CRSInfo(a, c, n, k, d, _area(area)) for a, c, n, k, d, area in hits]

    def __reduce__(self):
        return (CRS, (self._definition,))

    def __repr__(self) -> str:
        return f"<CRS {self._definition if len(self._definition) < 60 else '...'}: {self.name}>"

    def __str__(self) -> str:
        return self._definition


class Grid(NamedTuple):
    name: str
    path: str  #: empty when PROJ does not have it
    available: bool


class Operation(NamedTuple):
    """The operation a Transformer uses."""

    name: str
    accuracy: Optional[float]  #: metres; None when unknown
    ballpark: bool  #: True when no datum shift is applied
    grids: list


def _real_scalar(value, name: str) -> float:
    if isinstance(value, (complex, np.complexfloating, str, bytes)):
        raise TypeError(f"{name} must be a real number")
    return float(value)


def _checked(value, name: str) -> np.ndarray:
    array = np.asarray(value)
    if array.dtype.kind not in "fiu":
        raise TypeError(f"{name} must hold real numbers, not {array.dtype}")
    return array


class Transformer:
    """Transforms coordinates from `source` to `target`, in the library's axis order: x is
    longitude or easting, y latitude or northing (pyproj's always_xy=True), geographic values in
    degrees. Failed points become inf, as in pyproj. `area_of_interest` (west, south, east,
    north, degrees) lets PROJ choose the operation for that area; allow_ballpark=False refuses
    transformations without datum shift. `threads` splits large arrays (4096 points or more per
    thread) over that many threads, 0 for the cores available; the result is bit-identical to
    one thread. Raises TransformError when no transformation exists."""

    def __init__(self, source: CRSInput, target: CRSInput, *, allow_ballpark: bool = True,
                 area_of_interest: Optional[Sequence[float]] = None, threads: int = 1):
        self.source_crs = CRS.from_user_input(source)
        self.target_crs = CRS.from_user_input(target)
        self._allow_ballpark = bool(allow_ballpark)
        self._area = None if area_of_interest is None else _box(area_of_interest)
        self._converter = _vexogeo.Converter(self.source_crs._system, self.target_crs._system,
                                             self._allow_ballpark, self._area)
        self._inverse = False
        self._converter.threads = _thread_count(threads)
        if self._converter.bad_area:
            raise ValueError("area_of_interest must be a longitude/latitude box in degrees")
        if not self._converter.has_transformation:
            raise TransformError(
                f"no transformation from {self.source_crs.srs} to {self.target_crs.srs}")

    @classmethod
    def from_crs(cls, source: CRSInput, target: CRSInput, **options) -> "Transformer":
        return cls(source, target, **options)

    @property
    def inverse(self) -> "Transformer":
        """The transformer from target to source on the same operation (not rebuilt)."""
        other = Transformer.__new__(Transformer)
        other.__dict__.update(self.__dict__)
        other.source_crs, other.target_crs = self.target_crs, self.source_crs
        other._inverse = not self._inverse
        return other

    @property
    def operation(self) -> Optional[Operation]:
        """The operation used for the last point transformed in PROJ's default context (see the
        thread rule) when PROJ chose among several by area, otherwise the one it ranks first."""
        op = self._converter.operation()
        if op is None:
            return None
        name, accuracy, ballpark, grids = op
        return Operation(name, None if accuracy < 0 else accuracy, ballpark,
                         [Grid(*g) for g in grids])

    def transform(self, x, y, z=None, *, inplace: bool = False):
        """Transforms scalars or arrays of one shape. Without `inplace` the results are new
        float64 arrays of the inputs' shape (any real dtype is read); with `inplace=True` the
        inputs must be writable float64 arrays and are overwritten and returned.
        @return (x, y) or (x, y, z)."""
        if z is None and type(x) is float and type(y) is float and not inplace:
            return self._converter.point(self._inverse, x, y)
        values = (x, y) if z is None else (x, y, z)
        names = ("x", "y", "z")
        if not inplace and all(np.ndim(v) == 0 for v in values):
            reals = [_real_scalar(v, n) for v, n in zip(values, names)]
            if z is None:
                return self._converter.point(self._inverse, *reals)
            return self._converter.point3(self._inverse, *reals)
        if inplace:
            for v, n in zip(values, names):
                if not isinstance(v, np.ndarray):
                    raise TypeError(f"inplace needs NumPy arrays; {n} is {type(v).__name__}")
                if v.dtype != np.float64:
                    raise TypeError(f"inplace needs float64 arrays; {n} is {v.dtype}")
                if not v.flags.writeable:
                    raise ValueError(f"inplace needs writable arrays; {n} is read-only")
            arrays = list(values)
        else:
            arrays = [np.array(_checked(v, n), dtype=np.float64, order="C", copy=True)
                      for v, n in zip(values, names)]
        shape = arrays[0].shape
        if any(a.shape != shape for a in arrays):
            raise ValueError("x, y and z must have the same shape")
        self._run(arrays)
        return tuple(arrays)

    def _run(self, arrays) -> None:
        # One-dimensional arrays go as they are, strided or not; C-ordered arrays as flat views;
        # anything else through a C-ordered copy written back, so elements pair by index.
        def flat(a):
            if a.ndim == 1 and a.strides[0] >= 0:
                return a
            if a.flags.c_contiguous:
                return a.reshape(-1)
            return None

        columns = [flat(a) for a in arrays]
        if any(c is None for c in columns):
            copies = [np.ascontiguousarray(a).reshape(-1) for a in arrays]
            self._run(copies)
            for a, c in zip(arrays, copies):
                np.copyto(a, c.reshape(a.shape))
            return
        # A point that fails comes back as inf, as PROJ leaves it (and pyproj answers).
        self._converter.transform(self._inverse, *columns, *([None] * (3 - len(columns))))

    def transform_bounds(self, west: float, south: float, east: float, north: float,
                         densify: int = 21) -> Tuple[float, float, float, float]:
        """The smallest box in the target holding the source box's edges, each densified with
        `densify` extra points (x/y in the library's order). A geographic target box that
        crosses the antimeridian has west > east. Raises TransformError when it cannot."""
        if not 0 <= int(densify) <= _MAX_DENSIFY:
            raise ValueError(f"densify must be 0 to {_MAX_DENSIFY}")
        corners = [_real_scalar(v, n) for v, n in
                   zip((west, south, east, north), ("west", "south", "east", "north"))]
        if not all(np.isfinite(corners)):
            raise ValueError("the box must have finite corners")
        box = self._converter.bounds(self._inverse, *corners, int(densify))
        if box is None:
            raise TransformError("the box cannot be transformed")
        return box

    def __reduce__(self):
        return (_transformer, (self.source_crs.srs, self.target_crs.srs, self._allow_ballpark,
                               self._area, self._inverse, self._converter.threads))

    def __repr__(self) -> str:
        return f"<Transformer {self.source_crs.srs} -> {self.target_crs.srs}>"


# Points per edge transform_bounds adds at most: 4 million points in all, about a second.
_MAX_DENSIFY = 1_000_000


def _thread_count(threads) -> int:
    if isinstance(threads, bool) or not isinstance(threads, int) or threads < 0:
        raise ValueError("threads must be a whole number, 0 for the cores available")
    return threads


def _transformer(source, target, allow_ballpark, area, inverse, threads=1) -> Transformer:
    if inverse:
        return Transformer(target, source, allow_ballpark=allow_ballpark, area_of_interest=area,
                           threads=threads).inverse
    return Transformer(source, target, allow_ballpark=allow_ballpark, area_of_interest=area,
                       threads=threads)


def _geodesic(crs, threads=1) -> "Geodesic":
    return Geodesic(crs, threads=threads)


class GeodesicInverse(NamedTuple):
    distance: object  #: metres (float or array)
    azimuth1: object  #: degrees clockwise from north at the first point
    azimuth2: object  #: degrees clockwise from north at the second point (forward azimuth)


class Geodesic:
    """Geodesic measurement on the ellipsoid of `crs` (default WGS 84), with points in that
    system's coordinates: x is longitude or easting, y latitude or northing. `threads` splits
    large `inverse` calls as Transformer's does. Raises CRSError for a system that measures
    nothing (geocentric, engineering, vertical)."""

    def __init__(self, crs: CRSInput = "EPSG:4326", *, threads: int = 1):
        self.crs = CRS.from_user_input(crs)
        self._geodesic = _vexogeo.Geodesic(self.crs._system)
        self._geodesic.threads = _thread_count(threads)
        if not self._geodesic.measurable:
            raise CRSError(f"{self.crs.srs} rests on no ellipsoid with latitude and longitude")

    def inverse(self, x1, y1, x2, y2) -> GeodesicInverse:
        """Distances and azimuths from (x1, y1) to (x2, y2): scalars or arrays that broadcast.
        A pair that cannot be placed on the ellipsoid gets NaN."""
        values = [_checked(v, n) for v, n in zip((x1, y1, x2, y2), ("x1", "y1", "x2", "y2"))]
        arrays = np.broadcast_arrays(*values)
        shape = arrays[0].shape
        columns = [np.ascontiguousarray(a, dtype=np.float64).reshape(-1) for a in arrays]
        out = np.empty((3, columns[0].size))
        self._geodesic.inverse(*columns, out[0], out[1], out[2])
        if not shape:
            return GeodesicInverse(float(out[0, 0]), float(out[1, 0]), float(out[2, 0]))
        return GeodesicInverse(*(o.reshape(shape) for o in out))

    def _vertices(self, x, y):
        xs = np.ascontiguousarray(_checked(x, "x"), dtype=np.float64).reshape(-1)
        ys = np.ascontiguousarray(_checked(y, "y"), dtype=np.float64).reshape(-1)
        if xs.shape != ys.shape:
            raise ValueError("x and y must have the same length")
        return xs, ys

    def line_length(self, x, y) -> float:
        """Length (metres) of the polyline through the vertices. Raises ValueError for fewer
        than two vertices or a vertex that cannot be placed on the ellipsoid."""
        length = self._geodesic.line_length(*self._vertices(x, y))
        if length is None:
            raise ValueError("a line needs two or more vertices, each with a place on the earth")
        return length

    def polygon_area(self, x, y) -> Tuple[float, float]:
        """(area in square metres, positive either way round; perimeter in metres) of the ring
        through the vertices, closed back to the first. Raises ValueError for fewer than three
        vertices or a vertex that cannot be placed on the ellipsoid."""
        result = self._geodesic.polygon_area(*self._vertices(x, y))
        if result is None:
            raise ValueError("a ring needs three or more vertices, each with a place on the earth")
        return result

    def __reduce__(self):
        return (_geodesic, (self.crs.srs, self._geodesic.threads))

    def __repr__(self) -> str:
        return f"<Geodesic on {self.crs.srs}>"


from .geocoding import Geocoder, Place  # noqa: E402
from . import wms, xml  # noqa: E402

__all__ = ["CRS", "CRSInfo", "Transformer", "Geodesic", "GeodesicInverse", "Geocoder", "Place",
           "Ellipsoid", "AreaOfUse", "Axis", "Operation", "Grid", "Error", "CRSError",
           "TransformError", "GeocodingError", "WmsError", "XmlFileError", "wms", "xml"]
