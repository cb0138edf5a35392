#include "engine/mvlNFSeXsdCustomDataset.h"

#include "engine/XmlHandles.h"
#include "engine/mvlExceptions.h"
#include "platform/Format.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"

#include <algorithm>
#include <charconv>
#include <unordered_set>

namespace {

constexpr size_t kDefaultFieldSize = 255;
constexpr size_t kLargestStringField = 255;

bool IsBuiltInType(std::string_view qname)
{
    static const std::unordered_set<std::string_view> kBuiltIn {"string",
                                                                "normalizedString",
                                                                "token",
                                                                "base64Binary",
                                                                "hexBinary",
                                                                "integer",
                                                                "positiveInteger",
                                                                "negativeInteger",
                                                                "nonNegativeInteger",
                                                                "nonPositiveInteger",
                                                                "long",
                                                                "unsignedLong",
                                                                "int",
                                                                "unsignedInt",
                                                                "short",
                                                                "unsignedShort",
                                                                "byte",
                                                                "unsignedByte",
                                                                "decimal",
                                                                "float",
                                                                "double",
                                                                "boolean",
                                                                "duration",
                                                                "dateTime",
                                                                "date",
                                                                "time",
                                                                "gYear",
                                                                "gYearMonth",
                                                                "gMonth",
                                                                "gMonthDay",
                                                                "gDay",
                                                                "Name",
                                                                "QName",
                                                                "NCName",
                                                                "anyURI",
                                                                "language",
                                                                "ID",
                                                                "IDREF",
                                                                "IDREFS",
                                                                "ENTITY",
                                                                "ENTITIES",
                                                                "NOTATION",
                                                                "NMTOKEN",
                                                                "NMTOKENS"};
    const size_t colon = qname.find(':');
    return kBuiltIn.contains(colon == std::string_view::npos ? qname : qname.substr(colon + 1));
}

std::string_view LocalPart(std::string_view qname)
{
    const size_t colon = qname.find(':');
    return colon == std::string_view::npos ? qname : qname.substr(colon + 1);
}

bool IsXsd(const xmlNode* node, std::string_view localName)
{
    return node != nullptr && node->type == XML_ELEMENT_NODE && node->ns != nullptr &&
        engine::ToString(node->ns->href) == engine::kXsdNamespace && engine::ToString(node->name) == localName;
}

std::string Attr(const xmlNode* node, const char* name)
{
    engine::XmlCharPtr value(xmlGetProp(node, reinterpret_cast<const xmlChar*>(name)));
    return engine::ToString(value.get());
}

bool HasAttr(const xmlNode* node, const char* name)
{
    return xmlHasProp(node, reinterpret_cast<const xmlChar*>(name)) != nullptr;
}

std::vector<xmlNode*> ElementChildren(const xmlNode* node)
{
    std::vector<xmlNode*> children;
    for (xmlNode* child = node->children; child != nullptr; child = child->next) {
        if (child->type == XML_ELEMENT_NODE) {
            children.push_back(child);
        }
    }
    return children;
}

const xmlNode* FindDescendant(const xmlNode* node, std::string_view localName)
{
    for (const xmlNode* child : ElementChildren(node)) {
        if (IsXsd(child, localName)) {
            return child;
        }
        if (const xmlNode* found = FindDescendant(child, localName)) {
            return found;
        }
    }
    return nullptr;
}

// Absent or not a number counts as one.
bool Repeats(const xmlNode* element)
{
    const std::string maxOccurs = Attr(element, "maxOccurs");
    if (maxOccurs == "unbounded") {
        return true;
    }
    long long value = 1;
    const auto [end, error] = std::from_chars(maxOccurs.data(), maxOccurs.data() + maxOccurs.size(), value);
    return error == std::errc() && end == maxOccurs.data() + maxOccurs.size() && value > 1;
}

} // namespace

// One walk of a schema into a dataset tree.
class XsdTreeWalker
{
public:
    XsdTreeWalker(TmvlCustomXsdDataset& owner, std::string elementName, std::string startNode)
        : m_owner(owner)
        , m_elementName(std::move(elementName))
        , m_startNode(std::move(startNode))
    { }

