#include "engine/mvlCustomXML.h"

#include "engine/XmlHandles.h"
#include "engine/mvlExceptions.h"
#include "platform/Format.h"
#include "platform/TextRules.h"

namespace engine {

struct XmlDocumentState
{
    XmlDocPtr Doc;
    bool HasDeclaration = false;
};

std::string XmlNode::Name() const
{
    if (m_node == nullptr) {
        return {};
    }
    const std::string local = ToString(m_node->name);
    if ((m_node->type == XML_ELEMENT_NODE || m_node->type == XML_ATTRIBUTE_NODE) && m_node->ns != nullptr &&
        m_node->ns->prefix != nullptr) {
        return ToString(m_node->ns->prefix) + ":" + local;
    }
    return local;
}

std::string XmlNode::LocalName() const
{
    return m_node == nullptr ? std::string() : ToString(m_node->name);
}

std::string XmlNode::NamespaceURI() const
{
    if (m_node == nullptr || m_node->ns == nullptr ||
        (m_node->type != XML_ELEMENT_NODE && m_node->type != XML_ATTRIBUTE_NODE)) {
        return {};
    }
    return ToString(m_node->ns->href);
}

std::string XmlNode::Text() const
{
    if (m_node == nullptr) {
        return {};
    }
    XmlCharPtr text(xmlNodeGetContent(m_node));
    return ToString(text.get());
}

void XmlNode::SetText(std::string_view text)
{
    if (m_node == nullptr) {
        return;
    }
    // Plain text, never markup: the node's children are replaced by one escaped text node.
    XmlCharPtr escaped(xmlEncodeSpecialChars(m_node->doc, ToXmlChar(std::string(text))));
    xmlNodeSetContent(m_node, escaped.get());
}

std::string XmlNode::Attribute(std::string_view localName) const
{
    if (m_node == nullptr || m_node->type != XML_ELEMENT_NODE) {
        return {};
    }
    for (xmlAttr* attr = m_node->properties; attr != nullptr; attr = attr->next) {
        if (ToString(attr->name) == localName) {
            XmlCharPtr value(xmlNodeListGetString(m_node->doc, attr->children, 1));
            return ToString(value.get());
        }
    }
    return {};
}

bool XmlNode::HasAttribute(std::string_view localName) const
{
    if (m_node == nullptr || m_node->type != XML_ELEMENT_NODE) {
        return false;
    }
    for (xmlAttr* attr = m_node->properties; attr != nullptr; attr = attr->next) {
        if (ToString(attr->name) == localName) {
            return true;
        }
    }
    return false;
}

std::string XmlNode::Xml() const
{
    return NodeXml(m_node);
}

XmlNode XmlNode::Parent() const
{
    if (m_node == nullptr || m_node->parent == nullptr || m_node->parent->type != XML_ELEMENT_NODE) {
        return XmlNode();
    }
    return XmlNode(m_node->parent);
}

std::vector<XmlNode> XmlNode::Children() const
{
    std::vector<XmlNode> children;
    if (m_node == nullptr) {
        return children;
    }
    for (xmlNode* child = m_node->children; child != nullptr; child = child->next) {
        if (child->type == XML_ELEMENT_NODE) {
            children.emplace_back(child);
        }
    }
    return children;
}

} // namespace engine

TmvlCustomXML::TmvlCustomXML()
    : m_state(std::make_unique<engine::XmlDocumentState>())
{
    engine::EnsureXmlLibrary();
}

TmvlCustomXML::~TmvlCustomXML() = default;

void TmvlCustomXML::LoadXML(std::string_view text)
{
    std::string reason;
    if (!TryLoadXML(text, &reason)) {
        throw EmvlException(platform::Format("could not load xml %s [%s]", reason, text));
    }
}

bool TmvlCustomXML::TryLoadXML(std::string_view text, std::string* reason)
{
    engine::XmlDocPtr doc = engine::ParseXmlText(text, reason);
    if (!doc) {
        return false;
    }
    m_state->Doc = std::move(doc);
    m_state->HasDeclaration = engine::StartsWithDeclaration(text);
    return true;
}

void TmvlCustomXML::LoadFromFile(const std::string& fileName)
{
    std::string reason;
    bool declaration = false;
    engine::XmlDocPtr doc = engine::ParseXmlFile(fileName, &reason, &declaration);
    if (!doc) {
        throw EmvlException(platform::Format("could not load xml %s [%s]", reason, fileName));
    }
    m_state->Doc = std::move(doc);
    m_state->HasDeclaration = declaration;
}

bool TmvlCustomXML::Loaded() const
{
    return m_state->Doc != nullptr;
}

std::string TmvlCustomXML::XML() const
{
    return engine::DocumentXml(m_state->Doc.get(), m_state->HasDeclaration);
}

engine::XmlNode TmvlCustomXML::DocumentElement() const
{
    if (!m_state->Doc) {
        return engine::XmlNode();
    }
    return engine::XmlNode(xmlDocGetRootElement(m_state->Doc.get()));
}

_xmlDoc* TmvlCustomXML::Document() const
{
    return m_state->Doc.get();
}
