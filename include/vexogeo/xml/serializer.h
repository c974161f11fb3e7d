// CSerializer: reads and writes the library's XML configuration files.
#ifndef VEXOGEO_XML_SERIALIZER_H
#define VEXOGEO_XML_SERIALIZER_H

#include <string>

#include <vexogeo/export.h>
#include <vexogeo/xml/named_srid_configuration.h>
#include <vexogeo/xml/named_wms_configuration.h>
#include <vexogeo/xml/wms.h>

namespace Geo {

/// Static loaders of the named SRID list, the named WMS list and the WMS description file, and
/// the saver of the latter. Paths and texts are 8-bit in the process code page. Every function
/// may run on any thread with no set-up; each call works on its own document. No exception
/// leaves any of them: every failure answers false and leaves the caller's object untouched.
class VEXOGEO_API CSerializer {
  public:
    CSerializer() = default;
    CSerializer(const CSerializer &) = default;
    /// Holds no data: does nothing and returns this object.
    CSerializer &operator=(const CSerializer &) { return *this; }
    /// Holds no data: does nothing and returns this object.
    CSerializer &operator=(CSerializer &&) noexcept { return *this; }

    /// Reads a named SRID configuration file; names are taken in the installation's culture.
    /// @return false (configuration untouched) for a file that cannot be read or parsed, another
    /// document element, or any entry without its single `Authority`, its single integer
    /// `Identifier` or a `Name`.
    static bool LoadXmlFile(NamedSridConfiguration &configuration, std::string path);
    /// Reads a named WMS configuration file; names are taken in the installation's culture.
    /// @return false (configuration untouched) for a file that cannot be read or parsed, another
    /// document element, or any entry without its single `Address`, `Layers`, `Styles` and
    /// `Version` or without a `Name`.
    static bool LoadXmlFile(CNamedWmsConfiguration &configuration, std::string path);
    /// Reads a WMS description file into all four fields of `wms`.
    /// @return false (`wms` untouched) for a file that cannot be read or parsed, another document
    /// element, or a missing or repeated `Address`, `Layers`, `Styles` or `Version`.
    static bool LoadXmlFile(CWms &wms, std::string path);
    /// Writes `wms` as an indented UTF-8 WMS description file. The new file replaces the old one
    /// only once it is completely on disk; a link is written through, an existing file keeps its
    /// permissions, a new one gets 0666 less the umask.
    /// @return false when the folder does not exist, `path` names a folder, a device, a named
    /// pipe, a socket or a read-only file, the file cannot be written completely (a full disk,
    /// the file-size limit), or a text holds a character that XML cannot carry; the old file is
    /// then left byte for byte and no other file is left behind.
    static bool SaveXmlFile(const CWms &wms, std::string path);
};

} // namespace Geo

#endif
