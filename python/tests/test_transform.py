"""CRS and Transformer against pyproj (the same PROJ underneath, so the same bits), pickling,
Dask, threads and the arrays NumPy users pass."""

import concurrent.futures
import pickle

import numpy as np
import pyproj
import pytest

import vexogeo

# (source, target, x range, y range): pairs of the kinds users transform between.
PAIRS = [
    ("EPSG:4326", "EPSG:32633", (9, 21), (0, 84)),
    ("EPSG:4326", "EPSG:3857", (-180, 180), (-85, 85)),
    ("EPSG:32633", "EPSG:4326", (200e3, 800e3), (1e6, 9e6)),
    ("EPSG:4326", "EPSG:25832", (3, 9), (47, 55)),
    ("EPSG:2056", "EPSG:4326", (2.5e6, 2.8e6), (1.1e6, 1.3e6)),
]


def random_points(x_range, y_range, n=2000, seed=1):
    rng = np.random.default_rng(seed)
    return rng.uniform(*x_range, n), rng.uniform(*y_range, n)


@pytest.mark.parametrize("source,target,xr,yr", PAIRS)
def test_transform_is_bit_identical_to_pyproj(source, target, xr, yr):
    x, y = random_points(xr, yr)
    ours = vexogeo.Transformer(source, target)
    theirs = pyproj.Transformer.from_crs(source, target, always_xy=True)
    ex, ey = theirs.transform(x, y)
    ox, oy = ours.transform(x, y)
    np.testing.assert_array_equal(ox, ex)
    np.testing.assert_array_equal(oy, ey)
    assert ours.transform(float(x[0]), float(y[0])) == (ex[0], ey[0])
    bx, by = ours.inverse.transform(ox, oy)
    px, py = theirs.transform(ex, ey, direction="INVERSE")
    np.testing.assert_array_equal(bx, px)
    np.testing.assert_array_equal(by, py)
    box = (xr[0], yr[0], xr[1], yr[1])
    assert ours.transform_bounds(*box) == theirs.transform_bounds(*box)


def test_crs_properties_and_search():
    utm = vexogeo.CRS(32633)
    assert (utm.name, utm.kind, utm.datum) == ("WGS 84 / UTM zone 33N", "projected",
                                               "World Geodetic System 1984")
    assert utm.ellipsoid == ("WGS 84", 6378137.0, pyproj.CRS(32633).ellipsoid.semi_minor_metre)
    assert [a.direction for a in utm.axes] == ["east", "north"]
    assert utm.area_of_use[1:] == (12.0, 0.0, 18.0, 84.0)
    assert utm.geodetic_crs.name == "WGS 84"
    assert vexogeo.CRS(utm.to_wkt()).name == utm.name
    assert vexogeo.CRS("+proj=utm +zone=33 +datum=WGS84").is_projected
    assert "+proj=utm" in utm.to_proj4()
    hits = vexogeo.CRS.search("UTM zone 33N", kinds="projected", at=(15, 52), authority="EPSG")
    assert hits[0].code == "32633" or "WGS 84 / UTM zone 33N" in [h.name for h in hits]
    assert all(h.kind == "projected" for h in hits)
    with pytest.raises(ValueError):
        vexogeo.CRS.search("x", kinds=["nonsense"])
    for bad in ("EPSG:0", "nonsense", "+proj=nonsense"):
        with pytest.raises(vexogeo.CRSError):
            vexogeo.CRS(bad)
    with pytest.raises(TypeError):
        vexogeo.CRS(4326.0)


def test_pickling_round_trips():
    objects = [vexogeo.CRS("EPSG:3857"), vexogeo.Transformer(4326, 32633).inverse,
               vexogeo.Geodesic("EPSG:32633"),
               vexogeo.Transformer(4326, 3857, area_of_interest=(5, 45, 15, 55))]
    copies = [pickle.loads(pickle.dumps(o)) for o in objects]
    assert copies[0].name == "WGS 84 / Pseudo-Mercator"
    assert copies[1].transform(500000.0, 5761038.0) == objects[1].transform(500000.0, 5761038.0)
    assert copies[2].inverse(0, 0, 3000, 4000).distance == objects[2].inverse(
        0, 0, 3000, 4000).distance
    assert repr(copies[3]) == repr(objects[3])
    error = pickle.loads(pickle.dumps(vexogeo.WmsError("m", "service_exception", "C", "t")))
    assert (str(error), error.kind, error.code, error.text) == ("m", "service_exception", "C", "t")


