#pragma once

// The one header that brings libxml2 and libxslt into our code, with one owner type per
// C handle; their free functions are called only in these deleters.

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/uri.h>
#include <libxml/xmlsave.h>
#include <libxml/xmlschemas.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <memory>
#include <string>

namespace engine {

struct XmlDeleter
{
    void operator()(xmlDoc* doc) const noexcept;
    void operator()(xmlNode* node) const noexcept; // an unlinked node and its subtree
    void operator()(xmlParserCtxt* ctxt) const noexcept;
    void operator()(xmlXPathContext* ctxt) const noexcept;
    void operator()(xmlXPathObject* object) const noexcept;
    void operator()(xmlSchemaParserCtxt* ctxt) const noexcept;
    void operator()(xmlSchema* schema) const noexcept;
    void operator()(xmlSchemaValidCtxt* ctxt) const noexcept;
    void operator()(xmlBuffer* buffer) const noexcept;
    void operator()(xmlSaveCtxt* ctxt) const noexcept;
    void operator()(xmlChar* text) const noexcept;
    void operator()(xsltStylesheet* sheet) const noexcept;
    void operator()(xsltSecurityPrefs* prefs) const noexcept;
    void operator()(xsltTransformContext* ctxt) const noexcept;
};

using XmlDocPtr = std::unique_ptr<xmlDoc, XmlDeleter>;
using XmlNodePtr = std::unique_ptr<xmlNode, XmlDeleter>;
using XmlParserCtxtPtr = std::unique_ptr<xmlParserCtxt, XmlDeleter>;
using XPathContextPtr = std::unique_ptr<xmlXPathContext, XmlDeleter>;
using XPathObjectPtr = std::unique_ptr<xmlXPathObject, XmlDeleter>;
using SchemaParserCtxtPtr = std::unique_ptr<xmlSchemaParserCtxt, XmlDeleter>;
using SchemaPtr = std::unique_ptr<xmlSchema, XmlDeleter>;
using SchemaValidCtxtPtr = std::unique_ptr<xmlSchemaValidCtxt, XmlDeleter>;
using XmlBufferPtr = std::unique_ptr<xmlBuffer, XmlDeleter>;
using XmlSaveCtxtPtr = std::unique_ptr<xmlSaveCtxt, XmlDeleter>;
using XmlCharPtr = std::unique_ptr<xmlChar, XmlDeleter>;
using XsltStylesheetPtr = std::unique_ptr<xsltStylesheet, XmlDeleter>;
using XsltSecurityPrefsPtr = std::unique_ptr<xsltSecurityPrefs, XmlDeleter>;
using XsltTransformContextPtr = std::unique_ptr<xsltTransformContext, XmlDeleter>;

// Sets the process-wide parts of libxml2 once: its parser state and an entity loader that
// never reaches the network and loads nothing at all while an untrusted text is parsed.
void EnsureXmlLibrary();

// Parses UTF-8 text (any encoding label inside is ignored: our texts are UTF-8) with no
// network, no DTD loading, no entity substitution. Returns null and the parser's reason on
// failure.
XmlDocPtr ParseXmlText(std::string_view text, std::string* reason = nullptr, bool dropBlankText = false);
// Parses a file's bytes, honouring their encoding declaration, with the same safety;
// tells whether the file starts with an XML declaration.
XmlDocPtr ParseXmlFile(const std::string& fileName, std::string* reason = nullptr, bool* hasDeclaration = nullptr);
// Whether a text starts (after a byte-order mark and blanks) with an XML declaration.
bool StartsWithDeclaration(std::string_view text);

std::string ToString(const xmlChar* text);
inline const xmlChar* ToXmlChar(const std::string& text)
{
    return reinterpret_cast<const xmlChar*>(text.c_str());
}

// The node's XML on its own: a copy carries every namespace declaration it inherits.
std::string NodeXml(const xmlNode* node);
// The document's text: the declaration only when the source had one.
std::string DocumentXml(const xmlDoc* doc, bool withDeclaration, bool indent = false);

} // namespace engine
