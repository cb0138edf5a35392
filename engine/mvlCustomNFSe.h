#pragma once

#include "engine/mvlAssinadorNFSeX.h"
#include "engine/mvlNFSeGov.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {
class IniFile;
}

namespace engine {
class HttpTransport;
}

class TmvlPrintNfseDatasets;

namespace engine {

// An ordered name=value list: a lookup finds the first line of a name (names without case),
// as the city table relies on where a name stands twice.
class NameValueList
{
public:
    void Add(std::string_view name, std::string_view value);
    // Replaces the value of the first line of that name, or adds a line.
    void SetValue(std::string_view name, std::string_view value);
    std::optional<std::string> Value(std::string_view name) const;
    bool Contains(std::string_view name) const { return Find(name) != nullptr; }
    const std::vector<std::pair<std::string, std::string>>& Lines() const { return m_lines; }

private:
    const std::pair<std::string, std::string>* Find(std::string_view name) const;

    std::vector<std::pair<std::string, std::string>> m_lines;
};

} // namespace engine

enum class TmvlModoImpressaoNFSe
{
    smiRPS = 0,
    smiNFSe = 1,
    printRPS = 2,
    printNFSe = 3
};

struct TConfiguracoesImpressao
{
    int QtdeCopias = 1;
    std::string ArquivoRtm;
    std::string ArquivoMunicipios = "Templates\\Impressao\\municipios.txt";
    std::string DiretorioImagens = "Templates\\Impressao";
    TmvlModoImpressaoNFSe ModoImpressao = TmvlModoImpressaoNFSe::smiRPS;
    std::string LogotipoEmitente;
    std::string BrasaoMunicipio;
    std::string LineDelimiter = "|";
    int FormatoExportacao = 1;
};

// The namespace of the SOAP calls when the servers file names none.
inline constexpr std::string_view kDefaultSoapURI = "http://www.abrasf.org.br/nfse.xsd";

// The envelope every SOAP request goes in, unless it already is one.
inline constexpr std::string_view kEnvelopeTemplate = "envelope_soap.xml";

struct TConfiguracoesWebService
{
    std::string IdTag = "Id";
    std::string SoapURI = std::string(kDefaultSoapURI);
    bool GerarAssinaturaXml = true;
    bool GerarAssinaturaRps = true;
    bool IdRpsAutomatico = true;
    bool UsarIdLoteRps = true;
    bool UsarIdCancelamento = true;
    std::string SoapActionRecepcionarLoteRps = "RecepcionarLoteRps";
    std::string SoapActionConsultarSituacaoLoteRps = "ConsultarSituacaoLoteRps";
    std::string SoapActionConsultarLoteRps = "ConsultarLoteRps";
    std::string SoapActionConsultarNfsePorRps = "ConsultarNfsePorRps";
    std::string SoapActionConsultarNfse = "ConsultarNfse";
    std::string SoapActionCancelarNfse = "CancelarNfse";
    bool EscaparXml = false;
    std::string CollectionName;
    std::string StringQuebraDeLinha;
    std::string WebserviceEncoding;
    std::optional<std::string> TargetNamespace;
    // The oldest TLS version the city's server speaks ("1.0" … "1.3"); empty: the system's floor.
    std::string VersaoMinimaTLS;
};

// Services whose address ObterUrlServico reads; tsOutro takes the key by name.
enum class TTipoServico
{
    tsRecepcionarLoteRps = 0,
    tsConsultarSituacaoLoteRps = 1,
    tsConsultarLoteRps = 2,
    tsConsultarNfsePorRps = 3,
    tsConsultarNfse = 4,
    tsCancelarNfse = 5,
    tsOutro = 6
};

// The city and everything it selects: its locals-file section, web-service settings,
// servers and templates.
class TmvlCustomNFSe : public TmvlNFSeGov
{
public:
    explicit TmvlCustomNFSe(std::string_view baseFolder = {});
    ~TmvlCustomNFSe() override;

    const std::string& Cidade() const { return m_Cidade; }
    // An alias (a key followed by its state) stores its key; an unknown name fails with
    // "Valor inválido para Local: %s"; an empty one changes nothing.
    void SetCidade(std::string_view value);
    // The city's IBGE code; empty when Cidade has no line.
    std::string CodigoIBGECidade() const;
    const engine::NameValueList& Locais() const { return m_Locais; }

