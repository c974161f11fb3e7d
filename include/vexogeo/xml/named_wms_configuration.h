// CNamedWmsConfiguration: the entries of a named WMS configuration file.
#ifndef VEXOGEO_XML_NAMED_WMS_CONFIGURATION_H
#define VEXOGEO_XML_NAMED_WMS_CONFIGURATION_H

#include <vector>

#include <vexogeo/xml/named_wms.h>

namespace Geo {

/// The list read by `CSerializer::LoadXmlFile`, in file order; a load replaces the whole list
/// or, when it fails, leaves it as it was. A plain value: copy it freely.
class CNamedWmsConfiguration {
  public:
    std::vector<NamedWms> m_entries; ///< the entries in file order; empty before any load
};

} // namespace Geo

#endif
