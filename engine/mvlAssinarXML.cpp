#include "engine/mvlAssinarXML.h"

#include "engine/mvlExceptions.h"
#include "engine/mvlNFSe.h"
#include "engine/mvlNFSeXmlUtils.h"
#include "engine/mvlXPath.h"
#include "platform/Format.h"

namespace {

std::string NamesText(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names) {
        text += text.empty() ? name : "\n" + name;
    }
    return text;
}

} // namespace

std::string FillTemplate(std::string_view text, std::initializer_list<std::string_view> values)
{
    std::string result;
    auto next = values.begin();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == 's' || text[i + 1] == 'd') &&
            next != values.end()) {
            result += *next++;
            ++i;
            continue;
        }
        result += text[i];
    }
    return result;
}

void TmvlAssinarXML::RegisterParams()
{
    TmvlXMLItem::RegisterParams();
    Parametros().Add("NumeroLote");
}

void TmvlAssinarXML::ConfigurarAssinador(TmvlSignerX&, engine::SignerXKinds&) const { }

std::string TmvlAssinarXML::AssinarDocumento(TmvlNFSeAbrasf& engine, std::string_view xml) const
{
    TmvlSignerX signer;
    signer.SetNomesCertificado(NamesText(engine.NomesCertificado()));
    signer.SetIdAttribute(engine.ConfiguracoesWebService().IdTag);
    signer.SetCaminhoCertificado(
        engine.CaminhoCertificado().empty() ? std::string() : engine.Utility().ExpandPath(engine.CaminhoCertificado()));
    signer.SetSenhaCertificado(engine.SenhaCertificado());
    signer.SetRemoveAccents(engine.RemoverAcentos());
    engine::SignerXKinds kinds;
    ConfigurarAssinador(signer, kinds);
    const std::string corrected = CorrigirXml(engine, xml);
    return engine::SignDocumentWithSignerX(corrected, engine.MakeSigningSettings(), signer, kinds);
}

void TmvlAssinarXML::Executar(TmvlNFSeAbrasf& engine)
{
    try {
        const std::string numeroLote = Parametros().Value("NumeroLote");
        const std::string xml = CorrigirXml(engine, Parametros().Value("XML", true));
        const std::string listaRps = ElementXmlInRootNamespace(xml, "ListaRps");
        TmvlXPath lista;
        lista.LoadXML(listaRps);
        const std::string quantidade = lista.Evaluate(R"(count(/*/*[local-name()="Rps"]))");
        const std::string lote = FillTemplate(CompactXml(engine.CarregarModelo("EnviarLoteRpsEnvio.xml")),
                                              {engine.ConfiguracoesWebService().IdTag, numeroLote, engine.CNPJ(),
                                               engine.InscricaoMunicipal(), quantidade, listaRps, ""});
        SetResponse(AssinarDocumento(engine, lote));
    } catch (const EmvlNFSeSignatureException&) {
        throw;
    } catch (const std::exception& error) {
        throw EmvlNFSeSignatureException(error.what());
    }
}

void TmvlAssinar_ProxyNFSe_SignerX::RegisterParams()
{
    TmvlXMLItem::RegisterParams();
    Parametros().Add("Extras");
}

void TmvlAssinar_ProxyNFSe_SignerX::Executar(TmvlNFSeAbrasf& engine)
{
    try {
        SetResponse(AssinarDocumento(engine, Parametros().Value("XML", true)));
    } catch (const EmvlNFSeSignatureException&) {
        throw;
    } catch (const std::exception& error) {
        throw EmvlNFSeSignatureException(error.what());
    }
}