    const std::string& ArquivoLocais() const { return m_ArquivoLocais; }
    void SetArquivoLocais(std::string_view value) { m_ArquivoLocais = value; }
    TConfiguracoesImpressao& ConfiguracoesImpressao() { return m_ConfiguracoesImpressao; }
    TConfiguracoesWebService& ConfiguracoesWebService() { return m_ConfiguracoesWebService; }
    const TConfiguracoesWebService& ConfiguracoesWebService() const { return m_ConfiguracoesWebService; }
    const std::string& InscricaoMunicipal() const { return m_InscricaoMunicipal; }
    void SetInscricaoMunicipal(std::string_view value) { m_InscricaoMunicipal = value; }
    int QuantidadeRPS() const { return m_QuantidadeRPS; }
    const std::string& MappingFileName() const { return m_MappingFileName; }
    void SetMappingFileName(std::string_view value) { m_MappingFileName = value; }
    const std::string& DiretorioXmlImpressao() const { return m_DiretorioXmlImpressao; }
    void SetDiretorioXmlImpressao(std::string_view value) { m_DiretorioXmlImpressao = value; }
    bool RemoverAcentos() const { return m_RemoverAcentos; }
    void SetRemoverAcentos(bool value) { m_RemoverAcentos = value; }

    // Reads nfseLocais.ini: its LOCAIS lines into the list, the city (while a configuration
    // is open) and the city's web-service settings.
    void CarregarLocais();
    // The servers file of the environment, kept open while its name stays the same.
    const platform::IniFile& ArquivoServidoresIni();
    // The address of a service in the configured environment; "NFSe" is every service's
    // fallback.
    std::string ObterUrlServico(TTipoServico tipo, std::string_view nome = {});

    std::string CarregarModelo(std::string_view fileName) override;

    // The request inside the engine's SOAP envelope template ("envelope_soap.xml"), unless
    // it already is a SOAP 1.1 envelope.
    std::string MontarEnvelopeSoap(std::string_view xml);
    // The SOAP call of a service: its action and address from the city's settings. A SOAP
    // fault comes back as text; every failure is EmvlNFSeComunicationServerErrorException.
    std::string ChamarWebService(TTipoServico tipo, std::string_view xml, std::string_view actionName,
                                 std::string_view serviceName);
    // A form post (the fields, then the files) with the engine's HTTP settings, for the
    // providers that take each request as an uploaded file; failures as ChamarWebService.
    std::string EnviarFormulario(std::string_view address,
                                 const std::vector<std::pair<std::string, std::string>>& fields,
                                 const std::vector<std::pair<std::string, std::string>>& files,
                                 std::string_view fileContentType);
    // Trusted roots for the cities' servers (the ICP-Brasil roots are not in the system's
    // store); empty uses the system's store. Config key "ArquivoAutoridadesCertificadoras".
    const std::string& ArquivoAutoridadesCertificadoras() const { return m_ArquivoAutoridadesCertificadoras; }
    void SetArquivoAutoridadesCertificadoras(std::string_view value) { m_ArquivoAutoridadesCertificadoras = value; }
    // The transport with the engine's current HTTP settings copied in; it keeps its
    // connection between calls, so one batch pays the TLS handshake once.
    engine::HttpTransport& Transporte();

    // Signing on the classic path: the document signed at its Signature skeleton (the one of
    // that Id, or the only one), and a ListaRps rebuilt with its RPS signed (QuantidadeRPS
    // becomes their number). Both with the certificate the settings choose.
    std::string AssinarXml(std::string_view xml, std::string_view signatureId);
    std::string AssinarXml(std::string_view listaRps);
    // The city's signing settings, with this engine's templates.
    engine::SigningSettings MakeSigningSettings();

    // The print datasets every print and register operation rebuilds; they live with the engine.
    TmvlPrintNfseDatasets& PrintDatasets() { return *m_printDatasets; }

protected:
    void LerConfiguracoes(const platform::IniFile& ini) override;
    void GravarConfiguracoes(platform::IniFile& ini) const override;
    void SetQuantidadeRPS(int value) { m_QuantidadeRPS = value; }

private:
    std::string m_Cidade;
    engine::NameValueList m_Locais;
    std::string m_ArquivoLocais = "nfseLocais.ini";
    TConfiguracoesImpressao m_ConfiguracoesImpressao;
    TConfiguracoesWebService m_ConfiguracoesWebService;
    std::string m_InscricaoMunicipal;
    int m_QuantidadeRPS = 0;
    std::string m_MappingFileName = "Mapping.txt";
    std::string m_DiretorioXmlImpressao = "XmlImpressao\\";
    bool m_RemoverAcentos = true;
    std::unique_ptr<platform::IniFile> m_locaisIni;
    std::unique_ptr<platform::IniFile> m_servidoresIni;
    std::string m_ArquivoAutoridadesCertificadoras;
    std::unique_ptr<engine::HttpTransport> m_transport;
    std::unique_ptr<TmvlPrintNfseDatasets> m_printDatasets;
};