    void Run(xmlNode* declaration, const TmvlXmlSchema* schema)
    {
        History("HISTÓRICO DE GERAÇÃO DO DATASET:");
        WalkElement(declaration, Context {"", "", nullptr, schema});
        History("NAMESPACES USADOS:");
        for (const auto& [name, value] : m_owner.m_UsedNamespaces) {
            History(name + "=" + value);
        }
        History("NAMESPACES DOS NODES:");
        for (const auto& [name, value] : m_owner.m_elementNamespaces) {
            History(name + "=" + value);
        }
    }

private:
    struct Context
    {
        std::string ElementName;
        std::string Path;
        TMvlXSDClientDataSet* DataSet = nullptr;
        const TmvlXmlSchema* Schema = nullptr;
    };

    struct Found
    {
        xmlNode* Node = nullptr;
        const TmvlXmlSchema* Schema = nullptr;
    };

    void History(std::string line)
    {
        if (m_owner.m_DebugMode) {
            m_owner.m_history.push_back(std::string(m_depth, '\t') + line);
        }
    }

    void WalkNode(xmlNode* node, const Context& ctx)
    {
        if (m_finished) {
            return;
        }
        if (IsXsd(node, "complexType") || IsXsd(node, "sequence") || IsXsd(node, "choice") || IsXsd(node, "all") ||
            IsXsd(node, "complexContent") || IsXsd(node, "simpleContent")) {
            WalkChildren(node, ctx);
        } else if (IsXsd(node, "extension")) {
            const std::string base = Attr(node, "base");
            if (IsBuiltInType(base)) {
                // A simple content extended with attributes: the element keeps its own value.
                AddDataField(ctx, kDefaultFieldSize, base);
            } else if (!base.empty()) {
                WalkNamedType(base, node, ctx);
            }
            WalkChildren(node, ctx);
        } else if (IsXsd(node, "simpleType")) {
            for (xmlNode* child : ElementChildren(node)) {
                if (IsXsd(child, "restriction") && HasAttr(child, "base")) {
                    const std::string base = Attr(child, "base");
                    if (IsBuiltInType(base)) {
                        AddDataField(ctx, SizeBelow(node), base);
                    } else {
                        WalkNamedType(base, child, ctx);
                    }
                } else if (IsXsd(child, "union")) {
                    AddDataField(ctx, kDefaultFieldSize, "string");
                }
            }
        } else if (IsXsd(node, "attribute")) {
            WalkAttribute(node, ctx);
        } else if (IsXsd(node, "element")) {
            WalkElement(node, ctx);
        }
    }

    void WalkChildren(xmlNode* node, const Context& ctx)
    {
        for (xmlNode* child : ElementChildren(node)) {
            WalkNode(child, ctx);
        }
    }

    void WalkAttribute(xmlNode* node, const Context& ctx)
    {
        const std::string name = Attr(node, "name");
        if (name.empty()) {
            return;
        }
        const Context attribute {name, ctx.Path + "/@" + name, ctx.DataSet, ctx.Schema};
        const std::string type = Attr(node, "type");
        if (IsBuiltInType(type)) {
            AddDataField(attribute, kDefaultFieldSize, type);
        } else if (!type.empty()) {
            WalkNamedType(type, node, attribute);
        } else if (const xmlNode* inner = FindDescendant(node, "simpleType")) {
            WalkNode(const_cast<xmlNode*>(inner), attribute);
        } else {
            AddDataField(attribute, kDefaultFieldSize, "");
        }
    }

