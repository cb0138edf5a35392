#include "engine/mvlGerarRegisterXmlNFSeItem.h"

#include "engine/XmlHandles.h"
#include "engine/mvlExceptions.h"
#include "engine/mvlNFSe.h"
#include "engine/mvlNFSeXmlUtils.h"
#include "platform/TextRules.h"

namespace {

void MarkTextNodes(xmlNode* node, const std::vector<std::string>& breaks)
{
    for (; node != nullptr; node = node->next) {
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            std::string text = engine::ToString(node->content);
            for (const std::string& lineBreak : breaks) {
                text = platform::ReplaceIgnoringCase(text, lineBreak, "|");
            }
            xmlNodeSetContent(node, engine::ToXmlChar(text));
        } else if (node->type == XML_ELEMENT_NODE) {
            MarkTextNodes(node->children, breaks);
        }
    }
}

} // namespace

void TmvlGerarRegisterXmlNFSeItem::RegisterParams()
{
    TmvlXMLItem::RegisterParams();
    Parametros().Add("RpsLogEnvio");
}

std::string TmvlGerarRegisterXmlNFSeItem::MarkLineBreaks(std::string_view xml, std::string_view lineBreak)
{
    std::string reason;
    engine::XmlDocPtr doc = engine::ParseXmlText(xml, &reason);
    if (!doc) {
        throw EmvlNFSeCheckParams("XML inválido para a impressão: " + reason);
    }
    std::vector<std::string> breaks = {std::string(lineBreak), "&lt;br /&gt;", "&lt;br&gt;", "<br />",
                                       UnescapeXml(lineBreak)};
    // A blank line-break text would turn every blank into a line.
    std::erase_if(breaks, [](const std::string& text) { return platform::Trim(text).empty(); });
    breaks.push_back("\r\n");
    breaks.push_back("\n");
    MarkTextNodes(xmlDocGetRootElement(doc.get()), breaks);
    return engine::DocumentXml(doc.get(), engine::StartsWithDeclaration(xml));
}

void TmvlGerarRegisterXmlNFSeItem::Executar(TmvlNFSeAbrasf& engine)
{
    const std::string xml = Parametros().Value("XML", true);
    const std::string rpsLog = Parametros().Value("RpsLogEnvio");
    const std::string marked = MarkLineBreaks(xml, engine.ExecutarComando("RetornaStringQuebraDeLinha"));
    switch (engine.ConfiguracoesImpressao().ModoImpressao) {
    case TmvlModoImpressaoNFSe::printRPS:
        SetResponse(RegisterFromLot(engine, marked));
        break;
    case TmvlModoImpressaoNFSe::printNFSe:
        SetResponse(RegisterFromConsult(engine, marked, rpsLog));
        break;
    default:
        throw EmvlNFSeCollectionException("Modo não suportado para essa rotina");
    }
}
