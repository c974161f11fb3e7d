// CCoordinateSystem: a reference-counted handle on one PROJ coordinate reference system.
#ifndef VEXOGEO_CRS_COORDINATE_SYSTEM_H
#define VEXOGEO_CRS_COORDINATE_SYSTEM_H

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include <vexogeo/crs/crs_info.h>
#include <vexogeo/crs/srid.h>
#include <vexogeo/export.h>

namespace Geo {

/// A counted handle on one PROJ object (as a rule a CRS), which it owns outright.
/// Factories return heap handles with count 0: holders `AddRef` and `Release`, and the last
/// `Release` deletes the handle; a handle never shared may simply be deleted.
/// Counts change atomically; every other operation calls PROJ on its default context, so
/// PROJ-calling operations of the library must not run on two threads at once.
class VEXOGEO_API CCoordinateSystem {
  public:
    /// An empty handle, count 0.
    CCoordinateSystem();
    /// Count 0; takes ownership of `raw` (a PJ*, may be null).
    explicit CCoordinateSystem(void *raw);
    /// Destroys the PROJ object held, if any.
    ~CCoordinateSystem();
    CCoordinateSystem(const CCoordinateSystem &) = delete;
    CCoordinateSystem &operator=(const CCoordinateSystem &) = delete;

    /// Adds one reference. @return the new count.
    std::uint32_t AddRef();
    /// Drops one reference; going from 1 to 0 destroys the PROJ object and deletes the handle.
    /// @return the new count (0: the handle is gone and must not be touched).
    std::uint32_t Release();
    /// Destroys the PROJ object held so far, then holds `raw` (may be null; must differ).
    void Attach(void *raw);
    /// @return the PROJ object, now owned by the caller; the handle is left empty.
    void *Detach();
    /// @return the PROJ object (a PJ*, null for an empty handle); the handle keeps ownership.
    void *GetRaw() const;

    /// "EPSG:" + `code` unchanged. @return a new handle (count 0), null if `code` is null or
    /// PROJ rejects the definition.
    static CCoordinateSystem *FromEpsgCode(const char *code);
    /// "ESRI:" + `code` unchanged. @return a new handle (count 0) or null.
    static CCoordinateSystem *FromEsriCode(const char *code);
    /// Any definition `proj_create` accepts (PROJ string with +type=crs, WKT, authority:code).
    /// @return a new handle (count 0) or null.
    static CCoordinateSystem *FromProj4Parameters(const char *definition);
    /// authority + ":" + decimal code. @return a new handle (count 0) or null.
    static CCoordinateSystem *FromSrid(const Srid &srid);

    /// @return true for a geodetic CRS that PROJ classifies neither as geographic nor as
    /// geocentric (PJ_TYPE_GEODETIC_CRS); false for an empty handle.
    bool IsLatLong() const;
    /// @return true for a geocentric CRS; false for an empty handle.
    bool IsGeocent() const;
    /// @return true for a 2-D or 3-D geographic CRS; false for an empty handle.
    bool IsGeographic() const;
    /// Creates a handle on the geodetic CRS this system rests on and stores it through `out`
    /// with count 1, owned by the caller (the old `*out` is overwritten, not released).
    /// @return false, `*out` untouched, for a null `out` or when PROJ finds no geodetic CRS.
    bool GetLatLongCoordinateSystem(CCoordinateSystem **out) const;
    /// Reads the ellipsoid's semi-major and semi-minor axes (metres).
    /// @return false for an empty handle or a system without ellipsoid.
    bool GetSpheroidDefinition(double &semiMajor, double &semiMinor) const;

    /// Reads PROJ's name of the system (UTF-8), e.g. "WGS 84 / UTM zone 33N".
    /// @return false, `name` untouched, for an empty handle or an object without a name.
    bool GetName(std::string &name) const;
    /// @return the kind of system; `CrsKind::Unknown` for an empty handle or a non-CRS object.
    CrsKind GetKind() const;
    /// Reads the system's area of use (for a compound or bound system, its own or else that of
    /// its horizontal part). @return false, `area` untouched, when PROJ knows none.
    bool GetAreaOfUse(AreaOfUse &area) const;
    /// Reads the name of the area of use, also when PROJ knows only the name and no box.
    /// @return false, `name` untouched, when PROJ knows no area or an empty name.
    bool GetAreaOfUseName(std::string &name) const;
    /// Reads the inverse flattening as the ellipsoid defines it (EPSG:31287: 299.1528128
    /// exactly as published; 0 for a sphere defined so), not recomputed from the axes.
    /// @return false, the output untouched, for an empty handle, a system without ellipsoid, or
    /// an ellipsoid defined by its two axes (then `GetFlattening` of the axes is the definition).
    bool GetInverseFlatteningDefinition(double &inverseFlattening) const;
    /// Reads the axes in the system's own order (not the normalized x/y order of a converter);
    /// a compound system lists the axes of its parts in turn.
    /// @return false, `axes` untouched, for an empty handle or a system without axes.
    bool GetAxes(std::vector<CrsAxis> &axes) const;

    /// @return (semiMajor - semiMinor) / semiMajor; 0 for a sphere.
    static double GetFlattening(const double &semiMajor, const double &semiMinor);
    /// @return 1 / flattening; positive infinity for 0.
    static double GetInverseFlattening(const double &flattening);

  private:
    void FreeRaw();

    std::atomic<std::uint32_t> m_cRef;
    void *m_pRaw;
};

} // namespace Geo

#endif
