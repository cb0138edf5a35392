#include "engine/mvlConvertFactory.h"

#include "engine/XmlHandles.h"
#include "engine/mvlExceptions.h"
#include "engine/mvlNFSeXsdCustomDataset.h"
#include "platform/Format.h"

#include <set>
#include <unordered_map>

namespace {

constexpr std::string_view kCDataOpen = "<![CDATA[";
constexpr std::string_view kCDataClose = "]]>";

const xmlChar* X(const std::string& text)
{
    return reinterpret_cast<const xmlChar*>(text.c_str());
}

// The path with a leading occurrence of the other path taken out.
std::string RemovePath(const std::string& path, const std::string& leading)
{
    if (leading.empty()) {
        return path;
    }
    if (path.starts_with(leading)) {
        return path.substr(leading.size());
    }
    const size_t at = path.find(leading);
    return at == std::string::npos ? path : path.substr(0, at) + path.substr(at + leading.size());
}

std::string StepName(std::string_view step)
{
    const size_t bracket = step.find('[');
    return std::string(bracket == std::string_view::npos ? step : step.substr(0, bracket));
}

class XmlTreeWriter
{
public:
    explicit XmlTreeWriter(TmvlCustomXsdDataset& owner)
        : m_owner(owner)
    { }

    std::string Write()
    {
        TMvlXSDClientDataSet& root = *m_owner.DataSets().front();
        m_doc.reset(xmlNewDoc(X("1.0")));
        if (!m_doc) {
            throw std::bad_alloc();
        }
        const std::string& name = root.Name();
        const std::string uri = m_owner.NamespaceOf(name);
        m_root = xmlNewDocNode(m_doc.get(), nullptr, X(name), nullptr);
        xmlDocSetRootElement(m_doc.get(), m_root);
        if (m_owner.UseNamespacePrefixes()) {
            m_root->ns = DeclareOnRoot(uri, m_owner.PrefixOf(name));
        } else if (!uri.empty()) {
            m_root->ns = xmlNewNs(m_root, X(uri), nullptr);
        }
        for (const std::string& line : m_owner.RootAttributes()) {
            const size_t equals = line.find('=');
            if (equals == std::string::npos) {
                continue;
            }
            std::string value = line.substr(equals + 1);
            std::erase(value, '"');
            SetRootAttribute(line.substr(0, equals), value);
        }
        m_nodes.emplace(name, m_root);
        WriteDataSet(root, "", nullptr);
        return m_owner.XMLHeader() + engine::DocumentXml(m_doc.get(), false);
    }

private:
    // Prefix "p:" or "" for a default namespace.
    xmlNs* DeclareOnRoot(const std::string& uri, const std::string& prefix)
    {
        const std::string bare = prefix.empty() ? std::string() : prefix.substr(0, prefix.size() - 1);
        for (xmlNs* ns = m_root->nsDef; ns != nullptr; ns = ns->next) {
            if (engine::ToString(ns->prefix) == bare) {
                return ns;
            }
        }
        if (uri.empty() && bare.empty()) {
            return nullptr;
        }
        return xmlNewNs(m_root, X(uri), bare.empty() ? nullptr : X(bare));
    }

    void SetRootAttribute(const std::string& name, const std::string& value)
    {
        // Namespace declarations among the root attributes become real declarations, so the
        // document's own elements and attributes can use them.
        if (name == "xmlns") {
            if (m_root->ns == nullptr) {
                m_root->ns = xmlNewNs(m_root, X(value), nullptr);
            }
            return;
        }
        if (name.starts_with("xmlns:")) {
            xmlNewNs(m_root, X(value), X(name.substr(6)));
            return;
        }
        const size_t colon = name.find(':');
        if (colon != std::string::npos) {
            if (xmlNs* ns = xmlSearchNs(m_doc.get(), m_root, X(name.substr(0, colon)))) {
                xmlSetNsProp(m_root, ns, X(name.substr(colon + 1)), X(value));
                return;
            }
        }
        xmlSetProp(m_root, X(name), X(value));
    }

