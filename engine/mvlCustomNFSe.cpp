#include "engine/mvlCustomNFSe.h"

#include "engine/BuiltInLocais.h"
#include "engine/HttpTransport.h"
#include "engine/mvlExceptions.h"
#include "engine/mvlMappingDataset.h"
#include "engine/mvlNFSeXmlUtils.h"
#include "engine/mvlXPath.h"
#include "platform/Format.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"

namespace engine {

void NameValueList::Add(std::string_view name, std::string_view value)
{
    m_lines.emplace_back(std::string(name), std::string(value));
}

void NameValueList::SetValue(std::string_view name, std::string_view value)
{
    for (auto& line : m_lines) {
        if (platform::EqualsIgnoreCase(line.first, name)) {
            line.second = std::string(value);
            return;
        }
    }
    Add(name, value);
}

const std::pair<std::string, std::string>* NameValueList::Find(std::string_view name) const
{
    for (const auto& line : m_lines) {
        if (platform::EqualsIgnoreCase(line.first, name)) {
            return &line;
        }
    }
    return nullptr;
}

std::optional<std::string> NameValueList::Value(std::string_view name) const
{
    const auto* line = Find(name);
    if (line == nullptr) {
        return std::nullopt;
    }
    return line->second;
}

} // namespace engine

TmvlCustomNFSe::TmvlCustomNFSe(std::string_view baseFolder)
    : TmvlNFSeGov(baseFolder)
{
    m_printDatasets = std::make_unique<TmvlPrintNfseDatasets>();
    for (const engine::LocalEntry& entry : engine::BuiltInLocais()) {
        m_Locais.Add(entry.Name, entry.Value);
    }
}

TmvlCustomNFSe::~TmvlCustomNFSe() = default;

void TmvlCustomNFSe::SetCidade(std::string_view value)
{
    if (value.empty()) {
        return;
    }
    const std::optional<std::string> target = m_Locais.Value(value);
    if (!target) {
        throw EmvlNFSeLocaisIniException(platform::Format("Valor inválido para Local: %s", value));
    }
    // One level of alias: "BELOHORIZONTEMG" stands for the key "BELOHORIZONTE".
    m_Cidade = m_Locais.Contains(*target) ? *target : std::string(value);
}

std::string TmvlCustomNFSe::CodigoIBGECidade() const
{
    return m_Locais.Value(m_Cidade).value_or(std::string());
}

void TmvlCustomNFSe::CarregarLocais()
{
    m_locaisIni.reset();
    const std::string path = Resolve(m_ArquivoLocais);
    if (!platform::FileExists(path) || platform::DirectoryExists(path)) {
        throw EmvlNFSeFileNotFoundException(platform::Format("O arquivo de locais informado não existe: %s", path));
    }
    m_locaisIni = std::make_unique<platform::IniFile>(path);
    for (const auto& [name, value] : m_locaisIni->ReadSectionValues("LOCAIS")) {
        m_Locais.SetValue(name, value);
    }
    if (m_ConfigINI != nullptr) {
        SetCidade(m_ConfigINI->ReadString(SecaoConfig(), "CIDADE", "CURITIBA"));
    }

    TConfiguracoesWebService& ws = m_ConfiguracoesWebService;
    if (AmbienteValido()) {
        ws.SoapURI = ArquivoServidoresIni().ReadString(m_Cidade, "SoapURI", kDefaultSoapURI);
    }
    const platform::IniFile& ini = *m_locaisIni;
    const std::string& c = m_Cidade;
    SetConexaoSegura(ini.ReadBool(c, "ConexaoSegura", false));
    ws.IdTag = ini.ReadString(c, "IdTag", "Id");
    ws.GerarAssinaturaXml = ini.ReadBool(c, "GerarAssinaturaXml", true);
    ws.GerarAssinaturaRps = ini.ReadBool(c, "GerarAssinaturaRps", true);
    ws.UsarIdCancelamento = ini.ReadBool(c, "UsarIdCancelamento", true);
    ws.IdRpsAutomatico = ini.ReadBool(c, "IdRpsAutomatico", true);
    ws.UsarIdLoteRps = ini.ReadBool(c, "UsarIdLoteRps", true) || ws.GerarAssinaturaRps;
    ws.SoapActionRecepcionarLoteRps = ini.ReadString(c, "SoapActionRecepcionarLoteRps", "RecepcionarLoteRps");
    ws.SoapActionConsultarSituacaoLoteRps =
        ini.ReadString(c, "SoapActionConsultarSituacaoLoteRps", "ConsultarSituacaoLoteRps");
    ws.SoapActionConsultarLoteRps = ini.ReadString(c, "SoapActionConsultarLoteRps", "ConsultarLoteRps");
    ws.SoapActionConsultarNfsePorRps = ini.ReadString(c, "SoapActionConsultarNfsePorRps", "ConsultarNfsePorRps");
    ws.SoapActionConsultarNfse = ini.ReadString(c, "SoapActionConsultarNfse", "ConsultarNfse");
    ws.SoapActionCancelarNfse = ini.ReadString(c, "SoapActionCancelarNfse", "CancelarNfse");
    ws.EscaparXml = ini.ReadBool(c, "EscapeXml", false);
    ws.CollectionName = ini.ReadString(c, "CollectionName", c);
    ws.WebserviceEncoding = ini.ReadString(c, "WebserviceEncoding", "UTF-8");
    ws.StringQuebraDeLinha = ini.ReadString(c, "LineBreak", "");
    ws.VersaoMinimaTLS = ini.ReadString(c, "VersaoMinimaTLS", "");
    if (ini.ValueExists(c, "TargetNamespace")) {
        ws.TargetNamespace = ini.ReadString(c, "TargetNamespace", "");
    } else {
        ws.TargetNamespace.reset();
    }
}

