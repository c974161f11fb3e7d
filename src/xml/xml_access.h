// The XML access layer on libxml2: the only code of the configuration files that touches a
// document. Texts cross it 8-bit in the process code page; errors are raised as exceptions.
#ifndef VEXOGEO_XML_XML_ACCESS_H
#define VEXOGEO_XML_XML_ACCESS_H

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <libxml/tree.h>

namespace Geo::Xml {

/// What went wrong inside the layer.
enum class XmlErrorCode {
    NullHandle,       ///< a required document or node handle is null
    OutOfMemory,      ///< libxml2 could not allocate a node
    Conversion,       ///< text could not be converted between UTF-8 and the process code page
    NotAnInteger,     ///< an element does not hold a 32-bit signed integer
    InvalidCharacter, ///< text to be written holds a character XML 1.0 cannot carry
    NotLinked         ///< libxml2 refused to append a node
};

/// The layer's own error: a code and a text. The public functions catch it at their edge.
class CXmlError : public std::runtime_error {
  public:
    explicit CXmlError(XmlErrorCode code);
    /// @return the code given at construction.
    XmlErrorCode GetCode() const { return m_code; }

  private:
    XmlErrorCode m_code;
};

/// The text of the schema error, raised where an element the file format requires is missing.
extern const char kSchemaErrorText[];

/// Raised where an element is required and missing; what() is `kSchemaErrorText`.
class CSchemaError : public std::runtime_error {
  public:
    CSchemaError();
};

struct DocumentDeleter {
    void operator()(xmlDoc *document) const;
};
struct NodeDeleter {
    void operator()(xmlNode *node) const;
};
/// Owns a document and, with it, every node linked into it.
using DocumentPtr = std::unique_ptr<xmlDoc, DocumentDeleter>;
/// Owns a node created for a document until it is appended there.
using NodePtr = std::unique_ptr<xmlNode, NodeDeleter>;

/// Initialises libxml2 once per process; safe to call from any thread at any time.
void EnsureXmlInitialised();

/// An empty XML 1.0 document. Loading never validates, never resolves external entities and
/// drops whitespace-only text between elements. @return null when it cannot be allocated.
DocumentPtr CreateXmlDocument();
/// Parses the file at `path` (raw bytes, XML 1.0 in any encoding libxml2 reads) into `document`,
/// replacing its content. Raises `NullHandle` for a null document.
/// @return false (document unchanged) for a missing or unreadable file, a parse error, a file
/// that declares entities, or one past the limits that keep a load fast: more than 64
/// attributes on an element, 32 namespace declarations in scope or 1,000,000 nodes (elements,
/// texts, comments; an attribute counts two), a text node or CDATA section over 10,000,000
/// bytes, nesting deeper than 256.
bool LoadXmlDocument(DocumentPtr &document, const std::string &path);

/// Parses `bytes` with the same locked-down parser as `LoadXmlDocument` (no network, no DTD
/// loading, no entity declarations). @return null for a parse error or an allocation failure.
DocumentPtr ParseXmlBytes(const std::string &bytes);
/// As above; for null, `reason` says why: libxml2's message with its line and column, a
/// refused entity declaration, or a limit passed.
DocumentPtr ParseXmlBytes(const std::string &bytes, std::string &reason);

/// @return the first child element named `name` (no namespace, case-sensitive) of the document,
/// that is its document element if it has that name; null when none. Raises for a null document.
xmlNode *SelectSingleElement(const xmlDoc *document, const char *name);
/// @return the first child element named `name` of `node`; null when none. Raises for null.
xmlNode *SelectSingleElement(const xmlNode *node, const char *name);
/// @return the child elements named `name` of `node` in document order; raises for null.
std::vector<xmlNode *> SelectElements(const xmlNode *node, const char *name);

/// @return the text of the element's first child node, whatever its kind, untrimmed; empty when
/// it has none or the text cannot be converted. Raises `CSchemaError` for a null element.
std::string GetElementText(const xmlNode *element);
/// Sets `text` only when `element` has exactly one child element named `name`.
/// @return false (text untouched) for none or several.
bool GetUniqueChildText(const xmlNode *element, const char *name, std::string &text);
/// Reads the value of the element's first child: optional blanks, an optional sign, decimal
/// digits, optional blanks (blanks: space, tab, line feed, carriage return).
/// @return the value; raises `CSchemaError` for a null or empty element and `NotAnInteger` for
/// any other text or a value outside the 32-bit signed range.
std::int32_t GetElementInteger(const xmlNode *element);
/// Sets `value` only when `element` has exactly one child element named `name` and it holds an
/// integer. @return false (value untouched) otherwise; raises only for a null element.
bool GetUniqueChildInteger(const xmlNode *element, const char *name, std::int32_t &value);
/// Sets `id` to the element's `id` attribute with space, tab, line feed and carriage return
/// removed from both ends. @return false (id untouched) for a null node or no `id` attribute.
bool GetIdAttribute(const xmlNode *element, std::string &id);
/// @return the whole text of the first `Culture` child whose trimmed `id` equals the
/// installation's culture code byte for byte; empty when none does. Raises for a null element.
std::string ReadLocalizedName(const xmlNode *nameElement);

/// @return a new processing instruction of `document` (texts in the process code page); raises
/// for a null document, a text that cannot be converted or an allocation failure.
NodePtr CreateProcessingInstruction(xmlDoc *document, const std::string &target,
                                    const std::string &data);
/// @return a new element of `document` named `name` (process code page); raises as above.
NodePtr CreateElement(xmlDoc *document, const std::string &name);
/// Appends `child` as the last child of the document (the first element becomes the document
/// element); raises for a null handle.
void AppendChild(xmlDoc *document, NodePtr child);
/// Appends `child` as the last child of `parent`; raises for a null handle.
void AppendChild(xmlNode *parent, NodePtr child);
/// Replaces the element's children by `value` (process code page) as text; raises for a null
/// element, a failed conversion or a character XML 1.0 cannot carry.
void SetElementText(xmlNode *element, const std::string &value);

/// Writes the document as UTF-8 into `output`: exactly one declaration
/// `<?xml version="1.0" encoding="UTF-8" standalone="yes"?>`, then one element per line, nested
/// elements indented two spaces per depth, lines ending in a line feed. A processing instruction
/// with target "xml" is taken as the declaration and not written again.
/// @return false when libxml2 fails to serialize; raises for a null document.
bool WriteIndented(std::string &output, const xmlDoc *document);
/// Writes the document as `WriteIndented` does and replaces the file at `path` only when the new
/// file is completely on disk. @return false when anything fails; the old file is then unchanged.
bool SaveXmlDocument(const xmlDoc *document, const std::string &path);

} // namespace Geo::Xml

#endif
