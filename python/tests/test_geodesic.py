"""Geodesic measurement against pyproj.Geod (PROJ's geodesics, Karney's algorithm)."""

import numpy as np
import pyproj
import pytest

import vexogeo


def test_inverse_agrees_with_pyproj_geod():
    rng = np.random.default_rng(7)
    n = 5000
    lon1, lon2 = rng.uniform(-180, 180, (2, n))
    lat1, lat2 = rng.uniform(-90, 90, (2, n))
    # Near-antipodal and coincident pairs are where solvers part ways first.
    lon2[:10], lat2[:10] = lon1[:10] + 179.9, -lat1[:10]
    lon2[10:20], lat2[10:20] = lon1[10:20], lat1[10:20]
    ours = vexogeo.Geodesic(4326).inverse(lon1, lat1, lon2, lat2)
    # The library measures on the ellipsoid as PROJ describes it, by its two axes: on the same
    # axes pyproj's Geod gives the same bits; WGS 84's defining 1/f differs in the last bit of
    # the flattening, a few nanometres over 20,000 km.
    a, b = vexogeo.CRS(4326).ellipsoid[1:]
    az12, az21, dist = pyproj.Geod(a=a, f=(a - b) / a).inv(lon1, lat1, lon2, lat2)
    np.testing.assert_array_equal(ours.distance, dist)
    np.testing.assert_allclose(
        ours.distance, pyproj.Geod(ellps="WGS84").inv(lon1, lat1, lon2, lat2)[2], rtol=0,
        atol=1e-8)
    moving = dist > 1e-3
    turn = lambda a: (a + 180) % 360 - 180  # noqa: E731
    np.testing.assert_allclose(turn(ours.azimuth1[moving] - az12[moving]), 0, atol=1e-9)
    np.testing.assert_allclose(turn(ours.azimuth2[moving] - az21[moving] - 180), 0, atol=1e-9)


def test_shapes_projected_systems_lines_and_areas():
    g = vexogeo.Geodesic("EPSG:4326")
    # Broadcasting: one point against a grid; scalars give floats.
    grid = g.inverse(0.0, 0.0, np.arange(6.0).reshape(2, 3), 1.0)
    assert grid.distance.shape == (2, 3)
    assert isinstance(g.inverse(0, 0, 1, 1).distance, float)
    # Empty, read-only, float32 and strided inputs.
    empty = g.inverse(np.empty(0), np.empty(0), np.empty((0, 4))[:, 1], np.empty(0))
    assert [a.shape for a in empty] == [(0,)] * 3
    lon = np.arange(8.0)[::2].astype(np.float32)
    lon.flags.writeable = False
    assert list(g.inverse(lon, 0, 0, 0).distance) == [g.inverse(v, 0, 0, 0).distance
                                                      for v in (0, 2, 4, 6)]
    assert np.isnan(g.inverse(0, 0, 0, 91).distance)
    # In UTM the points are transformed first: the same distance as in degrees.
    utm = vexogeo.Transformer(4326, 32633)
    x, y = utm.transform(np.array([14.0, 16.0]), np.array([52.0, 53.0]))
    d = vexogeo.Geodesic(32633).inverse(x[0], y[0], x[1], y[1]).distance
    assert d == pytest.approx(g.inverse(14, 52, 16, 53).distance, abs=1e-6)
    lon, lat = [0, 1, 1, 0], [0, 0, 1, 1]
    geod = pyproj.Geod(ellps="WGS84")
    assert g.line_length(lon, lat) == pytest.approx(geod.line_length(lon, lat), abs=1e-6)
    area, perimeter = g.polygon_area(lon, lat)
    theirs = geod.polygon_area_perimeter(lon, lat)
    assert (area, perimeter) == pytest.approx((abs(theirs[0]), theirs[1]), abs=1e-3)
    for call in (lambda: g.line_length([0], [0]), lambda: g.polygon_area([0, 1], [0, 1]),
                 lambda: g.line_length([0, 1], [0, 95]), lambda: g.inverse([0, 1], 0, [1, 2, 3], 0)):
        with pytest.raises(ValueError):
            call()
    with pytest.raises(vexogeo.CRSError):
        vexogeo.Geodesic("EPSG:5703")