    void WriteDataSet(TMvlXSDClientDataSet& dataSet, const std::string& masterPosition,
                      const TMvlXSDClientDataSet* cameFrom)
    {
        const TMvlXSDClientDataSet* master = dataSet.MasterDataSet();
        dataSet.First();
        while (!dataSet.Eof()) {
            if (m_owner.OnBeforeReadRecord) {
                m_owner.OnBeforeReadRecord(dataSet);
            }
            std::string position;
            if (master) {
                position = masterPosition + RemovePath(dataSet.XPath(), master->XPath()) + "[" +
                    std::to_string(dataSet.RecNo()) + "]";
            }
            for (const auto& field : dataSet.Fields()) {
                switch (field->Role()) {
                case ImvlXSDField::TRole::Handle:
                    break;
                case ImvlXSDField::TRole::Link:
                    WriteLink(static_cast<TMvlFieldLink&>(*field), dataSet, position, cameFrom);
                    break;
                case ImvlXSDField::TRole::Data:
                    if (field->GenerateFieldInXML()) {
                        WriteField(*field, dataSet, position);
                    }
                    break;
                }
            }
            dataSet.Next();
        }
    }

    void WriteLink(const TMvlFieldLink& link, TMvlXSDClientDataSet& dataSet, const std::string& position,
                   const TMvlXSDClientDataSet* cameFrom)
    {
        if (link.XPath().empty()) {
            throw EmvlXSDException(platform::Format("XPath para o campo \"%s\" está vazio.", link.FieldName()));
        }
        TMvlXSDClientDataSet* child = m_owner.FindDataSetByXPath(link.XPath().back());
        if (!child) {
            return;
        }
        if (link.Bidirecional() && cameFrom && child->Name() == cameFrom->Name()) {
            return;
        }
        TMvlXSDClientDataSet* association =
            child->AssociationName().empty() ? nullptr : m_owner.FindDataSet(child->AssociationName());
        const bool filter = association && association->MasterDataSet() != child;
        if (filter) {
            FilterByAssociation(*child, *association, dataSet);
        }
        WriteDataSet(*child, position, &dataSet);
        if (filter) {
            child->ClearFilter();
        }
    }

    // The child keeps only the records the associative dataset ties to the current record.
    static void FilterByAssociation(TMvlXSDClientDataSet& child, const TMvlXSDClientDataSet& association,
                                    const TMvlXSDClientDataSet& current)
    {
        const ImvlXSDField* own = association.FindField("Handle_" + current.Name());
        const ImvlXSDField* other = association.FindField("Handle_" + child.Name());
        if (!own || !other) {
            throw EmvlXSDException("Erro ao filtrar associação bidirecional");
        }
        const std::string& handle = current.HandleField()->AsString();
        std::set<std::string> handles;
        const engine::MemoryTable& table = association.Table();
        for (size_t i = 0; i < table.TotalRecordCount(); ++i) {
            if (table.ValueAt(i, own->Index()) == handle) {
                handles.insert(table.ValueAt(i, other->Index()));
            }
        }
        child.FilterHandles(std::move(handles));
    }

    void WriteField(ImvlXSDField& field, const TMvlXSDClientDataSet& dataSet, const std::string& position)
    {
        const auto& xpaths = field.XPath();
        if (xpaths.empty() || xpaths.front().empty()) {
            throw EmvlXSDException(platform::Format("XPath para o campo \"%s\" está vazio.", field.FieldName()));
        }
        int chosen = 0;
        if (xpaths.size() > 1) {
            if (!m_owner.OnBeforeGenerateNode) {
                throw EmvlXSDException(platform::Format("Campo \"%s\" possui mais de um XPath.", field.FieldName()));
            }
            m_owner.OnBeforeGenerateNode(field, chosen);
            if (chosen == -1) {
                throw EmvlXSDException(platform::Format("XPath não escolhido para o campo \"%s\".", field.FieldName()));
            }
            if (chosen < 0 || static_cast<size_t>(chosen) >= xpaths.size()) {
                throw EmvlXSDException(
                    platform::Format("XPath escolhido para o campo \"%s\" inexistente.", field.FieldName()));
            }
        }
        const std::string target = position + RemovePath(xpaths[static_cast<size_t>(chosen)], dataSet.XPath());
        CreatePath(target, field.AsString());
    }

