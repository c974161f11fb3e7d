// The XML access layer on libxml2: loading with a locked-down parser, reading elements and
// localized names, building elements and writing indented UTF-8.
#include "xml/xml_access.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <utility>

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlsave.h>

#include "module/localization.h"
#include "platform/file_writer.h"
#include "platform/regular_file.h"
#include "text/code_page.h"

namespace Geo::Xml {

namespace {

const char *ErrorText(XmlErrorCode code) {
    switch (code) {
    case XmlErrorCode::NullHandle:
        return "A required XML document or node handle is null.";
    case XmlErrorCode::OutOfMemory:
        return "libxml2 could not allocate an XML node.";
    case XmlErrorCode::Conversion:
        return "Text could not be converted between UTF-8 and the process code page.";
    case XmlErrorCode::NotAnInteger:
        return "The element does not hold a 32-bit signed integer.";
    case XmlErrorCode::InvalidCharacter:
        return "The text holds a character that XML 1.0 cannot carry.";
    case XmlErrorCode::NotLinked:
        return "libxml2 refused to append an XML node.";
    }
    return "XML access failed.";
}

struct XmlStringDeleter {
    void operator()(xmlChar *text) const { xmlFree(text); }
};
using XmlStringPtr = std::unique_ptr<xmlChar, XmlStringDeleter>;

struct ParserContextDeleter {
    void operator()(xmlParserCtxt *context) const { xmlFreeParserCtxt(context); }
};
struct SaveContextDeleter {
    void operator()(xmlSaveCtxt *context) const { xmlSaveClose(context); }
};

template <typename T> T *RequireHandle(T *handle) {
    if (!handle)
        throw CXmlError(XmlErrorCode::NullHandle);
    return handle;
}

const char *AsChars(const xmlChar *text) { return reinterpret_cast<const char *>(text); }
const xmlChar *AsXmlChars(const char *text) { return reinterpret_cast<const xmlChar *>(text); }

// libxml2's UTF-8 into the process code page, through wide text; characters the code page
// lacks become its substitute character.
std::string Utf8ToNarrow(const xmlChar *utf8) {
    if (!utf8 || !*utf8)
        return std::string();
    std::vector<wchar_t> wide;
    std::vector<char> narrow;
    if (!ConvertToWide(kCodePageUtf8, AsChars(utf8), wide) ||
        !ConvertToMultiByte(kCodePageAnsi, wide.data(), narrow))
        throw CXmlError(XmlErrorCode::Conversion);
    return std::string(narrow.data());
}

bool IsXmlCharacter(wchar_t c) {
    const auto code = static_cast<unsigned long>(c);
    return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
           (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

// Process code page into UTF-8 for libxml2. Characters XML 1.0 cannot carry (control
// characters) are refused here: written as references they would make the file unreadable.
std::string NarrowToUtf8(const std::string &text) {
    if (text.empty() || text[0] == '\0')
        return std::string();
    std::vector<wchar_t> wide;
    if (!ConvertToWide(kCodePageAnsi, text.c_str(), wide))
        throw CXmlError(XmlErrorCode::Conversion);
    for (const wchar_t *c = wide.data(); *c; ++c)
        if (!IsXmlCharacter(*c))
            throw CXmlError(XmlErrorCode::InvalidCharacter);
    std::vector<char> utf8;
    if (!ConvertToMultiByte(kCodePageUtf8, wide.data(), utf8))
        throw CXmlError(XmlErrorCode::Conversion);
    return std::string(utf8.data());
}

std::string ContentAsNarrow(const xmlNode *node) {
    const XmlStringPtr content(xmlNodeGetContent(node));
    return Utf8ToNarrow(content.get());
}

bool IsElementNamed(const xmlNode *node, const char *name) {
    // Like a bare name in a query: elements in a namespace never match.
    return node->type == XML_ELEMENT_NODE && node->ns == nullptr &&
           xmlStrEqual(node->name, AsXmlChars(name));
}

xmlNode *FirstElementNamed(xmlNode *first, const char *name) {
    for (xmlNode *node = first; node; node = node->next)
        if (IsElementNamed(node, name))
            return node;
    return nullptr;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Optional blanks, an optional sign, at least one decimal digit, optional blanks; nothing else.
bool ParseInteger(const char *text, std::int32_t &value) {
    while (IsBlank(*text))
        ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    if (*text < '0' || *text > '9')
        return false;
    long long magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude > 2147483648LL)
            return false;
    }
    while (IsBlank(*text))
        ++text;
    if (*text != '\0' || (!negative && magnitude > INT32_MAX))
        return false;
    value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return true;
}

// Every entity declaration stops the parser. The file formats need none, and libxml2's own
// amplification limit does not cover them all: an internal entity referenced many times parses
// in milliseconds, yet reading the element's text later expands it to gigabytes. Refusing the
// declaration also makes a "billion laughs" document fail at its first line of DTD.
void RefuseEntityDeclaration(void *context, const xmlChar *, int, const xmlChar *, const xmlChar *,
                             xmlChar *) {
    auto *parser = static_cast<xmlParserCtxt *>(context);
    parser->wellFormed = 0;
    xmlStopParser(parser);
}

void RefuseUnparsedEntityDeclaration(void *context, const xmlChar *, const xmlChar *,
                                     const xmlChar *, const xmlChar *) {
    RefuseEntityDeclaration(context, nullptr, 0, nullptr, nullptr, nullptr);
}

void IgnoreParserError(void *, xmlError *) {}

// libxml2 raises some errors outside the parser's context, a failed input conversion among
// them; they reach the thread's handler, which by default prints them. A library prints nothing:
// the thread's handler is replaced for the parse and then restored.
class CSilencedErrors {
  public:
    CSilencedErrors() : m_handler(xmlStructuredError), m_context(xmlStructuredErrorContext) {
        xmlSetStructuredErrorFunc(nullptr, IgnoreParserError);
    }
    ~CSilencedErrors() { xmlSetStructuredErrorFunc(m_context, m_handler); }
    CSilencedErrors(const CSilencedErrors &) = delete;
    CSilencedErrors &operator=(const CSilencedErrors &) = delete;

  private:
    xmlStructuredErrorFunc m_handler;
    void *m_context;
};

// Parser options, and which one gives which property of a load:
// - XML_PARSE_NONET: no network access of any kind (external DTD, entities, includes).
// - no XML_PARSE_DTDLOAD, XML_PARSE_DTDATTR or XML_PARSE_DTDVALID: no external DTD is loaded,
//   no attribute defaults are added, nothing is validated.
// - no XML_PARSE_NOENT: entity references are never replaced by their content, which is also
//   what keeps libxml2 from ever loading an external entity (local file or otherwise).
// - no XML_PARSE_HUGE: libxml2's limits on nesting depth, text length and entity amplification
//   stay in force.
// - XML_PARSE_NOBLANKS: whitespace-only text between elements is dropped.
// - XML_PARSE_NOERROR, XML_PARSE_NOWARNING: the library prints nothing.
// - XML_PARSE_COMPACT: short texts live inside their node, one allocation fewer each; a loaded
//   document is only read, never changed.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOBLANKS | XML_PARSE_NOERROR |
                              XML_PARSE_NOWARNING | XML_PARSE_COMPACT;

// Limits of one element, beyond libxml2's own (nesting depth 256, names of 50,000 bytes, text
// and attribute values of 10,000,000 bytes). libxml2 2.9 compares each attribute of an element
// with all earlier ones, and each namespace prefix with all declarations in scope, twice: while
// parsing and while building the tree. That work grows with the square of these counts, so that
// one element of 200,000 attributes takes a minute. The files carry a handful of attributes and
// no namespaces; with these limits no file of 10 MB takes more than a fraction of a second.
constexpr int kMaxAttributesPerElement = 64;
constexpr int kMaxNamespacesInScope = 32;
// Every node (element, attribute, text, comment) costs a hundred bytes and more and an
// allocation, so that 10 MB of empty elements would become 2.5 million nodes and 300 MB. A list
// of 10 MB has some 550,000 nodes.
constexpr std::size_t kMaxNodes = 1000000;
// The parser reads the file in pieces of this many bytes; between two pieces it is asked how
// far the element it is reading has got, so that even a single start tag of many megabytes is
// refused after a few kilobytes past a limit instead of being parsed whole.
constexpr int kReadPiece = 4000;

// One parse: the file's bytes, how far the parser has read them, and whether a limit was hit.
struct ParseState {
    const std::string &m_bytes;
    std::size_t m_offset = 0;
    const xmlParserCtxt *m_parser = nullptr;
    std::size_t m_nodeCount = 0;
    // libxml2's own tree builders, called once a node is found within the limits.
    startElementNsSAX2Func m_startElement = nullptr;
    charactersSAXFunc m_characters = nullptr;
    cdataBlockSAXFunc m_cdataBlock = nullptr;
    commentSAXFunc m_comment = nullptr;
    processingInstructionSAXFunc m_processingInstruction = nullptr;
    bool m_overLimit = false;
};

// Why a parse failed, in libxml2's words where it has any, with its line and column.
std::string FailureReason(const xmlParserCtxt &parser, const ParseState &state) {
    if (state.m_overLimit)
        return "the document is past the parser's limits on size, nodes or attributes";
    const xmlError &last = parser.lastError;
    std::string reason;
    if (last.code == XML_ERR_OK || !last.message) {
        // Only an entity declaration stops the parse without an error of libxml2's own.
        reason = "the document declares an entity, which is refused";
    } else {
        reason = last.message;
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' '))
            reason.pop_back();
    }
    const int line = last.code != XML_ERR_OK
                         ? last.line
                         : xmlSAX2GetLineNumber(const_cast<xmlParserCtxt *>(&parser));
    const int column = last.code != XML_ERR_OK
                           ? last.int2
                           : xmlSAX2GetColumnNumber(const_cast<xmlParserCtxt *>(&parser));
    if (line > 0)
        reason += " (line " + std::to_string(line) + ", column " + std::to_string(column) + ")";
    return reason;
}

ParseState &StateOf(void *context) {
    return *static_cast<ParseState *>(static_cast<xmlParserCtxt *>(context)->_private);
}

// Stops the parse for a file past a limit; the load then fails.
void StopOverLimit(void *context) {
    auto *parser = static_cast<xmlParserCtxt *>(context);
    StateOf(context).m_overLimit = true;
    parser->wellFormed = 0;
    xmlStopParser(parser);
}

// Counts one node more. @return false (parse stopped) past the limit.
bool CountNode(void *context) {
    if (++StateOf(context).m_nodeCount <= kMaxNodes)
        return true;
    StopOverLimit(context);
    return false;
}

// Whether the element being read is past a limit already. libxml2 keeps an element's
// attributes in a table of five slots each that it grows to twice the size needed, so a table
// beyond 10 slots per allowed attribute (plus its start) means more attributes than allowed.
bool IsPastLimits(const xmlParserCtxt &parser) {
    return parser.maxatts > 10 * kMaxAttributesPerElement + 10 ||
           parser.nsNr / 2 > kMaxNamespacesInScope;
}

int ReadPiece(void *context, char *buffer, int length) {
    auto &state = *static_cast<ParseState *>(context);
    if (state.m_parser && IsPastLimits(*state.m_parser)) {
        // A failed read makes the parser end at what it holds: at most one piece more.
        state.m_overLimit = true;
        return -1;
    }
    const std::size_t count =
        std::min({static_cast<std::size_t>(std::max(length, 0)),
                  static_cast<std::size_t>(kReadPiece), state.m_bytes.size() - state.m_offset});
    std::memcpy(buffer, state.m_bytes.data() + state.m_offset, count);
    state.m_offset += count;
    return static_cast<int>(count);
}

int CloseNothing(void *) { return 0; }

// The exact checks, made once an element's start tag is read and before libxml2 builds it.
void StartElementWithinLimits(void *context, const xmlChar *localName, const xmlChar *prefix,
                              const xmlChar *uri, int namespaceCount, const xmlChar **namespaces,
                              int attributeCount, int defaultedCount, const xmlChar **attributes) {
    const auto *parser = static_cast<xmlParserCtxt *>(context);
    if (attributeCount > kMaxAttributesPerElement || parser->nsNr / 2 > kMaxNamespacesInScope) {
        StopOverLimit(context);
        return;
    }
    // The element, and for each attribute an attribute node with a text node below it.
    StateOf(context).m_nodeCount += 2 * static_cast<std::size_t>(attributeCount);
    if (CountNode(context))
        StateOf(context).m_startElement(context, localName, prefix, uri, namespaceCount, namespaces,
                                        attributeCount, defaultedCount, attributes);
}

void CharactersWithinLimits(void *context, const xmlChar *text, int length) {
    // Text that continues the element's last text node is appended to it: no new node.
    const xmlNode *element = static_cast<xmlParserCtxt *>(context)->node;
    const bool continues = element && element->last && element->last->type == XML_TEXT_NODE;
    if (continues || CountNode(context))
        StateOf(context).m_characters(context, text, length);
}

void CdataBlockWithinLimits(void *context, const xmlChar *text, int length) {
    if (CountNode(context))
        StateOf(context).m_cdataBlock(context, text, length);
}

void CommentWithinLimits(void *context, const xmlChar *text) {
    if (CountNode(context))
        StateOf(context).m_comment(context, text);
}

void ProcessingInstructionWithinLimits(void *context, const xmlChar *target, const xmlChar *data) {
    if (CountNode(context))
        StateOf(context).m_processingInstruction(context, target, data);
}

xmlDoc *ParseDocument(const std::string &bytes, std::string *reason = nullptr) {
    ParseState state{bytes};
    std::unique_ptr<xmlParserCtxt, ParserContextDeleter> parser(xmlCreateIOParserCtxt(
        nullptr, nullptr, ReadPiece, CloseNothing, &state, XML_CHAR_ENCODING_NONE));
    if (!parser || !parser->sax)
        return nullptr;
    xmlSAXHandler &sax = *parser->sax;
    if (!sax.startElementNs || !sax.characters || !sax.cdataBlock || !sax.comment ||
        !sax.processingInstruction)
        return nullptr;
    state.m_parser = parser.get();
    state.m_startElement = std::exchange(sax.startElementNs, StartElementWithinLimits);
    state.m_characters = std::exchange(sax.characters, CharactersWithinLimits);
    state.m_cdataBlock = std::exchange(sax.cdataBlock, CdataBlockWithinLimits);
    state.m_comment = std::exchange(sax.comment, CommentWithinLimits);
    state.m_processingInstruction =
        std::exchange(sax.processingInstruction, ProcessingInstructionWithinLimits);
    parser->_private = &state;
    xmlCtxtUseOptions(parser.get(), kParseOptions);
    // Process-wide defaults that a host program may have changed do not reach this parser.
    parser->loadsubset = 0;
    parser->validate = 0;
    parser->replaceEntities = 0;
    parser->sax->entityDecl = RefuseEntityDeclaration;
    parser->sax->unparsedEntityDecl = RefuseUnparsedEntityDeclaration;
    parser->sax->serror = IgnoreParserError;
    parser->userData = parser.get();

    {
        const CSilencedErrors silenced;
        xmlParseDocument(parser.get());
    }
    xmlDoc *document = parser->myDoc;
    parser->myDoc = nullptr;
    // A parser that runs out of memory, or into its limit on text assembled from pieces, stops
    // where it is without marking the document malformed: what it built so far is cut short.
    if (!parser->wellFormed || parser->disableSAX || state.m_overLimit) {
        if (reason)
            *reason = FailureReason(*parser, state);
        xmlFreeDoc(document);
        return nullptr;
    }
    return document;
}

bool ReadFileBytes(const std::string &path, std::string &bytes) {
    // Only regular files, judged on the file opened: a named pipe or a device could block for
    // ever, also one that replaces the file between a check of the path and its opening.
    return Platform::ReadRegularFile(path, static_cast<std::size_t>(INT_MAX), bytes);
}

int AppendToString(void *context, const char *buffer, int length) {
    try {
        static_cast<std::string *>(context)->append(buffer, static_cast<std::size_t>(length));
        return length;
    } catch (...) {
        return -1;
    }
}

} // namespace

