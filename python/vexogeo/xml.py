"""The library's XML files: lists of named spatial reference systems and of named WMS services
(read), and a WMS description file (read and written). Names are read in the installation's
language. A file that does not read raises XmlFileError; nothing is half-read."""

from __future__ import annotations

import dataclasses
import os
from typing import Union

from . import _vexogeo

PathLike = Union[str, os.PathLike]


@dataclasses.dataclass(frozen=True)
class NamedSrid:
    name: str
    authority: str  #: e.g. "EPSG"
    code: int

    def to_crs(self):
        from . import CRS

        return CRS(f"{self.authority}:{self.code}")


@dataclasses.dataclass(frozen=True)
class Wms:
    """A WMS service description: four texts, unchecked."""

    address: str
    layers: str
    styles: str
    version: str


@dataclasses.dataclass(frozen=True)
class NamedWms:
    name: str
    wms: Wms


def load_named_srids(path: PathLike) -> list:
    """The entries of a named SRID file, in file order."""
    return [NamedSrid(*e) for e in _vexogeo.load_named_srids(os.fspath(path))]


def load_named_wms(path: PathLike) -> list:
    """The entries of a named WMS file, in file order."""
    return [NamedWms(name, Wms(*w)) for name, w in _vexogeo.load_named_wms(os.fspath(path))]


def load_wms(path: PathLike) -> Wms:
    """A WMS description file."""
    return Wms(*_vexogeo.load_wms(os.fspath(path)))


def save_wms(wms: Wms, path: PathLike) -> None:
    """Writes `wms` as an indented UTF-8 description file; the old file is replaced only once
    the new one is complete, and left as it was on failure (XmlFileError)."""
    _vexogeo.save_wms(wms.address, wms.layers, wms.styles, wms.version, os.fspath(path))


__all__ = ["NamedSrid", "Wms", "NamedWms", "load_named_srids", "load_named_wms", "load_wms",
           "save_wms"]
