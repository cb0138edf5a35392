#pragma once

#include "engine/Certificate.h"
#include "engine/GovX16Utility.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class IniFile;
}

enum class TAmbienteKind
{
    akProducao = 0,
    akHomologacao = 1
};

enum class TCertificadoKind
{
    ckMemory = 0,
    ckLocalMachine = 1,
    ckFile = 2,
    ckActiveDiretory = 3,
    ckSmartCard = 4
};

struct TmvlEmailSettings
{
    std::string ServidorSmtp;
    std::string EmailRemetente;
    std::string EmailDestinatario;
    std::string Assunto;
    std::string Mensagem;
    std::string Usuario;
    std::string Senha;
    std::string CCo;
    std::string CC;
    int Porta = 0;
    bool Autenticacao = false;
    bool IsContentHTML = false;
    int TimeOut = 30000;
};

// The engine's lowest layer: certificate, environment, folders, logs, the configuration
// file and the government component's utility. Every relative name is taken in the base
// folder (the program folder unless the owner gives another); the working directory is
// never used.
class TmvlNFSeGov
{
public:
    using TLogEvent = std::function<void(const std::string& nome, const std::string& id, const std::string& fileName)>;
    using TProgressEvent = std::function<void(const std::string& message)>;

    explicit TmvlNFSeGov(std::string_view baseFolder = {});
    virtual ~TmvlNFSeGov();
    TmvlNFSeGov(const TmvlNFSeGov&) = delete;
    TmvlNFSeGov& operator=(const TmvlNFSeGov&) = delete;

    engine::GovX16Utility& Utility() { return m_utility; }
    const engine::GovX16Utility& Utility() const { return m_utility; }
    const std::string& BaseFolder() const { return m_utility.BaseFolder(); }

    const std::string& CNPJ() const { return m_CNPJ; }
    void SetCNPJ(std::string_view value) { m_CNPJ = value; }
    // A configuration may hold a value that is neither environment (Ambiente=3); callers
    // that send check it.
    TAmbienteKind Ambiente() const { return m_Ambiente; }
    void SetAmbiente(TAmbienteKind value) { m_Ambiente = value; }
    bool AmbienteValido() const;
    std::string ArquivoServidoresHom() const;
    void SetArquivoServidoresHom(std::string_view value) { m_ArquivoServidoresHom = value; }
    std::string ArquivoServidoresProd() const;
    void SetArquivoServidoresProd(std::string_view value) { m_ArquivoServidoresProd = value; }
    // As configured ("Log\" when empty); SalvarLog resolves it.
    std::string DiretorioLog() const;
    void SetDiretorioLog(std::string_view value) { m_DiretorioLog = value; }
    bool ValidarEsquemaAntesEnvio() const { return m_ValidarEsquemaAntesEnvio; }
    void SetValidarEsquemaAntesEnvio(bool value) { m_ValidarEsquemaAntesEnvio = value; }
    int TimeOut() const { return m_TimeOut; }
    void SetTimeOut(int value) { m_TimeOut = value; }
    bool IgnoreInvalidCertificates() const { return m_IgnoreInvalidCertificates; }
    void SetIgnoreInvalidCertificates(bool value) { m_IgnoreInvalidCertificates = value; }
    const std::vector<std::string>& ErrosValidador() const { return m_ErrosValidador; }
    TmvlEmailSettings& EmailSettings() { return m_EmailSettings; }
    const TmvlEmailSettings& EmailSettings() const { return m_EmailSettings; }
    // Resolved folders with a trailing separator ("Templates\", "Esquemas\" when empty).
    std::string DiretorioTemplates() const;
    void SetDiretorioTemplates(std::string_view value) { m_DiretorioTemplates = value; }
    std::string DiretorioEsquemas() const;
    void SetDiretorioEsquemas(std::string_view value) { m_DiretorioEsquemas = value; }
    // The allowed-elements file the component reads, inside the templates folder.
    std::string ArquivoElementosPermitidos() const;
    TCertificadoKind TipoCertificado() const { return m_TipoCertificado; }
    void SetTipoCertificado(TCertificadoKind value) { m_TipoCertificado = value; }
    const std::string& Proxy() const { return m_Proxy; }
    void SetProxy(std::string_view value) { m_Proxy = value; }
    const std::string& Usuario() const { return m_Usuario; }
    void SetUsuario(std::string_view value) { m_Usuario = value; }
    const std::string& Senha() const { return m_Senha; }
    void SetSenha(std::string_view value) { m_Senha = value; }
    bool ConexaoSegura() const { return m_ConexaoSegura; }
    void SetConexaoSegura(bool value) { m_ConexaoSegura = value; }
    const std::string& PinCode() const { return m_PinCode; }
    void SetPinCode(std::string_view value) { m_PinCode = value; }
    const std::string& CaminhoCertificado() const { return m_CaminhoCertificado; }
    void SetCaminhoCertificado(std::string_view value) { m_CaminhoCertificado = value; }
    const std::string& SenhaCertificado() const { return m_SenhaCertificado; }
    void SetSenhaCertificado(std::string_view value) { m_SenhaCertificado = value; }
    // The folder of "nfse_exception.log", shared by the whole process (empty: program folder).
    const std::string& DiretorioLogErro() const { return m_DiretorioLogErro; }
    void SetDiretorioLogErro(std::string_view value);
    const std::vector<std::string>& NomesCertificado() const { return m_NomesCertificado; }
    void SetNomesCertificado(std::vector<std::string> names) { m_NomesCertificado = std::move(names); }
    // The installed certificates are the user's certificate store (engine/CertificateStore).
    // ListarCertificados: a null list fails with EmvlNFSeCheckParams; store errors are
    // EmvlCertStoreException.
    void ListarCertificados(std::vector<std::string>* list) const;
    bool VerificarCertificado(std::string_view name) const;
    platform::DateTime ValidadeCertificado(std::string_view name) const;
    // The check made before every operation, unless neither names nor a file are set.
    void CheckSelectedCertificate() const;
    // The certificate the settings choose, checked for use now.
    engine::Certificate SelectedCertificate() const;
    const std::string& SecaoConfig() const { return m_SecaoConfig; }
    void SetSecaoConfig(std::string_view value) { m_SecaoConfig = value; }

