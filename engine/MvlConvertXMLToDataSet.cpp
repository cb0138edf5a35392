#include "engine/MvlConvertXMLToDataSet.h"

#include "engine/XmlHandles.h"
#include "engine/mvlExceptions.h"
#include "engine/mvlNFSeXsdCustomDataset.h"
#include "engine/mvlXPath.h"
#include "platform/Format.h"
#include "platform/TextRules.h"

namespace {

constexpr const char* kMismatch = "Estrutura do XML não corresponde à estrutura da lista de datasets gerada";

class XmlTreeReader
{
public:
    explicit XmlTreeReader(TmvlCustomXsdDataset& owner)
        : m_owner(owner)
    { }

    void Read(xmlNode* rootElement)
    {
        TMvlXSDClientDataSet& root = *m_owner.DataSets().front();
        const std::string name = engine::ToString(rootElement->name);
        if (name != root.Name()) {
            throw EmvlXSDEmptyParent(kMismatch);
        }
        m_rootElement = rootElement;
        root.InsertRecord();
        Fill(rootElement, name, root);
        root.Post();
    }

private:
    // Prefixes are left out of the running path: the tree knows elements by their names, and
    // a document written with prefixes must read back into the same fields.
    void Fill(xmlNode* element, const std::string& path, TMvlXSDClientDataSet& dataSet)
    {
        for (xmlAttr* attribute = element->properties; attribute != nullptr; attribute = attribute->next) {
            if (element == m_rootElement && IsRootAttribute(attribute)) {
                continue;
            }
            engine::XmlCharPtr value(xmlNodeListGetString(element->doc, attribute->children, 1));
            Store(dataSet, path + "/@" + engine::ToString(attribute->name), engine::ToString(value.get()));
        }
        bool hasElements = false;
        for (xmlNode* child = element->children; child != nullptr; child = child->next) {
            if (child->type != XML_ELEMENT_NODE) {
                continue;
            }
            hasElements = true;
            const std::string childPath = path + "/" + engine::ToString(child->name);
            TMvlXSDClientDataSet* childSet = m_owner.FindDataSetByXPath(childPath);
            if (childSet) {
                if (childSet->MasterDataSet() != &dataSet) {
                    throw EmvlXSDEmptyParent(kMismatch);
                }
                childSet->InsertRecord();
                Fill(child, childPath, *childSet);
                childSet->Post();
            } else {
                Fill(child, childPath, dataSet);
            }
        }
        if (!hasElements) {
            Store(dataSet, path, LeafText(element));
        }
    }

    // The root attributes the mapping sets on every document are no data of the tree.
    bool IsRootAttribute(const xmlAttr* attribute) const
    {
        std::string name = engine::ToString(attribute->name);
        if (attribute->ns != nullptr && attribute->ns->prefix != nullptr) {
            name = engine::ToString(attribute->ns->prefix) + ":" + name;
        }
        for (const std::string& line : m_owner.RootAttributes()) {
            if (platform::EqualsIgnoreCase(platform::Trim(line.substr(0, line.find('='))), name)) {
                return true;
            }
        }
        return false;
    }

    static std::string LeafText(const xmlNode* element)
    {
        std::string text;
        for (const xmlNode* child = element->children; child != nullptr; child = child->next) {
            if (child->type == XML_CDATA_SECTION_NODE) {
                text += "<![CDATA[" + engine::ToString(child->content) + "]]>";
            } else if (child->type == XML_TEXT_NODE) {
                text += engine::ToString(child->content);
            }
        }
        return text;
    }

    void Store(TMvlXSDClientDataSet& dataSet, const std::string& path, const std::string& value)
    {
        ImvlXSDField* field = dataSet.FindFieldByXPath(path);
        if (field) {
            if (!value.empty()) {
                field->SetAsString(value);
            }
            return;
        }
        // An empty element the tree has no field for holds nothing to lose.
        if (!value.empty() && !m_owner.IgnoreUnknownElements()) {
            throw EmvlXSDEmptyParent(kMismatch);
        }
    }

    TmvlCustomXsdDataset& m_owner;
    const xmlNode* m_rootElement = nullptr;
};

} // namespace

void TMvlConvertXMLToDataSet::LoadXml(std::string_view xml)
{
    if (!Owner().Generated() || Owner().DataSets().empty()) {
        throw EmvlXSDException("Dataset ainda não foi criado");
    }
    if (platform::Trim(xml).empty()) {
        throw EmvlXSDException("XML está vazio.");
    }
    TmvlXPath document;
    document.LoadXML(xml);
    XmlTreeReader reader(Owner());
    reader.Read(xmlDocGetRootElement(document.Document()));
}