const platform::IniFile& TmvlCustomNFSe::ArquivoServidoresIni()
{
    if (!AmbienteValido()) {
        throw EmvlNFSeAddressException(platform::Format("Ambiente inválido: %d. Use 1 (produção) ou 2 (homologação).",
                                                        static_cast<int>(Ambiente()) + 1));
    }
    const std::string configured =
        Ambiente() == TAmbienteKind::akProducao ? ArquivoServidoresProd() : ArquivoServidoresHom();
    const std::string path = Resolve(configured);
    if (m_servidoresIni && m_servidoresIni->FileName() == path) {
        return *m_servidoresIni;
    }
    m_servidoresIni.reset();
    if (!platform::FileExists(path) || platform::DirectoryExists(path)) {
        throw EmvlNFSeFileNotFoundException(platform::Format("O arquivo de servidores informado não existe: %s", path));
    }
    m_servidoresIni = std::make_unique<platform::IniFile>(path);
    return *m_servidoresIni;
}

std::string TmvlCustomNFSe::ObterUrlServico(TTipoServico tipo, std::string_view nome)
{
    static constexpr std::string_view kKeys[] = {"NFSeRecepcionarLoteRps", "NFSeConsultarSituacaoLoteRps",
                                                 "NFSeConsultarLoteRps",   "NFSeConsultarNfsePorRps",
                                                 "NFSeConsultarNfse",      "NFSeCancelarNfse"};
    const platform::IniFile& servers = ArquivoServidoresIni();
    const std::string fallback = servers.ReadString(m_Cidade, "NFSe", "");
    std::string url;
    if (tipo == TTipoServico::tsOutro) {
        if (platform::Trim(nome).empty()) {
            throw EmvlNFSeAddressException("Nome do serviço não definido.");
        }
        url = servers.ReadString(m_Cidade, nome, fallback);
    } else {
        url = servers.ReadString(m_Cidade, kKeys[static_cast<int>(tipo)], fallback);
    }
    if (platform::Trim(url).empty()) {
        throw EmvlNFSeAddressException(
            platform::Format("Servidor para NFSe não definido no arquivo: %s", servers.FileName()));
    }
    return url;
}

std::string TmvlCustomNFSe::CarregarModelo(std::string_view fileName)
{
    try {
        if (m_ConfiguracoesWebService.CollectionName.empty()) {
            CarregarLocais();
        }
        const std::string located =
            FindEngineFile(DiretorioTemplates(), DiretorioEsquemas(), m_Cidade, TEngineFileKind::efkTemplate, fileName,
                           m_ConfiguracoesWebService.CollectionName, BaseFolder());
        // "envelope_soap.xml" may be overridden by "envelope_soapcustom.xml" beside it. Only
        // the file name's own extension takes the mark: a dot in a folder name must not.
        const size_t slash = located.rfind('/');
        const size_t dot = located.rfind('.');
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
            const std::string custom =
                platform::FindFileIgnoringCase(located.substr(0, dot) + "custom" + located.substr(dot));
            if (platform::FileExists(custom) && !platform::DirectoryExists(custom)) {
                return Utility().ReadTextFile(custom);
            }
        }
        if (!platform::FileExists(located)) {
            throw EmvlTemplateNotFoundException(
                platform::Format("Arquivo de template não encontrado: \"%s\"", located));
        }
        return Utility().ReadTextFile(located);
    } catch (const EmvlNFSeLoadTemplateException&) {
        throw;
    } catch (const std::exception& error) {
        throw EmvlNFSeLoadTemplateException(error.what());
    }
}