    void WalkElement(xmlNode* node, const Context& ctx)
    {
        if (m_finished) {
            return;
        }
        xmlNode* declaration = node;
        const TmvlXmlSchema* schema = ctx.Schema;
        std::string name = Attr(node, "name");
        if (name.empty()) {
            const std::string ref = Attr(node, "ref");
            if (ref.empty()) {
                return;
            }
            const Found found = Resolve(ref, node, ctx.Schema, true);
            declaration = found.Node;
            schema = found.Schema;
            name = std::string(LocalPart(ref));
        }
        const std::string path = ctx.Path.empty() ? name : ctx.Path + "/" + name;
        const auto& ignored = m_owner.m_IgnoredXPaths;
        if (std::binary_search(ignored.begin(), ignored.end(), path)) {
            return;
        }
        RecordNamespace(name, *schema);
        const std::string type = Attr(declaration, "type");
        if (ctx.DataSet && m_owner.m_mapping.Obrigatorio(path)) {
            TmvlXSDStringField& marker = ctx.DataSet->AddStringField(UniqueName(*ctx.DataSet, name), 1);
            marker.SetTagObrigatoria(true);
            marker.SetXsdType("xs:string");
            marker.SetXPath({path});
        }

        if (!m_root && name == m_startNode) {
            auto root = std::make_unique<TMvlXSDClientDataSet>(name);
            root->SetTypeName(type);
            root->SetAbstrato(TypeIsAbstract(type, declaration, *schema));
            m_root = root.get();
            m_owner.m_pathPrefix = ctx.Path;
            m_owner.m_dataSets.insert(m_owner.m_dataSets.begin(), std::move(root));
            History("NOVO DATASET - nome: " + name + ", xpath: ");
            ++m_depth;
            WalkContent(declaration, type, Context {name, name, m_root, schema});
            --m_depth;
            FinishDataSet(*m_root);
            m_finished = true;
            return;
        }
        if (ctx.DataSet && !type.empty() && !IsBuiltInType(type) && m_owner.FindDataSet(name) != nullptr &&
            IsBidirectional(type, declaration, *schema, *ctx.DataSet)) {
            CreateAssociation(name, type, *ctx.DataSet);
            return;
        }
        if (m_root && ctx.DataSet && Repeats(node)) {
            TMvlFieldLink& link = ctx.DataSet->AddLinkField(UniqueName(*ctx.DataSet, name));
            link.SetXPath({path});
            auto child = std::make_unique<TMvlXSDClientDataSet>(name);
            child->SetXPath(path);
            child->SetTypeName(type);
            child->SetMasterDataSet(ctx.DataSet);
            TMvlXSDClientDataSet& added = *child;
            m_owner.m_dataSets.push_back(std::move(child));
            History("NOVO DATASET - nome: " + name + ", xpath: " + path);
            ++m_depth;
            WalkContent(declaration, type, Context {name, path, &added, schema});
            --m_depth;
            FinishDataSet(added);
            return;
        }
        // An element holding itself through references would never end either.
        if (std::find(m_typeStack.begin(), m_typeStack.end(), declaration) != m_typeStack.end()) {
            throw EmvlXSDException(platform::Format("Definição recursiva no Schema XML: \"%s\"", name));
        }
        m_typeStack.push_back(declaration);
        WalkContent(declaration, type, Context {name, path, ctx.DataSet, schema});
        m_typeStack.pop_back();
    }

    void WalkContent(xmlNode* declaration, const std::string& type, const Context& ctx)
    {
        if (IsBuiltInType(type)) {
            AddDataField(ctx, SizeBelow(declaration), type);
            return;
        }
        if (!type.empty()) {
            WalkNamedType(type, declaration, ctx);
            return;
        }
        bool content = false;
        for (xmlNode* child : ElementChildren(declaration)) {
            if (IsXsd(child, "complexType") || IsXsd(child, "simpleType")) {
                content = true;
                WalkNode(child, ctx);
            }
        }
        if (!content) {
            AddDataField(ctx, kDefaultFieldSize, "");
        }
    }

    void WalkNamedType(const std::string& qname, xmlNode* referrer, const Context& ctx)
    {
        const Found found = Resolve(qname, referrer, ctx.Schema, false);
        // A type that holds itself, other than the two-way links handled as associations,
        // would never end: refuse it instead of exhausting the stack.
        if (std::find(m_typeStack.begin(), m_typeStack.end(), found.Node) != m_typeStack.end()) {
            throw EmvlXSDException(platform::Format("Definição recursiva no Schema XML: \"%s\"", qname));
        }
        m_typeStack.push_back(found.Node);
        WalkNode(found.Node, Context {ctx.ElementName, ctx.Path, ctx.DataSet, found.Schema});
        m_typeStack.pop_back();
    }