    void CreatePath(const std::string& target, const std::string& value)
    {
        std::string partial;
        xmlNode* parent = m_root;
        size_t start = 0;
        while (start <= target.size()) {
            size_t end = target.find('/', start);
            if (end == std::string::npos) {
                end = target.size();
            }
            const std::string step = target.substr(start, end - start);
            const bool last = end == target.size();
            start = end + 1;
            if (step.empty()) {
                if (last) {
                    break;
                }
                continue;
            }
            partial += partial.empty() ? step : "/" + step;
            const auto found = m_nodes.find(partial);
            if (found != m_nodes.end()) {
                parent = found->second;
                continue;
            }
            if (step.front() == '@') {
                xmlSetProp(parent, X(step.substr(1)), X(value));
                m_nodes.emplace(partial, parent);
                continue;
            }
            xmlNode* element = NewElement(parent, StepName(step));
            m_nodes.emplace(partial, element);
            if (last) {
                SetValue(element, value);
            }
            parent = element;
        }
    }

    xmlNode* NewElement(xmlNode* parent, const std::string& name)
    {
        const std::string uri = m_owner.NamespaceOf(name);
        xmlNode* element = xmlNewDocNode(m_doc.get(), nullptr, X(name), nullptr);
        if (!element) {
            throw std::bad_alloc();
        }
        xmlAddChild(parent, element);
        if (m_owner.UseNamespacePrefixes()) {
            element->ns = DeclareOnRoot(uri, m_owner.PrefixOf(name));
            return element;
        }
        xmlNs* inScope = xmlSearchNs(m_doc.get(), parent, nullptr);
        const std::string current = inScope ? engine::ToString(inScope->href) : std::string();
        if (current == uri) {
            element->ns = uri.empty() ? nullptr : inScope;
        } else {
            // An element of another namespace than its parent's default declares its own.
            element->ns = xmlNewNs(element, X(uri), nullptr);
        }
        return element;
    }

    void SetValue(xmlNode* element, const std::string& value)
    {
        if (value.empty()) {
            return;
        }
        if (value.size() >= kCDataOpen.size() + kCDataClose.size() && value.starts_with(kCDataOpen) &&
            value.ends_with(kCDataClose)) {
            const std::string inner =
                value.substr(kCDataOpen.size(), value.size() - kCDataOpen.size() - kCDataClose.size());
            xmlAddChild(element, xmlNewCDataBlock(m_doc.get(), X(inner), static_cast<int>(inner.size())));
            return;
        }
        xmlAddChild(element, xmlNewDocTextLen(m_doc.get(), X(value), static_cast<int>(value.size())));
    }

    TmvlCustomXsdDataset& m_owner;
    engine::XmlDocPtr m_doc;
    xmlNode* m_root = nullptr;
    // Every node made so far, by its path with record positions; a later field of the same
    // record finds its element here instead of making a second one.
    std::unordered_map<std::string, xmlNode*> m_nodes;
};

} // namespace

void TmvlConvertFactory::CheckDataSets() const
{
    if (!m_owner.Generated()) {
        throw EmvlXSDException("Datasets não foram gerados.");
    }
    if (m_owner.DataSets().empty()) {
        throw EmvlXSDException("Não há datasets na lista.");
    }
}

std::string TmvlConvertFactory::GetXml()
{
    CheckDataSets();
    XmlTreeWriter writer(m_owner);
    return writer.Write();
}
