// NamedSridConfiguration: the entries of a named SRID configuration file.
#ifndef VEXOGEO_XML_NAMED_SRID_CONFIGURATION_H
#define VEXOGEO_XML_NAMED_SRID_CONFIGURATION_H

#include <vector>

#include <vexogeo/xml/named_srid.h>

namespace Geo {

/// The list read by `CSerializer::LoadXmlFile`, in file order; a load replaces the whole list
/// or, when it fails, leaves it as it was. A plain value: copy it freely.
class NamedSridConfiguration {
  public:
    std::vector<NamedSrid> m_entries; ///< the entries in file order; empty before any load
};

} // namespace Geo

#endif
