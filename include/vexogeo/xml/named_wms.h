// NamedWms: one entry of a named WMS configuration file.
#ifndef VEXOGEO_XML_NAMED_WMS_H
#define VEXOGEO_XML_NAMED_WMS_H

#include <string>
#include <utility>

#include <vexogeo/xml/wms.h>

namespace Geo {

/// A WMS service with its display name in the installation's culture.
/// A plain value: copy it freely.
class NamedWms {
  public:
    /// An empty `CWms` and an empty name.
    NamedWms() = default;
    /// Stores both values unchanged.
    NamedWms(CWms wms, std::string name) : m_wms(std::move(wms)), m_name(std::move(name)) {}

    friend bool operator==(const NamedWms &a, const NamedWms &b) {
        return a.m_wms == b.m_wms && a.m_name == b.m_name;
    }
    friend bool operator!=(const NamedWms &a, const NamedWms &b) { return !(a == b); }

    CWms m_wms;         ///< address, layers, styles and version of the service
    std::string m_name; ///< name in the installation's culture, process code page; empty if none
};

} // namespace Geo

#endif
