#pragma once

#include "engine/mvlAssinarXML.h"
#include "engine/mvlCollection.h"
#include "engine/mvlCollectionFactory.h"
#include "engine/mvlNFSeXmlUtils.h"
#include "engine/mvlSOAPItem.h"
#include "tests/support/TestSupport.h"

#include <memory>
#include <mutex>
#include <string>

// Two small collections of an ABRASF-shaped provider, enough to drive the framework: the
// operations the proxy runs, the request correction every SOAP operation runs, and the
// extraction of escaped content.
namespace tests {

class TesteCorrigirXml : public TmvlXMLItem
{
public:
    const char* ClassName() const override { return "TesteCorrigirXml"; }
    void Executar(TmvlNFSeAbrasf&) override { SetResponse(Parametros().Value("XML", true)); }
};

class TesteExtractEscapedContent : public TmvlXMLItem
{
public:
    const char* ClassName() const override { return "TesteExtractEscapedContent"; }
    void Executar(TmvlNFSeAbrasf&) override { SetResponse(ExtractEmbeddedXml(Parametros().Value("XML", true))); }
};

// A SOAP operation driven by values, as provider rows are.
class TesteSOAPItem : public TmvlSOAPItem
{
public:
    TesteSOAPItem(std::string service, std::string prefix, TTipoServico type, std::string action = {})
        : m_service(std::move(service))
        , m_prefix(std::move(prefix))
        , m_type(type)
        , m_action(std::move(action))
    { }
    const char* ClassName() const override { return "TesteSOAPItem"; }
    void RegisterParams() override
    {
        TmvlSOAPItem::RegisterParams();
        Parametros().Add("Extras");
    }
    std::string RetornaNomeServico() const override { return m_service; }
    std::string PrefixoLog() const override { return m_prefix; }
    TTipoServico TipoServico() const override { return m_type; }
    std::string RetornaSoapActionName() const override { return m_action; }
    std::string ObterIdentificadorEnvio(std::string_view xml) const override
    {
        return TextBetweenTags(xml, "NumeroLote");
    }

private:
    std::string m_service;
    std::string m_prefix;
    TTipoServico m_type;
    std::string m_action;
};

// A SOAP operation whose request is built from a parameter that is not "XML".
class TesteConsultaItem : public TesteSOAPItem
{
public:
    TesteConsultaItem(std::string parameter, std::string element, std::string service, std::string prefix,
                      TTipoServico type)
        : TesteSOAPItem(std::move(service), std::move(prefix), type)
        , m_parameter(std::move(parameter))
        , m_element(std::move(element))
    { }
    void RegisterParams() override
    {
        TesteSOAPItem::RegisterParams();
        Parametros().Add(m_parameter);
    }
    std::string MontarXMLEnvio(TmvlNFSeAbrasf& engine) override
    {
        Parametros().SetValue("XML",
                              "<" + m_element + " xmlns=\"http://www.abrasf.org.br/nfse\"><Protocolo>" +
                                  Parametros().Value(m_parameter, true) + "</Protocolo></" + m_element + ">");
        return TmvlSOAPItem::MontarXMLEnvio(engine);
    }

private:
    std::string m_parameter;
    std::string m_element;
};

class TesteColecaoUm : public TmvlNFSeCollection
{
public:
    const char* ClassName() const override { return "TesteColecaoUm"; }
    void RegistrarItens() override
    {
        Registrar(std::make_unique<TesteCorrigirXml>(), "CorrigirXml");
        Registrar(std::make_unique<TesteExtractEscapedContent>(), "ExtractEscapedContent");
        Registrar(std::make_unique<TmvlAssinar_ProxyNFSe_SignerX>(), "AssinarXML_ViaProxy");
        Registrar(
            std::make_unique<TesteSOAPItem>("RecepcionarLoteRps", "EnviarLoteRps-", TTipoServico::tsRecepcionarLoteRps),
            "Enviar_ViaProxy");
        Registrar(std::make_unique<TesteConsultaItem>("Protocolo", "ConsultarLoteRpsEnvio", "ConsultarLoteRps",
                                                      "ConsultarLote-", TTipoServico::tsConsultarLoteRps),
                  "ConsultarLote_ViaProxy");
    }
};

// Replaces the send of the first collection, as a derived provider does.
class TesteColecaoDois : public TesteColecaoUm
{
public:
    const char* ClassName() const override { return "TesteColecaoDois"; }
    void RegistrarItens() override
    {
        TesteColecaoUm::RegistrarItens();
        Registrar(
            std::make_unique<TesteSOAPItem>("EnviarLoteDois", "EnviarDois-", TTipoServico::tsOutro, "EnviarLoteDois"),
            "Enviar_ViaProxy", true);
    }
};

inline void RegisterTestCollections()
{
    static std::once_flag once;
    std::call_once(once, [] {
        TmvlCollectionFactory::Instance().Registrar(
            "TesteColecaoUm", [] { return std::unique_ptr<TmvlNFSeCollection>(std::make_unique<TesteColecaoUm>()); });
        TmvlCollectionFactory::Instance().Registrar("TesteColecaoDois", [] {
            return std::unique_ptr<TmvlNFSeCollection>(std::make_unique<TesteColecaoDois>());
        });
    });
}

// An engine folder whose two cities use the test collections and whose servers are `address`.
inline std::string MakeCollectionEngineFolder(const std::string& address)
{
    RegisterTestCollections();
    const std::string root = TempDir();
    WriteFile(root + "nfseLocais.ini",
              "[LOCAIS]\n"
              "CIDADEUMXX=9999991\n"
              "CIDADEDOISXX=9999992\n"
              "[CIDADEUMXX]\n"
              "CollectionName=TesteColecaoUm\n"
              "[CIDADEDOISXX]\n"
              "CollectionName=testecolecaodois\n"
              "WebserviceEncoding=ISO-8859-1\n");
    WriteFile(root + "nfseServidoresHom.ini",
              "[CIDADEUMXX]\n"
              "NFSe=" +
                  address +
                  "\n"
                  "SoapURI=http://www.abrasf.org.br/nfse\n"
                  "[CIDADEDOISXX]\n"
                  "NFSe=" +
                  address +
                  "\n"
                  "EnviarLoteDois=" +
                  address +
                  "\n"
                  "SoapURI=http://www.abrasf.org.br/nfse\n");
    WriteFile(root + "Templates/envelope_soap.xml",
              ReadFile(SourceDir() + "data/NFSe/Engine/Templates/envelope_soap.xml"));
    return root;
}

} // namespace tests
