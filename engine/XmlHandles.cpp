#include "engine/XmlHandles.h"

#include "platform/Format.h"
#include "platform/TextRules.h"

#include <fstream>
#include <mutex>
#include <sstream>

namespace engine {

void XmlDeleter::operator()(xmlDoc* doc) const noexcept
{
    xmlFreeDoc(doc);
}
void XmlDeleter::operator()(xmlNode* node) const noexcept
{
    xmlFreeNode(node);
}
void XmlDeleter::operator()(xmlParserCtxt* ctxt) const noexcept
{
    xmlFreeParserCtxt(ctxt);
}
void XmlDeleter::operator()(xmlXPathContext* ctxt) const noexcept
{
    xmlXPathFreeContext(ctxt);
}
void XmlDeleter::operator()(xmlXPathObject* object) const noexcept
{
    xmlXPathFreeObject(object);
}
void XmlDeleter::operator()(xmlSchemaParserCtxt* ctxt) const noexcept
{
    xmlSchemaFreeParserCtxt(ctxt);
}
void XmlDeleter::operator()(xmlSchema* schema) const noexcept
{
    xmlSchemaFree(schema);
}
void XmlDeleter::operator()(xmlSchemaValidCtxt* ctxt) const noexcept
{
    xmlSchemaFreeValidCtxt(ctxt);
}
void XmlDeleter::operator()(xmlBuffer* buffer) const noexcept
{
    xmlBufferFree(buffer);
}
void XmlDeleter::operator()(xmlSaveCtxt* ctxt) const noexcept
{
    xmlSaveClose(ctxt);
}
void XmlDeleter::operator()(xmlChar* text) const noexcept
{
    xmlFree(text);
}
void XmlDeleter::operator()(xsltStylesheet* sheet) const noexcept
{
    xsltFreeStylesheet(sheet);
}
void XmlDeleter::operator()(xsltSecurityPrefs* prefs) const noexcept
{
    xsltFreeSecurityPrefs(prefs);
}
void XmlDeleter::operator()(xsltTransformContext* ctxt) const noexcept
{
    xsltFreeTransformContext(ctxt);
}

namespace {

xmlExternalEntityLoader s_defaultLoader = nullptr;
thread_local int s_untrustedParses = 0;

bool IsLocalUrl(const char* url)
{
    if (url == nullptr) {
        return false;
    }
    const std::string_view text(url);
    const size_t scheme = text.find("://");
    if (scheme == std::string_view::npos) {
        return true;
    }
    return platform::EqualsIgnoreCase(text.substr(0, scheme), "file");
}

// City answers are untrusted: while one is parsed nothing outside the text is loaded, and
// the engine's own files (schemas, stylesheets) never pull anything from the network.
xmlParserInputPtr SafeEntityLoader(const char* url, const char* id, xmlParserCtxtPtr ctxt)
{
    if (s_untrustedParses > 0 || !IsLocalUrl(url)) {
        return nullptr;
    }
    return s_defaultLoader(url, id, ctxt);
}

class UntrustedScope
{
public:
    UntrustedScope() { ++s_untrustedParses; }
    ~UntrustedScope() { --s_untrustedParses; }
    UntrustedScope(const UntrustedScope&) = delete;
    UntrustedScope& operator=(const UntrustedScope&) = delete;
};

// No network, no DTD loading, no entity substitution, no size-limit lifting; parse errors
// are read from the context, never printed.
constexpr int kSafeParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

std::string LastErrorText(xmlParserCtxt* ctxt)
{
    const xmlError* error = xmlCtxtGetLastError(ctxt);
    if (error == nullptr || error->message == nullptr) {
        return "documento vazio ou inválido";
    }
    std::string message(platform::TrimRight(error->message));
    return platform::Format("linha %d, coluna %d: %s", error->line, error->int2, message);
}

XmlDocPtr CheckedResult(xmlDoc* doc, xmlParserCtxt* ctxt, std::string* reason)
{
    XmlDocPtr result(doc);
    if (result && xmlDocGetRootElement(result.get()) == nullptr) {
        result.reset();
    }
    if (!result && reason != nullptr) {
        *reason = LastErrorText(ctxt);
    }
    return result;
}

} // namespace

void EnsureXmlLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        s_defaultLoader = xmlGetExternalEntityLoader();
        xmlSetExternalEntityLoader(SafeEntityLoader);
    });
}