    Found Resolve(const std::string& qname, xmlNode* referrer, const TmvlXmlSchema* schema, bool elementFirst) const
    {
        const size_t colon = qname.find(':');
        const std::string prefix = colon == std::string::npos ? std::string() : qname.substr(0, colon);
        const std::string local(LocalPart(qname));
        std::string uri;
        if (const xmlNs* ns = xmlSearchNs(
                referrer->doc, referrer, prefix.empty() ? nullptr : reinterpret_cast<const xmlChar*>(prefix.c_str()))) {
            uri = engine::ToString(ns->href);
        }
        if (uri.empty() && prefix.empty() && schema && !schema->HasOwnTargetNamespace()) {
            uri = schema->TargetNamespace();
        }
        using K = TmvlXmlSchema::TKind;
        const K order[3] = {elementFirst ? K::Element : K::SimpleType, elementFirst ? K::SimpleType : K::ComplexType,
                            elementFirst ? K::ComplexType : K::Element};
        for (const auto& candidate : m_owner.m_XmlSchemas) {
            if (candidate->TargetNamespace() != uri) {
                continue;
            }
            for (const K kind : order) {
                if (xmlNode* node = candidate->TopLevel(kind, local)) {
                    return Found {node, candidate.get()};
                }
            }
        }
        throw EmvlXSDException(platform::Format("Referência \"%s\" não encontrada", qname));
    }

    bool TypeIsAbstract(const std::string& type, xmlNode* referrer, const TmvlXmlSchema& schema) const
    {
        if (type.empty() || IsBuiltInType(type)) {
            return false;
        }
        return Attr(Resolve(type, referrer, &schema, false).Node, "abstract") == "true";
    }

    // Two complex types that list each other without bound make a many-to-many link.
    bool IsBidirectional(const std::string& type, xmlNode* referrer, const TmvlXmlSchema& schema,
                         const TMvlXSDClientDataSet& current) const
    {
        const Found found = Resolve(type, referrer, &schema, false);
        return ListsElement(found.Node, current);
    }

    static bool ListsElement(const xmlNode* node, const TMvlXSDClientDataSet& current)
    {
        for (const xmlNode* child : ElementChildren(node)) {
            if (IsXsd(child, "element") && Attr(child, "name") == current.Name() &&
                LocalPart(Attr(child, "type")) == LocalPart(current.TypeName()) &&
                Attr(child, "maxOccurs") == "unbounded") {
                return true;
            }
            if (ListsElement(child, current)) {
                return true;
            }
        }
        return false;
    }

    void CreateAssociation(const std::string& name, const std::string& type, TMvlXSDClientDataSet& current)
    {
        TMvlXSDClientDataSet* other = m_owner.FindDataSet(name);
        const std::string associationName = name + "_" + current.Name();
        other->SetAssociationName(associationName);
        current.SetAssociationName(associationName);
        TMvlFieldLink& link = current.AddLinkField(UniqueName(current, name));
        link.SetBidirecional(true);
        link.SetXPath({other->XPath()});
        auto association = std::make_unique<TMvlXSDClientDataSet>(associationName);
        association->SetTypeName(type + "_" + current.TypeName());
        association->SetAssociativo(true);
        association->SetMasterDataSet(other);
        association->AddHandleField("Handle_" + current.Name());
        History("NOVO DATASET ASSOCIATIVO - nome: " + associationName + ", type: " + association->TypeName());
        TMvlXSDClientDataSet& added = *association;
        m_owner.m_dataSets.push_back(std::move(association));
        FinishDataSet(added);
    }

    void FinishDataSet(TMvlXSDClientDataSet& dataSet)
    {
        if (m_owner.OnBeforeCreateNewDataSet) {
            m_owner.OnBeforeCreateNewDataSet(dataSet);
        }
        dataSet.CreateDataSet();
        History("FIM DO DATASET " + dataSet.Name());
    }

