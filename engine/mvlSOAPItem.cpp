#include "engine/mvlSOAPItem.h"

#include "engine/mvlExceptions.h"
#include "engine/mvlNFSe.h"
#include "engine/mvlNFSeXmlUtils.h"
#include "platform/Format.h"

void TmvlSOAPItem::Executar(TmvlNFSeAbrasf& engine)
{
    try {
        const std::string xml = MontarXMLEnvio(engine);
        Transmitir(engine, xml);
    } catch (const EmvlException&) {
        throw;
    } catch (const std::exception& error) {
        throw UnknownError(error);
    }
}

std::string TmvlSOAPItem::MontarXMLEnvio(TmvlNFSeAbrasf& engine)
{
    std::string xml = Parametros().Value("XML", true);
    SetXmlEnvio(xml);
    ValidarXmlItem(engine, xml);
    xml = CompactarXml(xml);
    xml = EscaparXmlItem(engine, xml);
    xml = MontarEnvelope(engine, xml);
    return CompactarXml(xml);
}

void TmvlSOAPItem::ValidarXmlItem(TmvlNFSeAbrasf& engine, std::string_view xml)
{
    if (engine.ValidarEsquemaAntesEnvio()) {
        engine.ValidarXmlDoServico(RetornaNomeServico(), xml);
    }
}

std::string TmvlSOAPItem::CompactarXml(std::string_view xml) const
{
    return CompactXml(xml);
}

std::string TmvlSOAPItem::EscaparXmlItem(TmvlNFSeAbrasf& engine, std::string_view xml) const
{
    if (engine.ConfiguracoesWebService().EscaparXml) {
        return EscapeXml(xml);
    }
    return std::string(xml);
}

std::string TmvlSOAPItem::MontarEnvelope(TmvlNFSeAbrasf& engine, std::string_view xml)
{
    return engine.MontarEnvelopeSoap(xml);
}

void TmvlSOAPItem::PrepararEnvio(TmvlNFSeAbrasf&) { }

void TmvlSOAPItem::SalvarXmlImpressao(TmvlNFSeAbrasf&, std::string_view) { }

std::string TmvlSOAPItem::ObterIdentificadorEnvio(std::string_view) const
{
    return {};
}

std::string TmvlSOAPItem::TratarRespostaBruta(std::string_view answer)
{
    return std::string(answer);
}

std::string TmvlSOAPItem::TratarResposta(TmvlNFSeAbrasf&, std::string_view answer)
{
    return std::string(answer);
}

std::string TmvlSOAPItem::ExtrairConteudoEscapado(std::string_view text) const
{
    return ExtractEmbeddedXml(text);
}

std::string TmvlSOAPItem::ChamarServico(TmvlNFSeAbrasf& engine, std::string_view xml)
{
    return engine.ChamarWebService(TipoServico(), xml, RetornaSoapActionName(), RetornaNomeServico());
}

void TmvlSOAPItem::Transmitir(TmvlNFSeAbrasf& engine, std::string_view xml)
{
    const std::string toSend = CorrigirXml(engine, xml);

    const std::string id = ObterIdentificadorEnvio(toSend);
    m_LogEnvio.clear();
    m_LogResposta.clear();
    m_LogEnvio = engine.SalvarLog(toSend, PrefixoLog() + "envio", {}, id);

    const std::string answer = TratarRespostaBruta(ChamarServico(engine, toSend));
    // From here on the city has answered: a protocol it issued must reach the caller, or the
    // lot would be sent again and issued twice. A failure to write the log is recorded instead.
    try {
        m_LogResposta = engine.SalvarLog(answer, PrefixoLog() + "resposta", {}, id);
    } catch (const std::exception& error) {
        const EmvlNFSeException recorded(
            platform::Format("A resposta do servidor foi recebida, mas não pôde ser gravada no log: %s", error.what()));
        (void)recorded;
    }
    SetResponse(TratarResposta(engine, answer));
}
