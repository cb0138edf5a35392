#include "engine/CertificateStore.h"

#include "engine/mvlExceptions.h"
#include "platform/Clock.h"
#include "platform/Format.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace engine {
namespace {

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;

std::string ReadAll(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void EnsurePrivateFolder(const std::string& folder)
{
    if (!platform::ForceDirectories(folder, kFolderMode)) {
        throw EmvlCertStoreException(platform::Format("Não foi possível criar a pasta de certificados: %s", folder));
    }
    // A folder made earlier by hand may be readable by others: the keys inside must not be.
    ::chmod(folder.c_str(), kFolderMode);
}

// Temp-then-rename, created 0600 from the start so the key is never readable by others.
void WritePrivateFile(const std::string& fileName, std::string_view bytes)
{
    const std::string temp = fileName + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kFileMode);
    if (fd < 0) {
        throw EmvlCertStoreException(platform::Format("Não foi possível gravar o certificado em %s", fileName));
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written <= 0) {
            ::close(fd);
            ::unlink(temp.c_str());
            throw EmvlCertStoreException(platform::Format("Não foi possível gravar o certificado em %s", fileName));
        }
        done += static_cast<size_t>(written);
    }
    ::fsync(fd);
    ::close(fd);
    if (::rename(temp.c_str(), fileName.c_str()) != 0) {
        ::unlink(temp.c_str());
        throw EmvlCertStoreException(platform::Format("Não foi possível gravar o certificado em %s", fileName));
    }
}

std::vector<std::string> Lines(std::string_view text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = platform::Trim(text.substr(start, end - start));
        if (!line.empty()) {
            lines.emplace_back(line);
        }
        start = end + 1;
    }
    return lines;
}

} // namespace

std::string CertificateStore::DefaultFolder()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string folder;
    if (data && *data) {
        folder = data;
    } else {
        const char* home = std::getenv("HOME");
        folder = platform::JoinPath(home && *home ? home : "/tmp", ".local/share");
    }
    return platform::IncludeTrailingSeparator(platform::JoinPath(folder, "Brevant/Certificados"));
}

CertificateStore::CertificateStore(std::string folder)
    : m_folder(platform::IncludeTrailingSeparator(folder))
{ }

Certificate CertificateStore::Import(const std::string& pfxFileName, std::string_view password)
{
    Certificate certificate = Certificate::FromPkcs12File(pfxFileName, password);
    if (!certificate.HasPrivateKey()) {
        throw EmvlCertStoreException(
            platform::Format("O certificado \"%s\" não possui chave privada.", certificate.SubjectName()));
    }
    EnsurePrivateFolder(m_folder);
    WritePrivateFile(m_folder + certificate.Thumbprint() + ".pem", certificate.ToPem());
    return certificate;
}

std::vector<Certificate> CertificateStore::Certificates() const
{
    std::vector<Certificate> certificates;
    std::error_code error;
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(m_folder, error)) {
        if (entry.is_regular_file(error) && entry.path().extension() == ".pem") {
            files.push_back(entry.path().string());
        }
    }
    for (const std::string& file : files) {
        try {
            certificates.push_back(Certificate::FromPem(ReadAll(file), file));
        } catch (const EmvlCertStoreException&) {
            // A damaged or foreign file must not hide the good certificates from the list.
        }
    }
    std::sort(certificates.begin(), certificates.end(), [](const Certificate& a, const Certificate& b) {
        return std::make_pair(platform::FoldCase(a.SubjectName()), a.Thumbprint()) <
            std::make_pair(platform::FoldCase(b.SubjectName()), b.Thumbprint());
    });
    return certificates;
}

std::optional<Certificate> CertificateStore::Find(std::string_view selector) const
{
    for (Certificate& certificate : Certificates()) {
        if (certificate.Matches(selector)) {
            return std::move(certificate);
        }
    }
    return std::nullopt;
}

bool CertificateStore::Remove(std::string_view selector)
{
    const std::optional<Certificate> certificate = Find(selector);
    if (!certificate) {
        return false;
    }
    return ::unlink((m_folder + certificate->Thumbprint() + ".pem").c_str()) == 0;
}

void ListarCertificados(std::vector<std::string>* list, const CertificateStore& store)
{
    if (!list) {
        throw EmvlNFSeCheckParams("A lista do certificado não foi instanciada. ");
    }
    try {
        list->clear();
        for (const Certificate& certificate : store.Certificates()) {
            list->push_back(certificate.SubjectName());
        }
    } catch (const EmvlCertStoreException&) {
        throw;
    } catch (const std::exception& error) {
        throw EmvlCertStoreException(error.what());
    }
}

bool VerificarCertificado(std::string_view name, const CertificateStore& store)
{
    const std::optional<Certificate> certificate = store.Find(name);
    return certificate && certificate->HasPrivateKey() && certificate->IsValidAt(platform::Clock::Now());
}

platform::DateTime ValidadeCertificado(std::string_view name, const CertificateStore& store)
{
    const std::optional<Certificate> certificate = store.Find(name);
    if (!certificate) {
        throw EmvlCertStoreException(platform::Format("Certificado não encontrado: %s", name));
    }
    return certificate->ValidTo();
}

Certificate SelectCertificate(std::string_view nomesCertificado, const std::string& caminhoCertificado,
                              std::string_view senhaCertificado, const CertificateStore& store)
{
    if (!platform::Trim(caminhoCertificado).empty()) {
        return Certificate::FromPkcs12File(platform::NativePath(caminhoCertificado), senhaCertificado);
    }
    const std::vector<std::string> names = Lines(nomesCertificado);
    if (names.empty()) {
        throw EmvlCertStoreException("Nenhum certificado foi informado para a assinatura.");
    }
    for (const std::string& name : names) {
        if (std::optional<Certificate> certificate = store.Find(name)) {
            return std::move(*certificate);
        }
    }
    throw EmvlCertStoreException(platform::Format("Certificado não encontrado: %s", names.front()));
}

void CheckSelectedCertificate(std::string_view nomesCertificado, const std::string& caminhoCertificado,
                              std::string_view senhaCertificado, const CertificateStore& store)
{
    if (platform::Trim(nomesCertificado).empty() && platform::Trim(caminhoCertificado).empty()) {
        return;
    }
    SelectCertificate(nomesCertificado, caminhoCertificado, senhaCertificado, store)
        .CheckUsable(platform::Clock::Now());
}

} // namespace engine
