// CWmsUrl: the parameters of one WMS GetMap request, composed into a URL and parsed from one.
#ifndef VEXOGEO_WMS_WMS_URL_H
#define VEXOGEO_WMS_WMS_URL_H

#include <cstdint>
#include <string>

#include <vexogeo/crs/bounding_box2.h>
#include <vexogeo/export.h>

namespace Geo {

/// A plain value holding the service address and the query parameters of a GetMap request.
/// Texts are 8-bit text in the process code page and are stored, written and read back exactly
/// as given: nothing is trimmed, escaped, decoded or case-folded. Owns all its members by value.
/// No internal locking: one object must not be changed while another thread reads it.
class VEXOGEO_API CWmsUrl {
  public:
    /// Every text empty, box (0, 0, 1, 1), width and height 0, transparent false, bgcolor 0;
    /// such an object is not valid.
    CWmsUrl();
    /// Memberwise copy.
    CWmsUrl(const CWmsUrl &other);
    /// Memberwise move; the source keeps its sizes, transparency, colour and box.
    CWmsUrl(CWmsUrl &&other) noexcept;
    /// Memberwise copy; assigning an object to itself leaves it unchanged.
    CWmsUrl &operator=(const CWmsUrl &other);
    /// Memberwise move; the source keeps its sizes, transparency, colour and box.
    CWmsUrl &operator=(CWmsUrl &&other) noexcept;
    ~CWmsUrl();

    /// @return the address, the part of the URL before its "?"; empty when never set.
    std::string GetAddress() const;
    /// Stores the address unchanged; it may itself contain "?", "&" or "=".
    void SetAddress(std::string address);
    /// @return the "service" value; empty when never set.
    std::string GetService() const;
    void SetService(std::string service);
    /// @return the "version" value as text (e.g. "1.3.0"); empty when never set.
    std::string GetVersion() const;
    /// The version also selects the key of the coordinate system: "srs" below 1.3.0, else "crs".
    void SetVersion(std::string version);
    /// @return the "request" value; empty when never set.
    std::string GetRequest() const;
    void SetRequest(std::string request);
    /// @return the "layers" value; empty when never set.
    std::string GetLayers() const;
    void SetLayers(std::string layers);
    /// @return the "styles" value; empty when never set.
    std::string GetStyles() const;
    void SetStyles(std::string styles);
    /// @return the "format" value; empty when never set.
    std::string GetFormat() const;
    void SetFormat(std::string format);
    /// @return the coordinate system ("crs"/"srs" value); empty when never set. Never parsed.
    std::string GetCrs() const;
    void SetCrs(std::string crs);
    /// @return the box as origin and extent, in the units and axis order of the coordinate
    /// system; (0, 0, 1, 1) when never set. Never parsed.
    BoundingBox2<double> GetBBox() const;
    /// Stores the four values unchanged; negative extents are allowed. `GetRequestUrl` then
    /// writes the far corner as x + width and y + height.
    void SetBBox(BoundingBox2<double> bbox);
    /// Stores the box by its corners, easting/longitude first whatever the system: `GetBBox`
    /// answers (minX, minY, maxX - minX, maxY - minY), and `GetRequestUrl` writes these four
    /// numbers themselves, so 0.4 is sent as 0.4 and not as -0.7 + 1.1 = 0.40000000000000013.
    /// A later `SetBBox` replaces them.
    void SetBBoxCorners(double minX, double minY, double maxX, double maxY);
    /// @return the image width (pixels); 0 when never set. Never parsed.
    int GetWidth() const;
    void SetWidth(int width);
    /// @return the image height (pixels); 0 when never set. Never parsed.
    int GetHeight() const;
    void SetHeight(int height);
    /// @return the "transparent" flag; false when never set. Never written to the URL.
    bool GetTransparent() const;
    void SetTransparent(bool transparent);
    /// @return the background colour as a number (parsed from hexadecimal); 0 when never set.
    /// Never written to the URL.
    std::uint32_t GetBgColor() const;
    /// Also marks the colour as given (`HasBgColor`).
    void SetBgColor(std::uint32_t bgColor);
    /// @return the "exceptions" value; empty when never set. Never written to the URL.
    std::string GetExceptions() const;
    void SetExceptions(std::string exceptions);
    /// @return the "time" value; empty when never set. Never written to the URL.
    std::string GetTime() const;
    void SetTime(std::string time);
    /// @return the "sld" value; empty when never set. Never written to the URL.
    std::string GetSld() const;
    void SetSld(std::string sld);
    /// @return the "sld_body" value; empty when never set. Never written to the URL.
    std::string GetSldBody() const;
    void SetSldBody(std::string sldBody);