def test_dask_map_blocks_equals_one_process():
    da = pytest.importorskip("dask.array")
    x, y = random_points((9, 21), (0, 84), n=10000, seed=2)
    t = vexogeo.Transformer(4326, 32633)
    expected = np.stack(t.transform(x, y))
    xy = da.from_array(np.stack([x, y]), chunks=(2, 1000))
    out = xy.map_blocks(lambda b: np.stack(t.transform(b[0], b[1])), dtype=float)
    for scheduler in ("processes", "threads"):
        np.testing.assert_array_equal(out.compute(scheduler=scheduler), expected)


def test_threads_transform_at_once_with_the_bits_of_one_thread():
    # 2056 -> 4326 picks among several operations by area; points outside fail to inf.
    x, y = random_points((2.3e6, 2.9e6), (1.0e6, 1.4e6), n=30000, seed=3)
    x[::101] = np.nan
    shared = vexogeo.Transformer(2056, 4326)
    ex, ey = shared.transform(x, y)
    ix, iy = shared.inverse.transform(ex, ey)
    sx, sy = shared.transform(x[::3], y[::3])
    geodesic = vexogeo.Geodesic(2056)
    distances = geodesic.inverse(x, y, x[::-1], y[::-1])
    placed = ~np.isnan(x)
    length = geodesic.line_length(x[placed], y[placed])
    ring = geodesic.polygon_area(x[placed], y[placed])

    def strided_in_place(t):
        # Every other element of a doubled array: a column with a 16-byte stride.
        bx, by = x.repeat(2)[::2], y.repeat(2)[::2]
        t.transform(bx, by, inplace=True)
        return bx, by

    def interleaved_in_place(t):
        # The two columns of an (n, 2) array share their memory, element by element apart.
        xy = np.stack([x, y], axis=1)
        t.transform(xy[:, 0], xy[:, 1], inplace=True)
        return xy[:, 0], xy[:, 1]

    tasks = [
        (lambda t: t.transform(x, y), (ex, ey)),
        (interleaved_in_place, (ex, ey)),
        (lambda t: t.inverse.transform(ex, ey), (ix, iy)),
        (lambda t: t.transform(x[::3], y[::3]), (sx, sy)),
        (strided_in_place, (ex, ey)),
    ]
    # One of them also splits each call over threads of the library's own.
    separate = [vexogeo.Transformer(2056, 4326, threads=t) for t in (1, 2, 1)]
    jobs = [(task, want, shared if i % 2 else separate[i % 3])
            for i, (task, want) in enumerate(tasks * 8)]
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        results = list(pool.map(lambda job: (job[0](job[2]), job[1]), jobs))
        measured = list(pool.map(lambda _: geodesic.inverse(x, y, x[::-1], y[::-1]), range(12)))
        lengths = list(pool.map(lambda _: geodesic.line_length(x[placed], y[placed]), range(12)))
        rings = list(pool.map(lambda _: geodesic.polygon_area(x[placed], y[placed]), range(12)))
    for got, want in results:
        np.testing.assert_array_equal(got[0], want[0])
        np.testing.assert_array_equal(got[1], want[1])
    for got in measured:
        for a, b in zip(got, distances):
            np.testing.assert_array_equal(a, b)
    assert lengths == [length] * 12 and rings == [ring] * 12
    # Calls that found the default context busy ran on lanes of their own.
    assert shared._converter.lanes > 0 and geodesic._geodesic.lanes > 0


