// Whole-file helpers and sentinel loads for the XML tests.
#ifndef VEXOGEO_TESTS_XML_XML_TEST_FILES_H
#define VEXOGEO_TESTS_XML_XML_TEST_FILES_H

#include <vexogeo/xml/serializer.h>

#include "support/temp_folder.h"
#include "support/test_data.h"

#include <atomic>
#include <filesystem>
#include <thread>

namespace Geo::Testing {

using VexoGeoTest::CTempFolder;
using VexoGeoTest::ReadBytes;
using VexoGeoTest::TestData;

/// Runs `body(stop)` on a thread of its own; on destruction sets `stop` and joins the thread.
class CBackground {
  public:
    template <typename Body>
    explicit CBackground(Body body) : m_thread([this, body] { body(m_stop); }) {}
    ~CBackground() {
        m_stop = true;
        m_thread.join();
    }

  private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

inline std::string Tag(const std::string &name, const std::string &body) {
    return "<" + name + ">" + body + "</" + name + ">";
}

// The test binaries run in the German installation language: names come from "de-de".
inline const CWms kSentinel("untouched", "l", "s", "v");
inline const NamedSrid kSrid(Srid("SENTINEL", 1), "untouched");
inline const NamedWms kNamedWms(kSentinel, "untouched");
inline const std::string kBody =
    "<Address>a</Address><Layers>l</Layers><Styles>s</Styles><Version>v</Version>";

/// @return the four values of `wms`, separated by '|'.
inline std::string Text(const CWms &wms) {
    return wms.m_address + "|" + wms.m_layers + "|" + wms.m_styles + "|" + wms.m_version;
}

/// Loads `path` with the three loaders into sentinel objects. @return for each loader that
/// answers true its letter and what it loaded: "W[address|layers|styles|version]",
/// "S[authority:code name;...]", "N[address|layers|styles|version name;...]"; a lower-case
/// letter for one that answers false and yet changed its object; nothing for a clean false.
inline std::string Loads(const std::string &path) {
    CWms wms = kSentinel;
    NamedSridConfiguration srids{{kSrid}};
    CNamedWmsConfiguration list{{kNamedWms}};
    const bool w = CSerializer::LoadXmlFile(wms, path), s = CSerializer::LoadXmlFile(srids, path),
               n = CSerializer::LoadXmlFile(list, path);
    std::string sridText, listText;
    for (const NamedSrid &entry : srids.m_entries)
        sridText += ";" + entry.m_srid.m_authority + ":" + std::to_string(entry.m_srid.m_code) +
                    " " + entry.m_name;
    for (const NamedWms &entry : list.m_entries)
        listText += ";" + Text(entry.m_wms) + " " + entry.m_name;
    const auto outcome = [](bool loaded, const char *letters, std::string text, bool untouched) {
        return loaded ? letters[0] + ("[" + text + "]") : untouched ? "" : std::string(letters + 1);
    };
    return outcome(w, "Ww", Text(wms), wms == kSentinel) +
           outcome(s, "Ss", sridText.erase(0, 1), srids.m_entries == std::vector{kSrid}) +
           outcome(n, "Nn", listText.erase(0, 1), list.m_entries == std::vector{kNamedWms});
}

} // namespace Geo::Testing

#endif
