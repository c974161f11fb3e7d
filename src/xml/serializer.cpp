// CSerializer: the loaders of the three configuration formats and the saver of the WMS file.
#include <vexogeo/xml/serializer.h>

#include <utility>

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

} // namespace

bool CSerializer::LoadXmlFile(NamedSridConfiguration &configuration, std::string path) {
    try {
        const Xml::DocumentPtr document = LoadDocument(path);
        if (!document)
            return false;
        const xmlNode *root = Xml::SelectSingleElement(document.get(), "NamedSridConfiguration");
        if (!root)
            return false;
        std::vector<NamedSrid> entries;
        for (const xmlNode *item : Xml::SelectElements(root, "NamedSrid")) {
            NamedSrid entry;
            if (!Xml::GetUniqueChildText(item, "Authority", entry.m_srid.m_authority) ||
                !Xml::GetUniqueChildInteger(item, "Identifier", entry.m_srid.m_code))
                return false;
            const xmlNode *name = Xml::SelectSingleElement(item, "Name");
            if (!name)
                return false;
            entry.m_name = Xml::ReadLocalizedName(name);
            entries.push_back(std::move(entry));
        }
        configuration.m_entries = std::move(entries);
        return true;
    } catch (...) {
        return false;
    }
}

bool CSerializer::LoadXmlFile(CNamedWmsConfiguration &configuration, std::string path) {
    try {
        const Xml::DocumentPtr document = LoadDocument(path);
        if (!document)
            return false;
        const xmlNode *root = Xml::SelectSingleElement(document.get(), "NamedWmsConfiguration");
        if (!root)
            return false;
        std::vector<NamedWms> entries;
        for (const xmlNode *item : Xml::SelectElements(root, "NamedWms")) {
            NamedWms entry;
            if (!ReadWmsValues(item, entry.m_wms))
                return false;
            const xmlNode *name = Xml::SelectSingleElement(item, "Name");
            if (!name)
                return false;
            entry.m_name = Xml::ReadLocalizedName(name);
            entries.push_back(std::move(entry));
        }
        configuration.m_entries = std::move(entries);
        return true;
    } catch (...) {
        return false;
    }
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
