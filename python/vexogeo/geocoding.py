"""Geocoding: free-text and structured search and reverse geocoding against a Nominatim service.

Every request of the process passes one gate (by default one request per second, as the public
service asks; VEXOGEO_NOMINATIM_REQUESTS_PER_SECOND changes it) and, unless use_cache=False, one
cache in memory and on disk shared by every Geocoder. Results are (c) OpenStreetMap contributors
(ODbL).
"""

from __future__ import annotations

import dataclasses
from typing import Mapping, Optional, Sequence, Tuple, Union

from . import _vexogeo


@dataclasses.dataclass(frozen=True)
class Place:
    """One place of an answer. Texts are the service's (a sequence that is not UTF-8 became
    U+FFFD); members the service did not send are None, never made up."""

    display_name: str
    latitude: float  #: degrees
    longitude: float  #: degrees
    #: south, north, west, east (degrees), in the service's order
    bounding_box: Tuple[float, float, float, float]
    osm_class: str = ""  #: main OSM tag key, e.g. "boundary"; empty when not sent
    osm_type_tag: str = ""  #: main OSM tag value, e.g. "administrative"
    importance: Optional[float] = None  #: the service's ranking, None when not sent
    osm_type: Optional[str] = None  #: "node", "way" or "relation"; None when not sent
    osm_id: Optional[int] = None  #: None when not sent

    @property
    def address(self) -> str:
        """The display name (geopy's name for it)."""
        return self.display_name

    @property
    def point(self) -> Tuple[float, float]:
        """(longitude, latitude), the library's x/y order."""
        return (self.longitude, self.latitude)


_STRUCTURED = ("street", "city", "county", "state", "country", "postal_code")


class Geocoder:
    """A geocoding client. `endpoint` is the search URL (".../search"; reverse requests go to
    ".../reverse"); None takes the configured one ($VEXOGEO_NOMINATIM_URL or the built-in).
    `timeout` bounds a whole request (gate wait included), `connect_timeout` the connection,
    both in seconds. `viewbox` (west, south, east, north) prefers an area, `bounded` keeps
    to it; `limit` is 1 to 50. Bad options raise ValueError. One object may serve several
    threads at once; requests release the GIL."""

    def __init__(self, endpoint: Optional[str] = None, *, timeout: float = 30.0,
                 connect_timeout: float = 5.0, language: str = "",
                 country_codes: Sequence[str] = (), viewbox: Optional[Sequence[float]] = None,
                 bounded: bool = False, limit: int = 10, email: str = "",
                 use_cache: bool = True):
        if isinstance(country_codes, str):
            country_codes = [country_codes]
        box = None if viewbox is None else tuple(float(v) for v in viewbox)
        if box is not None and len(box) != 4:
            raise ValueError("viewbox is (west, south, east, north)")
        self._geocoder = _vexogeo.Geocoder(endpoint or "", float(connect_timeout),
                                           float(timeout), language, list(country_codes), box,
                                           bool(bounded), int(limit), email, bool(use_cache))

    @property
    def endpoint(self) -> str:
        """The search URL in use."""
        return self._geocoder.endpoint

    def search(self, query: Union[str, Mapping[str, str]]) -> list:
        """The places for a free-text `query`, or for a structured one given as a mapping with
        any of street, city, county, state, country, postal_code. An empty list when the service
        found nothing; GeocodingError for a failed request, ValueError for an empty query."""
        if isinstance(query, Mapping):
            unknown = set(query) - set(_STRUCTURED)
            if unknown:
                raise ValueError(f"unknown fields of a structured query: {sorted(unknown)}")
            fields = [str(query.get(k, "")) for k in _STRUCTURED]
            found = self._geocoder.search_structured(*fields)
        elif isinstance(query, str):
            found = self._geocoder.search(query)
        else:
            raise TypeError("a query is a str or a mapping of structured fields")
        return [Place(**p) for p in found]

    def reverse(self, longitude: float, latitude: float, zoom: int = 18) -> Optional[Place]:
        """The place at `longitude`, `latitude` (degrees) at detail `zoom` (0 country to 18
        building); None where the service has none."""
        found = self._geocoder.reverse(float(longitude), float(latitude), int(zoom))
        return None if found is None else Place(**found)

    def cancel(self) -> None:
        """Ends this geocoder's running requests (from any thread); they raise GeocodingError
        with kind "cancelled"."""
        self._geocoder.cancel()

    def __repr__(self) -> str:
        return f"<Geocoder {self.endpoint}>"