void TmvlCustomNFSe::LerConfiguracoes(const platform::IniFile& ini)
{
    TmvlNFSeGov::LerConfiguracoes(ini);
    const std::string& s = SecaoConfig();
    m_DiretorioXmlImpressao = ini.ReadString(s, "DiretorioXmlImpressao", "XmlImpressao\\");
    m_MappingFileName = ini.ReadString(s, "MappingFileName", "Mapping.txt");
    m_InscricaoMunicipal = ini.ReadString(s, "InscricaoMunicipal", "");
    m_ArquivoLocais = ini.ReadString(s, "ArquivoLocais", m_ArquivoLocais);
    m_RemoverAcentos = ini.ReadBool(s, "RemoverAcentos", true);
    m_ArquivoAutoridadesCertificadoras = ini.ReadString(s, "ArquivoAutoridadesCertificadoras", "");
    CarregarLocais();
}

void TmvlCustomNFSe::GravarConfiguracoes(platform::IniFile& ini) const
{
    TmvlNFSeGov::GravarConfiguracoes(ini);
    const std::string& s = SecaoConfig();
    ini.WriteString(s, "CIDADE", m_Cidade);
    ini.WriteString(s, "DiretorioXmlImpressao", m_DiretorioXmlImpressao);
    ini.WriteString(s, "MappingFileName", m_MappingFileName);
    ini.WriteString(s, "InscricaoMunicipal", m_InscricaoMunicipal);
    ini.WriteString(s, "ArquivoLocais", m_ArquivoLocais);
    ini.WriteBool(s, "RemoverAcentos", m_RemoverAcentos);
    if (!m_ArquivoAutoridadesCertificadoras.empty()) {
        ini.WriteString(s, "ArquivoAutoridadesCertificadoras", m_ArquivoAutoridadesCertificadoras);
    }
}

engine::SigningSettings TmvlCustomNFSe::MakeSigningSettings()
{
    engine::SigningSettings settings;
    settings.IdTag = m_ConfiguracoesWebService.IdTag;
    settings.GerarAssinaturaRps = m_ConfiguracoesWebService.GerarAssinaturaRps;
    settings.GerarAssinaturaXml = m_ConfiguracoesWebService.GerarAssinaturaXml;
    settings.IdRpsAutomatico = m_ConfiguracoesWebService.IdRpsAutomatico;
    settings.UsarIdLoteRps = m_ConfiguracoesWebService.UsarIdLoteRps;
    settings.CarregarModelo = [this](const std::string& fileName) { return CarregarModelo(fileName); };
    return settings;
}

std::string TmvlCustomNFSe::AssinarXml(std::string_view xml, std::string_view signatureId)
{
    const engine::XmlSigner signer(SelectedCertificate());
    return engine::SignAtSignature(xml, signatureId, m_ConfiguracoesWebService.IdTag, signer);
}

std::string TmvlCustomNFSe::AssinarXml(std::string_view listaRps)
{
    const engine::XmlSigner signer(SelectedCertificate());
    int quantidade = 0;
    std::string result = engine::SignRpsList(listaRps, MakeSigningSettings(), signer, &quantidade);
    SetQuantidadeRPS(quantidade);
    return result;
}

namespace {

engine::TlsFloor TlsFloorFromText(std::string_view text)
{
    const std::string_view version = platform::Trim(text);
    if (version == "1.0" || version == "1") {
        return engine::TlsFloor::Tls10;
    }
    if (version == "1.1") {
        return engine::TlsFloor::Tls11;
    }
    if (version == "1.2") {
        return engine::TlsFloor::Tls12;
    }
    if (version == "1.3") {
        return engine::TlsFloor::Tls13;
    }
    return engine::TlsFloor::Default;
}

} // namespace

namespace {

constexpr std::string_view kSoap11Namespace = "http://schemas.xmlsoap.org/soap/envelope/";

bool IsSoapEnvelope(std::string_view xml)
{
    TmvlXPath doc;
    if (!doc.TryLoadXML(xml)) {
        return false;
    }
    doc.SetSelectionNamespaces(platform::Format("xmlns:soapenv=\"%s\"", kSoap11Namespace));
    return doc.SelectNode("/soapenv:Envelope");
}

} // namespace