    size_t SizeBelow(const xmlNode* node) const
    {
        if (!m_owner.m_UseFieldLength) {
            return kDefaultFieldSize;
        }
        const xmlNode* facet = FindDescendant(node, "maxLength");
        if (!facet) {
            return kDefaultFieldSize;
        }
        const std::string value = Attr(facet, "value");
        size_t size = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), size);
        return error == std::errc() && size > 0 ? size : kDefaultFieldSize;
    }

    static std::string UniqueName(const TMvlXSDClientDataSet& dataSet, const std::string& name)
    {
        if (!dataSet.HasFieldNamed(name)) {
            return name;
        }
        for (int i = 1;; ++i) {
            std::string candidate = name + std::to_string(i);
            if (!dataSet.HasFieldNamed(candidate)) {
                return candidate;
            }
        }
    }

    void AddDataField(const Context& ctx, size_t size, const std::string& xsdType)
    {
        if (!ctx.DataSet) {
            return;
        }
        const std::string& prefix = m_owner.m_pathPrefix;
        const std::string fullXPath = prefix.empty() ? ctx.Path : prefix + "/" + ctx.Path;
        const std::string& section = m_owner.m_FieldNamesSection;
        std::string name = m_owner.m_mapping.NameOfValue(section, fullXPath);
        if (name.empty() && !m_elementName.empty() && fullXPath.starts_with(m_elementName)) {
            name = m_owner.m_mapping.NameOfValue(section, fullXPath.substr(m_elementName.size()));
        }
        if (name.empty()) {
            name = ctx.ElementName;
        }
        name = UniqueName(*ctx.DataSet, name);
        ImvlXSDField* field = nullptr;
        if (size > kLargestStringField) {
            field = &ctx.DataSet->AddBlobField(name, size);
        } else {
            field = &ctx.DataSet->AddStringField(name, size);
        }
        field->SetXPath({ctx.Path});
        field->SetXsdType(xsdType);
        History("Create Field - nome: " + name + ", tipo: " + xsdType + ", xpath: " + ctx.Path +
                ", prefix: " + m_owner.PrefixOf(ctx.ElementName));
    }

    void RecordNamespace(const std::string& name, const TmvlXmlSchema& schema)
    {
        const std::string& uri = schema.TargetNamespace();
        const std::string declaration = m_owner.DeclarationNameOf(uri);
        m_owner.m_elementNamespaces[name] = uri;
        m_owner.m_elementPrefixes[name] = declaration.starts_with("xmlns:") ? declaration.substr(6) + ":" : "";
        if (uri.empty()) {
            return;
        }
        const std::string quoted = "\"" + uri + "\"";
        auto& used = m_owner.m_UsedNamespaces;
        if (std::none_of(used.begin(), used.end(), [&](const auto& pair) { return pair.second == quoted; })) {
            used.emplace_back(declaration, quoted);
        }
    }

    TmvlCustomXsdDataset& m_owner;
    const std::string m_elementName;
    const std::string m_startNode;
    TMvlXSDClientDataSet* m_root = nullptr;
    bool m_finished = false;
    size_t m_depth = 0;
    std::vector<const xmlNode*> m_typeStack;
};

TmvlCustomXsdDataset::TmvlCustomXsdDataset() = default;
TmvlCustomXsdDataset::~TmvlCustomXsdDataset() = default;

std::string TmvlCustomXsdDataset::RootAttributesText() const
{
    std::string text;
    for (size_t i = 0; i < m_RootAttributes.size(); ++i) {
        if (i > 0) {
            text += ";";
        }
        text += m_RootAttributes[i];
    }
    std::erase(text, '"');
    return text;
}

void TmvlCustomXsdDataset::Clear()
{
    m_dataSets.clear();
    m_XmlSchemas.clear();
    m_UsedNamespaces.clear();
    m_elementNamespaces.clear();
    m_elementPrefixes.clear();
    m_history.clear();
    m_pathPrefix.clear();
    m_generated = false;
}

void TmvlCustomXsdDataset::EmptyDataSets()
{
    for (const auto& dataSet : m_dataSets) {
        dataSet->EmptyDataSet();
    }
}

