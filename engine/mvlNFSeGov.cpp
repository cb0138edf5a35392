#include "engine/mvlNFSeGov.h"

#include "engine/CertificateStore.h"
#include "engine/HttpTransport.h"
#include "engine/MailSender.h"
#include "engine/mvlExceptions.h"
#include "engine/mvlNFSeXmlUtils.h"
#include "engine/mvlXPath.h"
#include "platform/Clock.h"
#include "platform/Format.h"
#include "platform/FormatSettings.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"

#include <array>

namespace {

struct CertificadoText
{
    TCertificadoKind Kind;
    std::string_view Text;
    std::string_view Repositorio;
};

constexpr std::array<CertificadoText, 5> kCertificados {{
    {TCertificadoKind::ckMemory, "MEMORY", "MEMORY_STORE"},
    {TCertificadoKind::ckLocalMachine, "LOCALMACHINE", "LOCAL_MACHINE_STORE"},
    {TCertificadoKind::ckFile, "FILE", "CURRENT_USER_STORE"},
    {TCertificadoKind::ckActiveDiretory, "ACTIVEDIRECTORY", "ACTIVE_DIRECTORY_USER_STORE"},
    {TCertificadoKind::ckSmartCard, "SMARTCARD", "SMART_CARD_USER_STORE"},
}};

std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > start) {
            lines.emplace_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return lines;
}

std::string WithDefault(const std::string& value, std::string_view fallback)
{
    return value.empty() ? std::string(fallback) : value;
}

} // namespace

TCertificadoKind CertificadoKindFromText(std::string_view text)
{
    for (const CertificadoText& row : kCertificados) {
        if (platform::EqualsIgnoreCase(platform::Trim(text), row.Text)) {
            return row.Kind;
        }
    }
    return TCertificadoKind::ckFile;
}

std::string_view CertificadoKindText(TCertificadoKind kind)
{
    for (const CertificadoText& row : kCertificados) {
        if (row.Kind == kind) {
            return row.Text;
        }
    }
    return "FILE";
}

TmvlNFSeGov::TmvlNFSeGov(std::string_view baseFolder)
    : m_utility(baseFolder)
{ }

TmvlNFSeGov::~TmvlNFSeGov() = default;

bool TmvlNFSeGov::AmbienteValido() const
{
    return m_Ambiente == TAmbienteKind::akProducao || m_Ambiente == TAmbienteKind::akHomologacao;
}

std::string TmvlNFSeGov::ArquivoServidoresHom() const
{
    return WithDefault(m_ArquivoServidoresHom, "nfseServidoresHom.ini");
}

std::string TmvlNFSeGov::ArquivoServidoresProd() const
{
    return WithDefault(m_ArquivoServidoresProd, "nfseServidoresProd.ini");
}

std::string TmvlNFSeGov::DiretorioLog() const
{
    return WithDefault(m_DiretorioLog, "Log\\");
}

std::string TmvlNFSeGov::DiretorioTemplates() const
{
    return platform::IncludeTrailingSeparator(Resolve(WithDefault(m_DiretorioTemplates, "Templates\\")));
}

std::string TmvlNFSeGov::DiretorioEsquemas() const
{
    return platform::IncludeTrailingSeparator(Resolve(WithDefault(m_DiretorioEsquemas, "Esquemas\\")));
}

std::string TmvlNFSeGov::ArquivoElementosPermitidos() const
{
    return DiretorioTemplates() + "ElementosPermitidos.bin";
}

void TmvlNFSeGov::SetDiretorioLogErro(std::string_view value)
{
    m_DiretorioLogErro = value;
    // Unset, the log sits in the engine's own folder, like every other file it keeps.
    EmvlNFSeException::SetErrorLogFolder(value.empty() ? m_utility.BaseFolder() : Resolve(value));
}

void TmvlNFSeGov::RepassarProgresso(const std::string& message) const
{
    if (m_OnProgresso) {
        m_OnProgresso(message);
    }
}

std::string TmvlNFSeGov::CaminhoArquivoConfig(std::string_view fileName) const
{
    if (platform::Trim(fileName).empty()) {
        return BaseFolder() + "nfseConfig.ini";
    }
    return Resolve(fileName);
}

namespace {

// Clears the open-configuration pointer however loading or saving ends.
class ConfigScope
{
public:
    ConfigScope(const platform::IniFile*& slot, const platform::IniFile* ini)
        : m_slot(slot)
    {
        m_slot = ini;
    }
    ~ConfigScope() { m_slot = nullptr; }
    ConfigScope(const ConfigScope&) = delete;
    ConfigScope& operator=(const ConfigScope&) = delete;

private:
    const platform::IniFile*& m_slot;
};

[[noreturn]] void RaiseLoadError(const std::exception& error)
{
    throw EmvlNFSeException(platform::Format(
        "Um problema foi encontrado durante o carregamento do arquivo de configuração: \"%s\"", error.what()));
}

} // namespace

