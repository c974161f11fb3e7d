// CWms: the description of one Web Map Service, as held in a WMS description file.
#ifndef VEXOGEO_XML_WMS_H
#define VEXOGEO_XML_WMS_H

#include <string>
#include <utility>

namespace Geo {

/// Four opaque texts, 8-bit in the process code page, that describe one WMS service; nothing in
/// them is checked. A plain value: copy it freely. `CSerializer` reads and writes it.
class CWms {
  public:
    /// Four empty texts.
    CWms() = default;
    /// Stores the four texts unchanged.
    CWms(std::string address, std::string layers, std::string styles, std::string version)
        : m_address(std::move(address)), m_layers(std::move(layers)), m_styles(std::move(styles)),
          m_version(std::move(version)) {}

    friend bool operator==(const CWms &a, const CWms &b) {
        return a.m_address == b.m_address && a.m_layers == b.m_layers && a.m_styles == b.m_styles &&
               a.m_version == b.m_version;
    }
    friend bool operator!=(const CWms &a, const CWms &b) { return !(a == b); }

    std::string m_address; ///< the service address
    std::string m_layers;  ///< the layers to request
    std::string m_styles;  ///< the styles to request
    std::string m_version; ///< the WMS protocol version
};

} // namespace Geo

#endif
