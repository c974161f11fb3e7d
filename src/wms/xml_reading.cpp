// Reading WMS XML answers off a libxml2 tree.
#include "wms/xml_reading.h"

#include "text/server_text.h"

#include <memory>

namespace Geo::Wms {

namespace {

struct XmlStringDeleter {
    void operator()(xmlChar *text) const { xmlFree(text); }
};
using XmlStringPtr = std::unique_ptr<xmlChar, XmlStringDeleter>;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string Trimmed(const xmlChar *text) {
    if (!text)
        return std::string();
    const char *first = reinterpret_cast<const char *>(text);
    while (IsBlank(*first))
        ++first;
    const char *last = first;
    for (const char *c = first; *c; ++c)
        if (!IsBlank(*c))
            last = c + 1;
    // libxml2 hands out UTF-8 it has checked; the repair only guards hosts against a parser
    // that let a bad sequence through (recovery, a mislabelled encoding).
    return ToValidUtf8(std::string_view(first, static_cast<std::size_t>(last - first)));
}

} // namespace

bool IsElement(const xmlNode *node, const char *name) {
    return node && node->type == XML_ELEMENT_NODE &&
           xmlStrEqual(node->name, reinterpret_cast<const xmlChar *>(name));
}

const xmlNode *FirstChild(const xmlNode *node, const char *name) {
    if (!node)
        return nullptr;
    for (const xmlNode *child = node->children; child; child = child->next)
        if (IsElement(child, name))
            return child;
    return nullptr;
}

std::string TrimmedContent(const xmlNode *node) {
    if (!node)
        return std::string();
    // The common case, one text child, is read without a copy by libxml2.
    if (node->children && !node->children->next &&
        (node->children->type == XML_TEXT_NODE || node->children->type == XML_CDATA_SECTION_NODE))
        return Trimmed(node->children->content);
    const XmlStringPtr content(xmlNodeGetContent(node));
    return Trimmed(content.get());
}

std::string Attribute(const xmlNode *node, const char *name, bool *present) {
    const XmlStringPtr value(
        xmlGetProp(const_cast<xmlNode *>(node), reinterpret_cast<const xmlChar *>(name)));
    if (present)
        *present = value != nullptr;
    return Trimmed(value.get());
}

bool ReadServiceException(const xmlDoc *document, std::string &code, std::string &text) {
    const xmlNode *root = document ? xmlDocGetRootElement(document) : nullptr;
    if (!IsElement(root, "ServiceExceptionReport") && !IsElement(root, "ExceptionReport"))
        return false;
    const xmlNode *exception = FirstChild(root, "ServiceException");
    if (!exception)
        exception = FirstChild(root, "Exception");
    code.clear();
    text.clear();
    if (exception) {
        code = Attribute(exception, "code");
        if (code.empty())
            code = Attribute(exception, "exceptionCode");
        const xmlNode *exceptionText = FirstChild(exception, "ExceptionText");
        text = TrimmedContent(exceptionText ? exceptionText : exception);
    }
    return true;
}

} // namespace Geo::Wms
