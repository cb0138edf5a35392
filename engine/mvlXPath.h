#pragma once

#include "engine/mvlCustomXML.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// XPath 1.0 over one document. Provider answers differ in their prefixes, so callers select
// by local name (local-name() or LocalNameXPath) or through prefixes they register here.
class TmvlXPath : public TmvlCustomXML
{
public:
    TmvlXPath();
    ~TmvlXPath() override;

    void LoadXML(std::string_view text) override;

    // Declarations such as xmlns:xsd="..." xmlns:nfse="...", separated by blanks.
    void SetSelectionNamespaces(std::string_view declarations);
    const std::string& SelectionNamespaces() const { return m_selectionNamespaces; }

    // From the document, or from the given node. The first match becomes the current node;
    // an invalid expression fails with EmvlException naming it.
    bool SelectNode(std::string_view xpath, engine::XmlNode context = {});
    bool SelectNodes(std::string_view xpath, engine::XmlNode context = {});
    // The string value of the first match; empty when nothing matches. Leaves the current node.
    std::string SelectText(std::string_view xpath, engine::XmlNode context = {});
    // Any XPath result (string(), count(), a boolean) as text.
    std::string Evaluate(std::string_view xpath, engine::XmlNode context = {});

    engine::XmlNode CurrentNode() const { return m_currentNode; }
    void SetCurrentNode(engine::XmlNode node) { m_currentNode = node; }
    const std::vector<engine::XmlNode>& CurrentNodeList() const { return m_currentNodeList; }
    void SetCurrentNodeList(std::vector<engine::XmlNode> nodes) { m_currentNodeList = std::move(nodes); }

    // The last child of the document (a comment or instruction after the root counts).
    engine::XmlNode LastTopLevelNode() const;

private:
    std::vector<engine::XmlNode> Select(std::string_view xpath, engine::XmlNode context);

    std::string m_selectionNamespaces;
    std::vector<std::pair<std::string, std::string>> m_namespaces; // prefix, URI
    engine::XmlNode m_currentNode;
    std::vector<engine::XmlNode> m_currentNodeList;
};

namespace engine {

// A value as an XPath string literal. A value holding both quote characters cannot be one
// literal, so it becomes concat() of pieces: values found in documents may hold either.
std::string XPathLiteral(std::string_view value);

// "//Lote/Numero[2]" or "Envelope/Body/*" with every name step matched by its local name:
// "//*[local-name()='Lote']/*[local-name()='Numero'][2]". Predicates, steps holding "(",
// ":" or "@" and the steps ".", "..", "*" are kept as written.
std::string LocalNameXPath(std::string_view path);

} // namespace engine