    /// Composes address, "?" and the pairs service, version, request, layers, styles, format,
    /// srs or crs, bbox (x, y, x + width, y + height), width and height, joined by "&" with
    /// values inserted byte for byte. Never fails and does not validate; changes nothing.
    /// Coordinates are written with 15 significant digits ("100.0", "0.333333333333333",
    /// "5.e-02"); infinities and NaN as "inf", "-inf" and "nan".
    std::string GetUrl();
    /// Sets the address to the text before the first "?" (the whole text when there is none)
    /// and applies every recognised key=value piece of the query (after the "?", or the whole
    /// text): service, version, request, layers, styles, format, transparent, bgcolor,
    /// exceptions, time, sld, sld_body, keys in any case. Never fails; unknown or malformed
    /// pieces are skipped and members the URL does not name keep their values.
    void Parse(std::string url);
    /// @return false when service, version, request, layers, format or crs is empty, when one
    /// of x, y, x + width, y + height equals 0, or when width or height is 0.
    bool IsValid();

    /// Composes the GetMap request as WMS servers expect it (the text of `GetUrl` stays as it
    /// is): the address joined with "?" or "&" as it needs (an address ending in "?" or "&"
    /// gets nothing), then SERVICE, VERSION, REQUEST, LAYERS, STYLES, CRS (1.3.0 and later) or
    /// SRS, BBOX, WIDTH, HEIGHT, FORMAT, and TRANSPARENT=TRUE, BGCOLOR=0xRRGGBB, EXCEPTIONS,
    /// TIME, SLD, SLD_BODY when set. An empty service or request is written as WMS or GetMap.
    /// Values are percent-encoded byte for byte (RFC 3986: all but letters, digits and
    /// "-._~"); the commas of LAYERS, STYLES, BBOX and TIME stay literal. Numbers are the
    /// shortest text that reads back exactly, whatever the locale. The box is written as
    /// min/max corners: for versions before 1.3.0 easting/longitude first; from 1.3.0 on in
    /// the axis order the CRS's authority defines (EPSG:4326 latitude first, EPSG:3857 and
    /// CRS:84 easting first), as PROJ reports it. The lookup runs under a lock on a PROJ
    /// context of its own and is cached per CRS, so it is safe from any thread; only the very
    /// first lookup reads the settings of PROJ's default context, which the caller must not be
    /// changing then. Texts are sent as the bytes given (UTF-8 for non-ASCII).
    /// @throws std::invalid_argument when the version is 1.3.0 or later and PROJ does not
    /// know the CRS, so its axis order cannot be told.
    /// Parameters of these names already in the address (in any case: "SERVICE", "VERSION",
    /// "REQUEST", every GetMap key above, "SRS" and "CRS" alike) are taken out of it, so the
    /// request's own values are the only ones sent; others ("map=...") stay in their place, and
    /// a "#fragment" of the address is dropped. The corners given to `SetBBoxCorners` (or read
    /// by `ParseRequestUrl`) are written as they are.
    std::string GetRequestUrl() const;
    /// The inverse of `GetRequestUrl`: keys in any case, values percent-decoded ("+" is a
    /// blank); reads SERVICE, VERSION, REQUEST, LAYERS, STYLES, FORMAT, CRS or SRS, BBOX
    /// (back into x/y order as `GetRequestUrl` writes it), WIDTH, HEIGHT, TRANSPARENT,
    /// BGCOLOR, EXCEPTIONS, TIME, SLD and SLD_BODY. Every other parameter stays part of the
    /// address, undecoded and in its order, the address then ending in "&" as servers
    /// advertise it ("http://h/mapserv?map=/x.map&"). Members not named keep their values.
    /// @return false (object unchanged) for a malformed BBOX, WIDTH or HEIGHT or a bad
    /// percent sequence. @throws std::invalid_argument as `GetRequestUrl` for a 1.3.0 BBOX
    /// in a CRS PROJ does not know.
    bool ParseRequestUrl(const std::string &url);
    /// @return whether a background colour was given by `SetBgColor` or a parsed URL.
    bool HasBgColor() const;

  private:
    void ParseParameter(std::string parameter);
    int GetVersionNumber() const;
    bool Validate() const;

    std::string m_address;
    std::string m_service;
    std::string m_version;
    std::string m_request;
    std::string m_layers;
    std::string m_styles;
    std::string m_format;
    std::string m_crs;
    BoundingBox2<double> m_bbox;
    std::int32_t m_width;
    std::int32_t m_height;
    bool m_transparent;
    std::uint32_t m_bgColor;
    std::string m_exceptions;
    std::string m_time;
    std::string m_sld;
    std::string m_sldBody;
    bool m_bgColorSet;
    double m_corners[4]; ///< the box as minX, minY, maxX, maxY, when `m_cornersSet`
    bool m_cornersSet;   ///< whether the request writes `m_corners` instead of `m_bbox`
};

} // namespace Geo

#endif