    void SetOnLog(TLogEvent handler) { m_OnLog = std::move(handler); }
    void SetOnProgresso(TProgressEvent handler) { m_OnProgresso = std::move(handler); }
    void RepassarProgresso(const std::string& message) const;

    // Empty name: nfseConfig.ini in the base folder. Any failure becomes EmvlNFSeException
    // "Um problema foi encontrado durante o carregamento do arquivo de configuração: "…"".
    void LoadConfig(std::string_view fileName = {});
    void LoadConfig(const platform::IniFile* ini);
    void SaveConfig(std::string_view fileName = {});
    void SaveConfig(platform::IniFile* ini);
    std::string CaminhoArquivoConfig(std::string_view fileName = {}) const;

    // Writes a request or answer log (owner-only file) and returns its path; fires OnLog.
    std::string SalvarLog(std::string_view content, std::string_view nome, std::string_view fileName = {},
                          std::string_view id = {});
    std::string NomeArquivoLog(std::string_view nome, std::string_view id) const;
    const std::string& UltimoLog() const { return m_UltimoLog; }

    // Only with ValidarEsquemaAntesEnvio; failures raise EmvlSchemaValidationException.
    void ValidarXml(std::string_view xml);
    void ValidarXmlComEsquema(std::string_view xml, std::string_view schema);

    // Sends the e-mail of EmailSettings to the recipient with the files attached; true when
    // sent. A failure is EmvlNFSeException with the reason.
    bool EnviarEmail(std::string_view destinatario, const std::vector<std::string>& anexos);

    // A template's text, with its city, provider and Custom variants.
    virtual std::string CarregarModelo(std::string_view fileName) = 0;

protected:
    // Reads the keys of the configuration; the layers above add their own.
    virtual void LerConfiguracoes(const platform::IniFile& ini);
    virtual void GravarConfiguracoes(platform::IniFile& ini) const;
    std::string Resolve(std::string_view path) const { return m_utility.ExpandPath(path); }

    // Open only while a configuration is loaded or saved.
    const platform::IniFile* m_ConfigINI = nullptr;

private:
    engine::GovX16Utility m_utility;
    std::string m_CNPJ;
    TAmbienteKind m_Ambiente = TAmbienteKind::akHomologacao;
    std::string m_ArquivoServidoresHom = "nfseServidoresHom.ini";
    std::string m_ArquivoServidoresProd = "nfseServidoresProd.ini";
    std::string m_DiretorioLog = "Log\\";
    bool m_ValidarEsquemaAntesEnvio = false;
    int m_TimeOut = 0;
    bool m_IgnoreInvalidCertificates = false;
    std::vector<std::string> m_ErrosValidador;
    TmvlEmailSettings m_EmailSettings;
    std::string m_DiretorioTemplates = "Templates\\";
    std::string m_DiretorioEsquemas = "Esquemas\\";
    TCertificadoKind m_TipoCertificado = TCertificadoKind::ckFile;
    std::string m_Proxy;
    std::string m_Usuario;
    std::string m_Senha;
    bool m_ConexaoSegura = true;
    std::string m_PinCode;
    std::string m_CaminhoCertificado;
    std::string m_SenhaCertificado;
    std::string m_DiretorioLogErro;
    std::vector<std::string> m_NomesCertificado;
    std::string m_SecaoConfig = "NFSE";
    std::string m_UltimoLog;
    TLogEvent m_OnLog;
    TProgressEvent m_OnProgresso;
};

// Text forms of the certificate kind in nfseConfig.ini.
TCertificadoKind CertificadoKindFromText(std::string_view text);
std::string_view CertificadoKindText(TCertificadoKind kind);
