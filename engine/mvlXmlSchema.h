#pragma once

#include "engine/mvlXPath.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One loaded XSD document, with its top-level declarations indexed by name.
class TmvlXmlSchema : public TmvlXPath
{
public:
    enum class TKind
    {
        SimpleType,
        ComplexType,
        Element
    };

    // Loads the file; the prefix "xsd" selects the W3C XML Schema namespace.
    explicit TmvlXmlSchema(std::string fileName);

    const std::string& FileName() const { return m_fileName; }
    // The schema's target namespace; a schema without one, included by another, takes the
    // including schema's, as the schema language prescribes.
    const std::string& TargetNamespace() const { return m_targetNamespace; }
    bool HasOwnTargetNamespace() const { return m_ownTargetNamespace; }
    void SetTargetNamespace(std::string uri) { m_targetNamespace = std::move(uri); }

    // The top-level xsd:simpleType, xsd:complexType or xsd:element of that name; null when absent.
    _xmlNode* TopLevel(TKind kind, std::string_view name) const;
    // Any xsd:element of that name, at any depth.
    bool DeclaresElement(std::string_view name) const;
    // The schema element's namespace declarations in document order: prefix ("" for the
    // default namespace) and URI.
    const std::vector<std::pair<std::string, std::string>>& Declarations() const { return m_declarations; }
    // xsd:import and xsd:include locations, in document order.
    const std::vector<std::string>& SchemaLocations() const { return m_locations; }

private:
    std::string m_fileName;
    std::string m_targetNamespace;
    bool m_ownTargetNamespace = false;
    std::unordered_map<std::string, _xmlNode*> m_index[3];
    std::vector<std::string> m_elementNames;
    std::vector<std::pair<std::string, std::string>> m_declarations;
    std::vector<std::string> m_locations;
};

// The main schema first, then the ones it imports and includes.
using TmvlXmlSchemaList = std::vector<std::unique_ptr<TmvlXmlSchema>>;

namespace engine {

// The W3C XML Schema namespace.
inline constexpr std::string_view kXsdNamespace = "http://www.w3.org/2001/XMLSchema";

} // namespace engine