void TmvlCustomXsdDataset::LoadSchema(const std::string& fileName, const TmvlXmlSchema* includer)
{
    const std::string name = platform::ExtractFileName(fileName);
    for (const auto& loaded : m_XmlSchemas) {
        if (platform::EqualsIgnoreCase(platform::ExtractFileName(loaded->FileName()), name)) {
            return;
        }
    }
    const std::string found = platform::FindFileIgnoringCase(fileName);
    if (!platform::FileExists(found)) {
        return;
    }
    auto schema = std::make_unique<TmvlXmlSchema>(found);
    if (!schema->HasOwnTargetNamespace() && includer) {
        schema->SetTargetNamespace(includer->TargetNamespace());
    }
    const TmvlXmlSchema* added = schema.get();
    m_XmlSchemas.push_back(std::move(schema));
    const std::string folder = platform::ExtractFilePath(found);
    for (const std::string& location : added->SchemaLocations()) {
        LoadSchema(platform::JoinPath(folder, platform::NativePath(location)), added);
    }
}

void TmvlCustomXsdDataset::GenerateDataSets(const std::string& elementName, const std::string& startNode)
{
    Clear();
    std::sort(m_IgnoredXPaths.begin(), m_IgnoredXPaths.end());
    m_elementName = elementName;
    try {
        if (m_XsdFile.empty()) {
            throw EmvlXSDException("Arquivo XSD não configurado.");
        }
        if (!platform::FileExists(platform::FindFileIgnoringCase(m_XsdFile))) {
            throw EmvlXSDFileNotFound("Arquivo de Schema XML não encontrado");
        }
        LoadSchema(m_XsdFile, nullptr);
        m_StartNode = startNode.empty() ? elementName : startNode;
        if (m_FieldNamesSection.empty()) {
            m_FieldNamesSection = elementName;
        }
        const bool startDeclared = std::any_of(m_XmlSchemas.begin(), m_XmlSchemas.end(), [&](const auto& schema) {
            return schema->DeclaresElement(m_StartNode);
        });
        if (!startDeclared) {
            throw EmvlXSDStartNodeNotFound(
                platform::Format("Nó de início \"%s\" não encontrado no Schema XML", m_StartNode));
        }
        const TmvlXmlSchema& main = *m_XmlSchemas.front();
        xmlNode* declaration = main.TopLevel(TmvlXmlSchema::TKind::Element, elementName);
        if (!declaration) {
            throw EmvlXSDException(
                platform::Format("Nome do elemento \"%s\" não encontrado no Schema XML", elementName));
        }
        XsdTreeWalker walker(*this, elementName, m_StartNode);
        walker.Run(declaration, &main);
        m_generated = true;
    } catch (...) {
        Clear();
        throw;
    }
}

TMvlXSDClientDataSet* TmvlCustomXsdDataset::FindDataSet(std::string_view name) const
{
    for (const auto& dataSet : m_dataSets) {
        if (platform::EqualsIgnoreCase(dataSet->Name(), name)) {
            return dataSet.get();
        }
    }
    return nullptr;
}

TMvlXSDClientDataSet* TmvlCustomXsdDataset::FindDataSetByXPath(std::string_view xpath) const
{
    for (const auto& dataSet : m_dataSets) {
        if (!dataSet->XPath().empty() && platform::EqualsIgnoreCase(dataSet->XPath(), xpath)) {
            return dataSet.get();
        }
    }
    return nullptr;
}

std::string TmvlCustomXsdDataset::NamespaceOf(std::string_view elementName) const
{
    const auto found = m_elementNamespaces.find(std::string(elementName));
    return found == m_elementNamespaces.end() ? std::string() : found->second;
}

std::string TmvlCustomXsdDataset::PrefixOf(std::string_view elementName) const
{
    const auto found = m_elementPrefixes.find(std::string(elementName));
    return found == m_elementPrefixes.end() ? std::string() : found->second;
}

std::string TmvlCustomXsdDataset::DeclarationNameOf(std::string_view uri) const
{
    for (const auto& schema : m_XmlSchemas) {
        for (const auto& [prefix, href] : schema->Declarations()) {
            if (href == uri) {
                return prefix.empty() ? "xmlns" : "xmlns:" + prefix;
            }
        }
    }
    return "xmlns";
}