void TmvlNFSeGov::LoadConfig(std::string_view fileName)
{
    try {
        const std::string path = CaminhoArquivoConfig(fileName);
        if (!platform::FileExists(path)) {
            throw EmvlConfigINIException(platform::Format("Arquivo de configuração \"%s\" não foi encontrado", path));
        }
        const platform::IniFile ini(path);
        ConfigScope scope(m_ConfigINI, &ini);
        if (m_SecaoConfig.empty()) {
            m_SecaoConfig = "NFSE";
        }
        LerConfiguracoes(ini);
    } catch (const std::exception& error) {
        RaiseLoadError(error);
    }
}

void TmvlNFSeGov::LoadConfig(const platform::IniFile* ini)
{
    if (ini == nullptr) {
        throw EmvlConfigINIException("O parâmetro não pode ser nil para realizar o LoadConfig");
    }
    try {
        ConfigScope scope(m_ConfigINI, ini);
        if (m_SecaoConfig.empty()) {
            m_SecaoConfig = "NFSE";
        }
        LerConfiguracoes(*ini);
    } catch (const std::exception& error) {
        RaiseLoadError(error);
    }
}

void TmvlNFSeGov::LerConfiguracoes(const platform::IniFile& ini)
{
    const std::string& s = m_SecaoConfig;
    m_TipoCertificado = CertificadoKindFromText(ini.ReadString(s, "TipoCertificado", ""));
    m_NomesCertificado = SplitLines(ini.ReadString(s, "NomeCertificado", ""));
    m_PinCode = m_utility.DecodePin(ini.ReadString(s, "PINCODE", ""));
    m_CaminhoCertificado = ini.ReadString(s, "CaminhoCertificado", "");
    m_SenhaCertificado = ini.ReadString(s, "SenhaCertificado", "");
    m_CNPJ = ini.ReadString(s, "CNPJ", "");
    m_ArquivoServidoresHom = ini.ReadString(s, "ArquivoServidoresHom", "nfseServidoresHom.ini");
    m_ArquivoServidoresProd = ini.ReadString(s, "ArquivoServidoresProd", "nfseServidoresProd.ini");
    m_Ambiente = static_cast<TAmbienteKind>(ini.ReadInteger(s, "Ambiente", 2) - 1);
    m_DiretorioLog = ini.ReadString(s, "DiretorioLog", "\\Log");
    m_ValidarEsquemaAntesEnvio = ini.ReadBool(s, "ValidarEsquema", false);
    m_DiretorioTemplates = ini.ReadString(s, "DiretorioTemplates", "\\Templates");
    m_DiretorioEsquemas = ini.ReadString(s, "DiretorioEsquemas", "\\Esquemas");
    SetDiretorioLogErro(ini.ReadString(s, "DiretorioLogErro", ""));
    m_Proxy = ini.ReadString(s, "Proxy", "");
    m_Usuario = ini.ReadString(s, "Usuario", "");
    m_Senha = ini.ReadString(s, "Senha", "");
    m_TimeOut = static_cast<int>(ini.ReadInteger(s, "TimeOut", 0));

    TmvlEmailSettings& mail = m_EmailSettings;
    mail.ServidorSmtp = ini.ReadString("MAIL", "Servidor", "");
    mail.EmailRemetente = ini.ReadString("MAIL", "EmailRemetente", "");
    mail.EmailDestinatario = ini.ReadString("MAIL", "EmailDestinatario", "");
    mail.Assunto = ini.ReadString("MAIL", "Assunto", "");
    mail.Mensagem = ini.ReadString("MAIL", "Mensagem", "");
    mail.Usuario = ini.ReadString("MAIL", "Usuario", "");
    mail.Senha = ini.ReadString("MAIL", "Senha", "");
    mail.CCo = ini.ReadString("MAIL", "CCo", "");
    mail.CC = ini.ReadString("MAIL", "CC", "");
    mail.Porta = static_cast<int>(ini.ReadInteger("MAIL", "Porta", 0));
    mail.Autenticacao = ini.ReadBool("MAIL", "Autenticacao", false);
    mail.IsContentHTML = ini.ReadBool("MAIL", "IsContentHTML", false);
    mail.TimeOut = static_cast<int>(ini.ReadInteger("MAIL", "TimeOut", 30000));
}