CXmlError::CXmlError(XmlErrorCode code) : std::runtime_error(ErrorText(code)), m_code(code) {}

const char kSchemaErrorText[] =
    "The given XML-Stream is not a valid schema (look at KalvoXML-Schemata) !";

CSchemaError::CSchemaError() : std::runtime_error(kSchemaErrorText) {}

void DocumentDeleter::operator()(xmlDoc *document) const { xmlFreeDoc(document); }
void NodeDeleter::operator()(xmlNode *node) const { xmlFreeNode(node); }

void EnsureXmlInitialised() {
    // libxml2 wants its global initialisation once, before any thread parses. It is never
    // undone: the host program may use libxml2 itself.
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

DocumentPtr CreateXmlDocument() {
    EnsureXmlInitialised();
    return DocumentPtr(xmlNewDoc(AsXmlChars("1.0")));
}

bool LoadXmlDocument(DocumentPtr &document, const std::string &path) {
    RequireHandle(document.get());
    EnsureXmlInitialised();
    std::string bytes;
    if (!ReadFileBytes(path, bytes))
        return false;
    DocumentPtr loaded(ParseDocument(bytes));
    if (!loaded)
        return false;
    document = std::move(loaded);
    return true;
}

DocumentPtr ParseXmlBytes(const std::string &bytes) {
    EnsureXmlInitialised();
    return DocumentPtr(ParseDocument(bytes));
}

DocumentPtr ParseXmlBytes(const std::string &bytes, std::string &reason) {
    EnsureXmlInitialised();
    reason = "the parser could not start";
    return DocumentPtr(ParseDocument(bytes, &reason));
}

xmlNode *SelectSingleElement(const xmlDoc *document, const char *name) {
    return FirstElementNamed(RequireHandle(document)->children, name);
}

xmlNode *SelectSingleElement(const xmlNode *node, const char *name) {
    return FirstElementNamed(RequireHandle(node)->children, name);
}

std::vector<xmlNode *> SelectElements(const xmlNode *node, const char *name) {
    std::vector<xmlNode *> elements;
    for (xmlNode *child = RequireHandle(node)->children; child; child = child->next)
        if (IsElementNamed(child, name))
            elements.push_back(child);
    return elements;
}

std::string GetElementText(const xmlNode *element) {
    if (!element)
        throw CSchemaError();
    if (!element->children)
        return std::string();
    try {
        return ContentAsNarrow(element->children);
    } catch (const CXmlError &) {
        return std::string();
    }
}

bool GetUniqueChildText(const xmlNode *element, const char *name, std::string &text) {
    const std::vector<xmlNode *> children = SelectElements(element, name);
    if (children.size() != 1)
        return false;
    text = GetElementText(children[0]);
    return true;
}

std::int32_t GetElementInteger(const xmlNode *element) {
    if (!element || !element->children)
        throw CSchemaError();
    // Only nodes that carry a value of their own (text, CDATA, comment, processing
    // instruction) can hold the number; an element or entity reference first never does.
    const xmlNode *first = element->children;
    const bool hasValue = first->type == XML_TEXT_NODE || first->type == XML_CDATA_SECTION_NODE ||
                          first->type == XML_COMMENT_NODE || first->type == XML_PI_NODE;
    std::int32_t value = 0;
    if (!hasValue || !first->content || !ParseInteger(AsChars(first->content), value))
        throw CXmlError(XmlErrorCode::NotAnInteger);
    return value;
}

bool GetUniqueChildInteger(const xmlNode *element, const char *name, std::int32_t &value) {
    const std::vector<xmlNode *> children = SelectElements(element, name);
    if (children.size() != 1)
        return false;
    try {
        value = GetElementInteger(children[0]);
        return true;
    } catch (...) {
        return false;
    }
}

bool GetIdAttribute(const xmlNode *element, std::string &id) {
    if (!element || element->type != XML_ELEMENT_NODE)
        return false;
    for (const xmlAttr *attribute = element->properties; attribute; attribute = attribute->next) {
        if (attribute->ns || !xmlStrEqual(attribute->name, AsXmlChars("id")))
            continue;
        std::string value = ContentAsNarrow(reinterpret_cast<const xmlNode *>(attribute));
        const std::size_t first = value.find_first_not_of(" \t\n\r");
        const std::size_t last = value.find_last_not_of(" \t\n\r");
        id = first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
        return true;
    }
    return false;
}

std::string ReadLocalizedName(const xmlNode *nameElement) {
    const std::vector<xmlNode *> cultures = SelectElements(RequireHandle(nameElement), "Culture");
    for (const xmlNode *culture : cultures) {
        std::string id;
        if (!GetIdAttribute(culture, id))
            continue;
        // Fetched for each id: the language is determined once per process, on first use.
        if (id == Localization::Instance().GetText(MessageId::CultureCode))
            return ContentAsNarrow(culture);
    }
    return std::string();
}

NodePtr CreateProcessingInstruction(xmlDoc *document, const std::string &target,
                                    const std::string &data) {
    RequireHandle(document);
    const std::string utf8Target = NarrowToUtf8(target);
    const std::string utf8Data = NarrowToUtf8(data);
    NodePtr node(
        xmlNewDocPI(document, AsXmlChars(utf8Target.c_str()), AsXmlChars(utf8Data.c_str())));
    if (!node)
        throw CXmlError(XmlErrorCode::OutOfMemory);
    return node;
}

NodePtr CreateElement(xmlDoc *document, const std::string &name) {
    RequireHandle(document);
    const std::string utf8Name = NarrowToUtf8(name);
    NodePtr node(xmlNewDocNode(document, nullptr, AsXmlChars(utf8Name.c_str()), nullptr));
    if (!node)
        throw CXmlError(XmlErrorCode::OutOfMemory);
    return node;
}

void AppendChild(xmlDoc *document, NodePtr child) {
    // A document is a node to libxml2: its children are the prolog and the document element.
    AppendChild(reinterpret_cast<xmlNode *>(RequireHandle(document)), std::move(child));
}

void AppendChild(xmlNode *parent, NodePtr child) {
    RequireHandle(parent);
    RequireHandle(child.get());
    if (!xmlAddChild(parent, child.get()))
        throw CXmlError(XmlErrorCode::NotLinked);
    child.release(); // now owned by the parent (or merged into its last text node)
}

void SetElementText(xmlNode *element, const std::string &value) {
    RequireHandle(element);
    const std::string utf8 = NarrowToUtf8(value);
    while (xmlNode *child = element->children) {
        xmlUnlinkNode(child);
        xmlFreeNode(child);
    }
    if (utf8.empty())
        return;
    // A text node holds its text literally; escaping happens when the document is written.
    NodePtr text(
        xmlNewDocTextLen(element->doc, AsXmlChars(utf8.data()), static_cast<int>(utf8.size())));
    if (!text)
        throw CXmlError(XmlErrorCode::OutOfMemory);
    AppendChild(element, std::move(text));
}

bool WriteIndented(std::string &output, const xmlDoc *document) {
    RequireHandle(document);
    // The declaration is written here and nowhere else, so that a processing instruction named
    // "xml" in the document cannot produce a second one.
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
    std::unique_ptr<xmlSaveCtxt, SaveContextDeleter> writer(
        xmlSaveToIO(AppendToString, nullptr, &text, "UTF-8", XML_SAVE_FORMAT | XML_SAVE_NO_DECL));
    if (!writer)
        return false;
    for (xmlNode *child = document->children; child; child = child->next) {
        if (child->type == XML_PI_NODE && xmlStrcasecmp(child->name, AsXmlChars("xml")) == 0)
            continue;
        if (xmlSaveTree(writer.get(), child) < 0 || xmlSaveFlush(writer.get()) < 0)
            return false;
        text += '\n';
    }
    if (xmlSaveClose(writer.release()) < 0)
        return false;
    output = std::move(text);
    return true;
}

bool SaveXmlDocument(const xmlDoc *document, const std::string &path) {
    std::string bytes;
    if (!WriteIndented(bytes, RequireHandle(document)))
        return false;
    return Platform::WriteWholeFile(path, bytes);
}

} // namespace Geo::Xml
