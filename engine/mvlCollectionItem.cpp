#include "engine/mvlCollectionItem.h"

#include "engine/mvlCollection.h"
#include "engine/mvlExceptions.h"

namespace {

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to)
{
    size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::string::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
    return text;
}

} // namespace

std::string TmvlCollectionItem::GetResponse() const
{
    if (m_response.find("<![CDATA[") != std::string::npos) {
        return ReplaceAll(m_response, "&amp;amp;", "&amp;");
    }
    return m_response;
}

void TmvlCollectionItem::Inicializar(TmvlCollection* collection)
{
    m_collection = collection;
    RegisterParams();
    m_response.clear();
}

void TmvlXMLItem::RegisterParams()
{
    TmvlCollectionItem::RegisterParams();
    Parametros().Add("XML");
}

std::string TmvlCollectionItem::CorrigirXml(TmvlNFSeAbrasf& engine, std::string_view xml) const
{
    if (!m_collection) {
        throw EmvlNFSeCollectionException("Item não pertence a nenhuma coleção");
    }
    TmvlCollectionItem& corrigir = m_collection->Item("CorrigirXml");
    corrigir.Parametros().SetValue("XML", xml);
    corrigir.Executar(engine);
    return corrigir.GetResponse();
}