void TmvlNFSeGov::SaveConfig(std::string_view fileName)
{
    platform::IniFile ini(CaminhoArquivoConfig(fileName));
    SaveConfig(&ini);
    ini.UpdateFile();
}

void TmvlNFSeGov::SaveConfig(platform::IniFile* ini)
{
    if (ini == nullptr) {
        throw EmvlConfigINIException("O parâmetro não pode ser nil para realizar o SaveConfig");
    }
    ConfigScope scope(m_ConfigINI, ini);
    if (m_SecaoConfig.empty()) {
        m_SecaoConfig = "NFSE";
    }
    GravarConfiguracoes(*ini);
}

void TmvlNFSeGov::GravarConfiguracoes(platform::IniFile& ini) const
{
    const std::string& s = m_SecaoConfig;
    const auto kind = static_cast<size_t>(m_TipoCertificado);
    ini.WriteString(s, "Repositorio", kind < kCertificados.size() ? kCertificados[kind].Repositorio : "");
    // Loading reads "TipoCertificado"; without it a saved configuration comes back as a
    // file certificate.
    ini.WriteString(s, "TipoCertificado", CertificadoKindText(m_TipoCertificado));
    // An INI value holds one line, and loading takes one name per line: the first name is
    // the one that survives a round trip.
    ini.WriteString(s, "NomeCertificado", m_NomesCertificado.empty() ? std::string() : m_NomesCertificado.front());
    ini.WriteString(s, "PINCODE", m_utility.EncodePin(m_PinCode));
    ini.WriteString(s, "CaminhoCertificado", m_CaminhoCertificado);
    ini.WriteString(s, "SenhaCertificado", m_SenhaCertificado);
    ini.WriteString(s, "CNPJ", m_CNPJ);
    ini.WriteString(s, "ArquivoServidoresHom", m_ArquivoServidoresHom);
    ini.WriteString(s, "ArquivoServidoresProd", m_ArquivoServidoresProd);
    ini.WriteInteger(s, "Ambiente", static_cast<int>(m_Ambiente) + 1);
    ini.WriteString(s, "DiretorioLog", m_DiretorioLog);
    ini.WriteBool(s, "ValidarEsquema", m_ValidarEsquemaAntesEnvio);
    ini.WriteString(s, "DiretorioTemplates", m_DiretorioTemplates);
    ini.WriteString(s, "DiretorioEsquemas", m_DiretorioEsquemas);
    ini.WriteString(s, "DiretorioLogErro", m_DiretorioLogErro);
    ini.WriteString(s, "Proxy", m_Proxy);
    ini.WriteString(s, "Usuario", m_Usuario);
    ini.WriteString(s, "Senha", m_Senha);
    ini.WriteInteger(s, "TimeOut", m_TimeOut);

    const TmvlEmailSettings& mail = m_EmailSettings;
    ini.WriteString("MAIL", "Servidor", mail.ServidorSmtp);
    ini.WriteString("MAIL", "EmailRemetente", mail.EmailRemetente);
    ini.WriteString("MAIL", "EmailDestinatario", mail.EmailDestinatario);
    ini.WriteString("MAIL", "Assunto", mail.Assunto);
    ini.WriteString("MAIL", "Mensagem", mail.Mensagem);
    ini.WriteString("MAIL", "Usuario", mail.Usuario);
    ini.WriteString("MAIL", "Senha", mail.Senha);
    ini.WriteString("MAIL", "CCo", mail.CCo);
    ini.WriteString("MAIL", "CC", mail.CC);
    ini.WriteInteger("MAIL", "Porta", mail.Porta);
    ini.WriteBool("MAIL", "Autenticacao", mail.Autenticacao);
    ini.WriteBool("MAIL", "IsContentHTML", mail.IsContentHTML);
    ini.WriteInteger("MAIL", "TimeOut", mail.TimeOut);
}

std::string TmvlNFSeGov::NomeArquivoLog(std::string_view nome, std::string_view id) const
{
    const std::string when =
        platform::FormatDateTime("yyyy-mm-dd-hh-nn-ss-z", platform::Clock::Now(), platform::BrazilianFormatSettings());
    const std::string separator = id.empty() ? std::string("-") : "_" + std::string(id) + "_";
    return when + separator + std::string(nome) + ".xml";
}

