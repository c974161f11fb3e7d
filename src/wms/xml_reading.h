// Reading WMS XML answers (capabilities, service exceptions) off a libxml2 tree, namespaces
// ignored: 1.3.0 documents live in the WMS namespace, 1.1.1 documents in none.
#ifndef VEXOGEO_WMS_XML_READING_H
#define VEXOGEO_WMS_XML_READING_H

#include <string>

#include <libxml/tree.h>

namespace Geo::Wms {

// @return whether `node` is an element with local name `name`.
bool IsElement(const xmlNode *node, const char *name);
// @return the first child element with local name `name`, or null.
const xmlNode *FirstChild(const xmlNode *node, const char *name);
// Texts come back as well-formed UTF-8 (`ToValidUtf8`).
// @return the whole text content, blanks trimmed at both ends.
std::string TrimmedContent(const xmlNode *node);
// @return the attribute `name` (any namespace), blanks trimmed; empty when missing.
std::string Attribute(const xmlNode *node, const char *name, bool *present = nullptr);

// When the document element is a ServiceExceptionReport (or an OWS ExceptionReport), sets
// `code` to the first exception's code attribute (may be empty) and `text` to its text.
// @return whether it is one.
bool ReadServiceException(const xmlDoc *document, std::string &code, std::string &text);

} // namespace Geo::Wms

#endif