XmlDocPtr ParseXmlText(std::string_view text, std::string* reason, bool dropBlankText)
{
    EnsureXmlLibrary();
    XmlParserCtxtPtr ctxt(xmlNewParserCtxt());
    if (!ctxt) {
        throw std::bad_alloc();
    }
    UntrustedScope untrusted;
    xmlDoc* doc = xmlCtxtReadMemory(ctxt.get(), text.data(), static_cast<int>(text.size()), nullptr, "UTF-8",
                                    kSafeParseOptions | (dropBlankText ? XML_PARSE_NOBLANKS : 0));
    return CheckedResult(doc, ctxt.get(), reason);
}

XmlDocPtr ParseXmlFile(const std::string& fileName, std::string* reason, bool* hasDeclaration)
{
    EnsureXmlLibrary();
    // Read here, not by libxml2: its file reading goes through the entity loader, which
    // stays shut while the content is parsed.
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        if (reason != nullptr) {
            *reason = "arquivo não encontrado: " + fileName;
        }
        return nullptr;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    const std::string bytes = buffer.str();
    if (hasDeclaration != nullptr) {
        *hasDeclaration = StartsWithDeclaration(bytes);
    }
    XmlParserCtxtPtr ctxt(xmlNewParserCtxt());
    if (!ctxt) {
        throw std::bad_alloc();
    }
    UntrustedScope untrusted;
    xmlDoc* doc = xmlCtxtReadMemory(ctxt.get(), bytes.data(), static_cast<int>(bytes.size()), fileName.c_str(), nullptr,
                                    kSafeParseOptions);
    return CheckedResult(doc, ctxt.get(), reason);
}

bool StartsWithDeclaration(std::string_view text)
{
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    return platform::TrimLeft(text).starts_with("<?xml");
}

std::string ToString(const xmlChar* text)
{
    return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text));
}

std::string NodeXml(const xmlNode* node)
{
    if (node == nullptr) {
        return {};
    }
    XmlBufferPtr buffer(xmlBufferCreate());
    if (node->type != XML_ELEMENT_NODE) {
        xmlNodeDump(buffer.get(), node->doc, const_cast<xmlNode*>(node), 0, 0);
        return ToString(xmlBufferContent(buffer.get()));
    }
    // libxml2 writes a node as it sits in its tree, without the declarations of its
    // ancestors; a copy made root of its own document gets them.
    XmlDocPtr holder(xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0")));
    xmlNode* copy = xmlDocCopyNode(const_cast<xmlNode*>(node), holder.get(), 1);
    if (copy == nullptr) {
        throw std::bad_alloc();
    }
    xmlDocSetRootElement(holder.get(), copy);
    if (xmlNs** inScope = xmlGetNsList(node->doc, node)) {
        for (xmlNs** ns = inScope; *ns != nullptr; ++ns) {
            bool declared = false;
            for (xmlNs* own = copy->nsDef; own != nullptr; own = own->next) {
                if (xmlStrEqual(own->prefix, (*ns)->prefix)) {
                    declared = true;
                    break;
                }
            }
            if (!declared) {
                xmlNewNs(copy, (*ns)->href, (*ns)->prefix);
            }
        }
        xmlFree(inScope);
    }
    xmlNodeDump(buffer.get(), holder.get(), copy, 0, 0);
    return ToString(xmlBufferContent(buffer.get()));
}

std::string DocumentXml(const xmlDoc* doc, bool withDeclaration, bool indent)
{
    if (doc == nullptr) {
        return {};
    }
    XmlBufferPtr buffer(xmlBufferCreate());
    int options = 0;
    if (!withDeclaration) {
        options |= XML_SAVE_NO_DECL;
    }
    if (indent) {
        options |= XML_SAVE_FORMAT;
    }
    {
        XmlSaveCtxtPtr save(xmlSaveToBuffer(buffer.get(), "UTF-8", options));
        if (!save) {
            throw std::bad_alloc();
        }
        xmlSaveDoc(save.get(), const_cast<xmlDoc*>(doc));
    }
    std::string text = ToString(xmlBufferContent(buffer.get()));
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

} // namespace engine