std::string TmvlNFSeGov::SalvarLog(std::string_view content, std::string_view nome, std::string_view fileName,
                                   std::string_view id)
{
    const std::string configured = DiretorioLog();
    std::string folder = platform::Trim(configured).empty() ? std::string() : Resolve(configured);
    // The logs hold requests with credentials: the folder is the owner's alone when we make it.
    if (folder.empty() || !platform::ForceDirectories(folder, 0700)) {
        throw EmvlLogException(platform::Format("Diretório de log não pode ser criado ou está vazio: %s",
                                                folder.empty() ? configured : folder));
    }
    folder = platform::IncludeTrailingSeparator(folder);
    std::string path;
    if (!platform::Trim(fileName).empty()) {
        const std::string native = platform::NativePath(fileName);
        path = native.starts_with('/') ? native : folder + native;
    } else {
        path = folder + NomeArquivoLog(nome, id);
    }
    m_utility.WriteTextFile(path, content, true);
    if (m_OnLog) {
        m_OnLog(std::string(nome), std::string(id), path);
    }
    m_UltimoLog = path;
    return path;
}

void TmvlNFSeGov::ValidarXml(std::string_view xml)
{
    if (!m_ValidarEsquemaAntesEnvio) {
        return;
    }
    const bool valid = m_utility.ValidateXml(xml, DiretorioEsquemas());
    m_ErrosValidador = m_utility.ValidationMessages();
    if (!valid) {
        m_ErrosValidador.push_back(m_utility.LastError());
        throw EmvlSchemaValidationException(m_utility.LastError());
    }
}

void TmvlNFSeGov::ValidarXmlComEsquema(std::string_view xml, std::string_view schema)
{
    TmvlXPath doc;
    if (!doc.TryLoadXML(xml) || doc.DocumentElement().LocalName().empty()) {
        throw EmvlNFSeOperacaoIndisponivelException("Operação não suportada para o padrão atual");
    }
    const std::string native = platform::NativePath(schema);
    const std::string file = native.starts_with('/') ? native : platform::JoinPath(DiretorioEsquemas(), native);
    const bool valid = m_utility.ValidateXmlWithSchema(xml, file);
    m_ErrosValidador = m_utility.ValidationMessages();
    if (!valid) {
        m_ErrosValidador.push_back(m_utility.LastError());
        throw EmvlSchemaValidationException(m_utility.LastError());
    }
}

namespace {

std::string CertificateNameText(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names) {
        text += name + "\n";
    }
    return text;
}

} // namespace

void TmvlNFSeGov::ListarCertificados(std::vector<std::string>* list) const
{
    engine::ListarCertificados(list, engine::CertificateStore());
}

bool TmvlNFSeGov::VerificarCertificado(std::string_view name) const
{
    return engine::VerificarCertificado(name, engine::CertificateStore());
}

platform::DateTime TmvlNFSeGov::ValidadeCertificado(std::string_view name) const
{
    return engine::ValidadeCertificado(name, engine::CertificateStore());
}

void TmvlNFSeGov::CheckSelectedCertificate() const
{
    engine::CheckSelectedCertificate(CertificateNameText(m_NomesCertificado), m_CaminhoCertificado, m_SenhaCertificado,
                                     engine::CertificateStore());
}

engine::Certificate TmvlNFSeGov::SelectedCertificate() const
{
    engine::Certificate certificate = engine::SelectCertificate(
        CertificateNameText(m_NomesCertificado),
        // An empty path resolves to the program folder, which is no certificate.
        platform::Trim(m_CaminhoCertificado).empty() ? std::string() : Resolve(m_CaminhoCertificado),
        m_SenhaCertificado, engine::CertificateStore());
    certificate.CheckUsable(platform::Clock::Now());
    return certificate;
}

bool TmvlNFSeGov::EnviarEmail(std::string_view destinatario, const std::vector<std::string>& anexos)
{
    const TmvlEmailSettings& email = m_EmailSettings;
    engine::MailSettings settings;
    settings.Server = email.ServidorSmtp;
    settings.User = email.Usuario;
    settings.Password = email.Senha;
    settings.Subject = email.Assunto;
    settings.Message = email.Mensagem;
    settings.Bcc = email.CCo;
    settings.Cc = email.CC;
    settings.From = email.EmailRemetente;
    settings.Authentication = email.Autenticacao;
    settings.Port = email.Porta;
    settings.TimeoutMs = email.TimeOut;
    settings.IsContentHtml = email.IsContentHTML;
    settings.IgnoreInvalidCertificates = m_IgnoreInvalidCertificates;
    std::vector<std::string> files;
    for (const std::string& anexo : anexos) {
        files.push_back(Resolve(anexo));
    }
    try {
        engine::MailSender(settings).Send(std::string(destinatario), files);
    } catch (const engine::TransportError& error) {
        throw EmvlNFSeException(platform::Format("Não foi possível enviar o e-mail: %s", error.what()));
    }
    return true;
}
