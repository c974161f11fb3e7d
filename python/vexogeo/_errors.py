"""The exceptions of the vexogeo package: one root, Error, and one class per service."""

from __future__ import annotations

from typing import Optional


class Error(Exception):
    """The root of every error the services raise (bad arguments raise ValueError instead)."""


class CRSError(Error, ValueError):
    """PROJ does not know a coordinate system, or the system lacks what was asked of it."""


class TransformError(Error):
    """No transformation exists between two systems, or a box could not be transformed."""


class GeocodingError(Error):
    """A failed geocoding request.

    kind: "timed_out", "cancelled", "blocked" (403), "rate_limited" (429), "http_status",
    "not_nominatim" (an answer that is no result list) or "transfer" (no connection).
    status: the HTTP status for blocked, rate_limited and http_status, else 0.
    retry_after: the seconds the service asked to wait, or None when it named none.
    """

    def __init__(self, message: str, kind: str, status: int = 0, retry_after: float = -1):
        super().__init__(message)
        self.kind = kind
        self.status = status
        self.retry_after: Optional[float] = None if retry_after < 0 else retry_after

    def __reduce__(self):
        retry = -1 if self.retry_after is None else self.retry_after
        return (type(self), (str(self), self.kind, self.status, retry))


class WmsError(Error):
    """A failed WMS request or an unreadable capabilities document.

    kind: "transfer", "too_large", "http_status", "service_exception", "wrong_content_type",
    "invalid_document" or "file". For a service exception `code` is the server's exception
    code (e.g. "LayerNotDefined", possibly empty) and `text` its text.
    """

    def __init__(self, message: str, kind: str, code: str = "", text: str = ""):
        super().__init__(message)
        self.kind = kind
        self.code = code
        self.text = text

    def __reduce__(self):
        return (type(self), (str(self), self.kind, self.code, self.text))


class XmlFileError(Error):
    """An XML file of the library (named SRIDs, named WMS, WMS description) that does not read
    or cannot be written."""
