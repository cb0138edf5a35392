#include "engine/mvlXmlSchema.h"

#include "engine/XmlHandles.h"

#include <algorithm>

namespace {

bool IsXsd(const xmlNode* node, std::string_view localName)
{
    return node->type == XML_ELEMENT_NODE && node->ns != nullptr &&
        engine::ToString(node->ns->href) == engine::kXsdNamespace && engine::ToString(node->name) == localName;
}

void CollectElementNames(const xmlNode* node, std::vector<std::string>& names)
{
    for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
        if (child->type != XML_ELEMENT_NODE) {
            continue;
        }
        if (IsXsd(child, "element")) {
            engine::XmlCharPtr name(xmlGetProp(child, reinterpret_cast<const xmlChar*>("name")));
            if (name) {
                names.push_back(engine::ToString(name.get()));
            }
        }
        CollectElementNames(child, names);
    }
}

} // namespace

TmvlXmlSchema::TmvlXmlSchema(std::string fileName)
    : m_fileName(std::move(fileName))
{
    SetSelectionNamespaces("xmlns:xsd=\"" + std::string(engine::kXsdNamespace) + "\"");
    LoadFromFile(m_fileName);
    const xmlNode* root = xmlDocGetRootElement(Document());
    if (root == nullptr || !IsXsd(root, "schema")) {
        return;
    }
    engine::XmlCharPtr target(xmlGetProp(root, reinterpret_cast<const xmlChar*>("targetNamespace")));
    m_ownTargetNamespace = target != nullptr;
    m_targetNamespace = engine::ToString(target.get());
    for (const xmlNs* ns = root->nsDef; ns != nullptr; ns = ns->next) {
        m_declarations.emplace_back(engine::ToString(ns->prefix), engine::ToString(ns->href));
    }
    for (xmlNode* child = root->children; child != nullptr; child = child->next) {
        if (child->type != XML_ELEMENT_NODE) {
            continue;
        }
        int kind = -1;
        if (IsXsd(child, "simpleType")) {
            kind = static_cast<int>(TKind::SimpleType);
        } else if (IsXsd(child, "complexType")) {
            kind = static_cast<int>(TKind::ComplexType);
        } else if (IsXsd(child, "element")) {
            kind = static_cast<int>(TKind::Element);
        } else if (IsXsd(child, "import") || IsXsd(child, "include")) {
            engine::XmlCharPtr location(xmlGetProp(child, reinterpret_cast<const xmlChar*>("schemaLocation")));
            if (location) {
                m_locations.push_back(engine::ToString(location.get()));
            }
            continue;
        }
        if (kind < 0) {
            continue;
        }
        engine::XmlCharPtr name(xmlGetProp(child, reinterpret_cast<const xmlChar*>("name")));
        if (name) {
            // The first declaration of a name wins, as a query for it would find.
            m_index[kind].emplace(engine::ToString(name.get()), child);
        }
    }
    CollectElementNames(root, m_elementNames);
}

_xmlNode* TmvlXmlSchema::TopLevel(TKind kind, std::string_view name) const
{
    const auto& index = m_index[static_cast<int>(kind)];
    const auto found = index.find(std::string(name));
    return found == index.end() ? nullptr : found->second;
}

bool TmvlXmlSchema::DeclaresElement(std::string_view name) const
{
    return std::find(m_elementNames.begin(), m_elementNames.end(), name) != m_elementNames.end();
}
