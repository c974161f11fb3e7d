// Fuzz target: arbitrary bytes as a file for each of the three loaders. A false answer leaves
// the object untouched; a loaded WMS description saves and loads back to the same values.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <vexogeo/xml/serializer.h>

#include "fuzz_support.h"

namespace {

namespace fs = std::filesystem;

using VexoGeoFuzz::Check;

const fs::path &Folder() { return VexoGeoFuzz::TemporaryFolder("xml-fuzz"); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string input = (Folder() / "input.xml").string();
    std::ofstream(input, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));

    const Geo::CWms sentinel("\x01", "\x02", "\x03", "\x04");
    Geo::CWms wms = sentinel;
    if (Geo::CSerializer::LoadXmlFile(wms, input)) {
        const std::string output = (Folder() / "output.xml").string();
        Check(Geo::CSerializer::SaveXmlFile(wms, output), "a loaded description saves");
        Geo::CWms reloaded;
        Check(Geo::CSerializer::LoadXmlFile(reloaded, output), "a saved description loads");
        Check(reloaded == wms, "save and load are inverse");
    } else {
        Check(wms == sentinel, "description untouched");
    }

    const Geo::NamedSrid sridSentinel(Geo::Srid("\x01", 7), "\x02");
    Geo::NamedSridConfiguration srids{{sridSentinel}};
    if (!Geo::CSerializer::LoadXmlFile(srids, input))
        Check(srids.m_entries.size() == 1 && srids.m_entries[0] == sridSentinel,
              "SRID list untouched");

    const Geo::NamedWms wmsSentinel(sentinel, "\x05");
    Geo::CNamedWmsConfiguration wmsList{{wmsSentinel}};
    if (!Geo::CSerializer::LoadXmlFile(wmsList, input))
        Check(wmsList.m_entries.size() == 1 && wmsList.m_entries[0] == wmsSentinel,
              "WMS list untouched");
    return 0;
}