std::string TmvlCustomNFSe::MontarEnvelopeSoap(std::string_view xml)
{
    if (IsSoapEnvelope(xml)) {
        return std::string(xml);
    }
    // The template is data, not a format: only its first "%s" is filled, a "%" elsewhere stays.
    std::string envelope = CompactXml(CarregarModelo(kEnvelopeTemplate));
    const size_t slot = envelope.find("%s");
    if (slot == std::string::npos) {
        throw EmvlNFSeLoadTemplateException(
            platform::Format("O modelo \"%s\" não tem o lugar (%%s) do conteúdo do envelope.", kEnvelopeTemplate));
    }
    envelope.replace(slot, 2, xml);
    return envelope;
}

engine::HttpTransport& TmvlCustomNFSe::Transporte()
{
    if (!m_transport) {
        m_transport = std::make_unique<engine::HttpTransport>();
    }
    engine::HttpSettings& http = m_transport->Settings();
    http.TimeoutMs = TimeOut();
    http.IgnoreInvalidCertificates = IgnoreInvalidCertificates();
    http.CaBundle =
        m_ArquivoAutoridadesCertificadoras.empty() ? std::string() : Resolve(m_ArquivoAutoridadesCertificadoras);
    http.Proxy = Proxy();
    http.ProxyUser = Usuario();
    http.ProxyPassword = Senha();
    http.MinimumTls = TlsFloorFromText(m_ConfiguracoesWebService.VersaoMinimaTLS);
    http.ContentType = "text/xml";
    http.Encoding = m_ConfiguracoesWebService.WebserviceEncoding;
    http.CertificateFile.clear();
    http.CertificatePassword.clear();
    http.CertificatePem.clear();
    if (!CaminhoCertificado().empty()) {
        http.CertificateFile = Resolve(CaminhoCertificado());
        http.CertificatePassword = SenhaCertificado();
    } else if (!NomesCertificado().empty()) {
        // An installed certificate: handed to the TLS layer from memory, never written out.
        http.CertificatePem = SelectedCertificate().ToPem();
    }
    m_transport->SetOnProgress([this](const std::string& message) { RepassarProgresso(message); });
    return *m_transport;
}

std::string TmvlCustomNFSe::ChamarWebService(TTipoServico tipo, std::string_view xml, std::string_view actionName,
                                             std::string_view serviceName)
{
    try {
        const TConfiguracoesWebService& ws = m_ConfiguracoesWebService;
        std::string action;
        switch (tipo) {
        case TTipoServico::tsRecepcionarLoteRps:
            action = ws.SoapActionRecepcionarLoteRps;
            break;
        case TTipoServico::tsConsultarSituacaoLoteRps:
            action = ws.SoapActionConsultarSituacaoLoteRps;
            break;
        case TTipoServico::tsConsultarLoteRps:
            action = ws.SoapActionConsultarLoteRps;
            break;
        case TTipoServico::tsConsultarNfsePorRps:
            action = ws.SoapActionConsultarNfsePorRps;
            break;
        case TTipoServico::tsConsultarNfse:
            action = ws.SoapActionConsultarNfse;
            break;
        case TTipoServico::tsCancelarNfse:
            action = ws.SoapActionCancelarNfse;
            break;
        case TTipoServico::tsOutro:
            action = std::string(actionName);
            break;
        }
        const std::string address = ObterUrlServico(tipo, serviceName);
        std::string resultName = action + "Result";
        std::erase_if(resultName, [](char c) { return c == ':' || c == '#'; });
        std::string actionUri;
        std::string nameSpace;
        if (ws.TargetNamespace) {
            actionUri = action;
            nameSpace = *ws.TargetNamespace;
        } else {
            actionUri = ws.SoapURI + "/" + action;
            nameSpace = ws.SoapURI;
        }
        return Transporte().SoapCall(address, std::string(xml), actionUri, resultName, nameSpace);
    } catch (const std::exception& error) {
        throw EmvlNFSeComunicationServerErrorException(
            std::string("Ocorreu um erro durante a comunicação com o servidor: ") + error.what());
    }
}

std::string TmvlCustomNFSe::EnviarFormulario(std::string_view address,
                                             const std::vector<std::pair<std::string, std::string>>& fields,
                                             const std::vector<std::pair<std::string, std::string>>& files,
                                             std::string_view fileContentType)
{
    try {
        std::vector<engine::FormField> formFields;
        for (const auto& [name, value] : fields) {
            formFields.push_back({name, value});
        }
        std::vector<engine::FormFile> formFiles;
        for (const auto& [name, path] : files) {
            formFiles.push_back({name, Resolve(path), std::string(fileContentType)});
        }
        return Transporte().PostForm(std::string(address), formFields, formFiles);
    } catch (const std::exception& error) {
        throw EmvlNFSeComunicationServerErrorException(
            std::string("Ocorreu um erro durante a comunicação com o servidor: ") + error.what());
    }
}
