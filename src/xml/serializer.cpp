// CSerializer: the loaders of the three configuration formats and the saver of the WMS file.
#include <vexogeo/xml/serializer.h>

#include <utility>
#include <vector>

#include "xml/xml_access.h"

namespace Geo {

namespace {

// Reads the four single value elements of a WMS description below `element`.
bool ReadWmsValues(const xmlNode *element, CWms &wms) {
    return Xml::GetUniqueChildText(element, "Address", wms.m_address) &&
           Xml::GetUniqueChildText(element, "Layers", wms.m_layers) &&
           Xml::GetUniqueChildText(element, "Styles", wms.m_styles) &&
           Xml::GetUniqueChildText(element, "Version", wms.m_version);
}

// Creates a document and loads `path` into it. @return null when either fails.
Xml::DocumentPtr LoadDocument(const std::string &path) {
    Xml::DocumentPtr document = Xml::CreateXmlDocument();
    if (!document || !Xml::LoadXmlDocument(document, path))
        return nullptr;
    return document;
}

// Loads a list of named entries: the document element `rootName` holding `itemName` elements,
// each read by `readValues` and named by the first `Name` element in the installation's culture.
// One bad entry rejects the whole file; `entries` is replaced only on success.
template <typename Entry, typename ReadValues>
bool LoadNamedEntries(std::vector<Entry> &entries, const std::string &path, const char *rootName,
                      const char *itemName, ReadValues readValues) {
    try {
        const Xml::DocumentPtr document = LoadDocument(path);
        if (!document)
            return false;
        const xmlNode *root = Xml::SelectSingleElement(document.get(), rootName);
        if (!root)
            return false;
        std::vector<Entry> loaded;
        for (const xmlNode *item : Xml::SelectElements(root, itemName)) {
            Entry entry;
            if (!readValues(item, entry))
                return false;
            const xmlNode *name = Xml::SelectSingleElement(item, "Name");
            if (!name)
                return false;
            entry.m_name = Xml::ReadLocalizedName(name);
            loaded.push_back(std::move(entry));
        }
        entries = std::move(loaded);
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

bool CSerializer::LoadXmlFile(NamedSridConfiguration &configuration, std::string path) {
    return LoadNamedEntries(
        configuration.m_entries, path, "NamedSridConfiguration", "NamedSrid",
        [](const xmlNode *item, NamedSrid &entry) {
            return Xml::GetUniqueChildText(item, "Authority", entry.m_srid.m_authority) &&
                   Xml::GetUniqueChildInteger(item, "Identifier", entry.m_srid.m_code);
        });
}

bool CSerializer::LoadXmlFile(CNamedWmsConfiguration &configuration, std::string path) {
    return LoadNamedEntries(
        configuration.m_entries, path, "NamedWmsConfiguration", "NamedWms",
        [](const xmlNode *item, NamedWms &entry) { return ReadWmsValues(item, entry.m_wms); });
}

bool CSerializer::LoadXmlFile(CWms &wms, std::string path) {
    try {
        const Xml::DocumentPtr document = LoadDocument(path);
        if (!document)
            return false;
        const xmlNode *root = Xml::SelectSingleElement(document.get(), "Wms");
        CWms loaded;
        if (!root || !ReadWmsValues(root, loaded))
            return false;
        wms = std::move(loaded);
        return true;
    } catch (...) {
        return false;
    }
}

bool CSerializer::SaveXmlFile(const CWms &wms, std::string path) {
    try {
        const Xml::DocumentPtr document = Xml::CreateXmlDocument();
        if (!document)
            return false;
        Xml::AppendChild(document.get(),
                         Xml::CreateProcessingInstruction(document.get(), "xml",
                                                          "version=\"1.0\" encoding=\"UTF-8\""));
        Xml::NodePtr root = Xml::CreateElement(document.get(), "Wms");
        xmlNode *wmsElement = root.get();
        Xml::AppendChild(document.get(), std::move(root));
        const std::pair<const char *, const std::string *> fields[] = {{"Address", &wms.m_address},
                                                                       {"Layers", &wms.m_layers},
                                                                       {"Styles", &wms.m_styles},
                                                                       {"Version", &wms.m_version}};
        for (const auto &field : fields) {
            Xml::NodePtr element = Xml::CreateElement(document.get(), field.first);
            xmlNode *raw = element.get();
            Xml::AppendChild(wmsElement, std::move(element));
            Xml::SetElementText(raw, *field.second);
        }
        return Xml::SaveXmlDocument(document.get(), path);
    } catch (...) {
        return false;
    }
}

} // namespace Geo