def test_arrays_of_every_shape_and_kind():
    t = vexogeo.Transformer(4326, 32633)
    x, y = random_points((9, 21), (0, 84), n=24, seed=4)
    ex, ey = t.transform(x, y)
    grid = x.reshape(4, 6), y.reshape(4, 6)
    # Non-contiguous, transposed, read-only, float32 and list inputs give the float64 answer.
    cases = [
        (grid, (ex.reshape(4, 6), ey.reshape(4, 6))),
        ((grid[0].T, grid[1].T), (ex.reshape(4, 6).T, ey.reshape(4, 6).T)),
        ((x[::2], y[::2]), (ex[::2], ey[::2])),
        ((x.astype(np.float32), y.astype(np.float32)),
         t.transform(x.astype(np.float32).astype(float), y.astype(np.float32).astype(float))),
        ((list(x), list(y)), (ex, ey)),
        ((np.empty(0), np.empty(0)), (np.empty(0), np.empty(0))),
    ]
    readonly = x.copy(), y.copy()
    for a in readonly:
        a.flags.writeable = False
    cases.append((readonly, (ex, ey)))
    for inputs, (wx, wy) in cases:
        rx, ry = t.transform(*inputs)
        np.testing.assert_array_equal(rx, wx)
        np.testing.assert_array_equal(ry, wy)
    # In place, also through strided and Fortran-ordered views.
    for make in (lambda a: a.copy(), lambda a: a.repeat(2)[::2],
                 lambda a: np.asfortranarray(a.reshape(4, 6))):
        ix, iy = make(x), make(y)
        rx, ry = t.transform(ix, iy, inplace=True)
        assert rx is ix and ry is iy
        np.testing.assert_array_equal(ix.reshape(-1, order="A" if ix.ndim == 1 else "C"),
                                      make(ex).reshape(-1))
    # NaN in, NaN or inf out, as pyproj answers.
    nan = t.transform(np.array([np.nan, 15.0]), np.array([52.0, np.nan]))
    theirs = pyproj.Transformer.from_crs(4326, 32633, always_xy=True).transform(
        np.array([np.nan, 15.0]), np.array([52.0, np.nan]))
    np.testing.assert_array_equal(nan, theirs)
    # 3-D scalars.
    assert t.transform(15.0, 52.0, 100.0)[2] == 100.0
    errors = [
        (TypeError, lambda: t.transform(x.astype(np.float32), y.astype(np.float32),
                                        inplace=True)),
        (ValueError, lambda: t.transform(readonly[0], readonly[1], inplace=True)),
        (TypeError, lambda: t.transform(list(x), list(y), inplace=True)),
        (ValueError, lambda: t.transform(x, y[:5])),
        (TypeError, lambda: t.transform(np.array(["a"]), np.array(["b"]))),
        (TypeError, lambda: t.transform(1j, 2.0)),
        (ValueError, lambda: t.transform_bounds(0, 0, 1, 1, densify=-1)),
        (ValueError, lambda: t.transform_bounds(0, 0, 1, 1, densify=2**31 - 1)),
        (ValueError, lambda: t.transform_bounds(np.nan, 0, 1, 1)),
        (ValueError, lambda: t.transform_bounds(0, 0, np.inf, 1)),
        (vexogeo.TransformError, lambda: vexogeo.Transformer(4326, "EPSG:5703",
                                                             allow_ballpark=False)),
        (ValueError, lambda: vexogeo.Transformer(4326, 3857, area_of_interest=(0, 0, 1))),
    ]
    for error, call in errors:
        with pytest.raises(error):
            call()


def test_operation_used():
    op = vexogeo.Transformer(4326, 32633).operation
    assert op == ("axis order change (2D) + UTM zone 33N", 0.0, False, [])


def test_library_threads_give_the_bits_of_one_thread():
    rng = np.random.default_rng(7)
    n = 40_000
    lon, lat = rng.uniform(-200, 200, n), rng.uniform(-95, 95, n)
    lon[::97] = np.nan
    one = vexogeo.Transformer("EPSG:4326", "EPSG:32633").transform(lon, lat)
    many = vexogeo.Transformer("EPSG:4326", "EPSG:32633", threads=3)
    for a, b in zip(one, many.transform(lon, lat)):
        np.testing.assert_array_equal(a, b)
    again = pickle.loads(pickle.dumps(many))
    assert again._converter.threads == 3
    for a, b in zip(one, again.transform(lon, lat)):
        np.testing.assert_array_equal(a, b)

    lon2, lat2 = rng.uniform(-180, 180, n), rng.uniform(-90, 90, n)
    single = vexogeo.Geodesic().inverse(lon, lat, lon2, lat2)
    split = pickle.loads(pickle.dumps(vexogeo.Geodesic(threads=2)))
    assert split._geodesic.threads == 2
    for a, b in zip(single, split.inverse(lon, lat, lon2, lat2)):
        np.testing.assert_array_equal(a, b)
    for bad in (-1, 1.5, True):
        with pytest.raises(ValueError):
            vexogeo.Transformer("EPSG:4326", "EPSG:32633", threads=bad)
