#include "engine/HttpTransport.h"

#include "engine/CurlHandles.h"
#include "engine/OpenSslHandles.h"
#include "platform/Cp1252.h"
#include "platform/Format.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"

#include <openssl/err.h>

#include <algorithm>
#include <mutex>

namespace engine {

void EnsureCurlInitialised()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // Old A1 certificates are RC2-40 PKCS#12 files, which curl opens only with the legacy provider.
        EnsureOpenSsl();
        curl_global_init(CURL_GLOBAL_DEFAULT);
    });
}

namespace {

std::string Lower(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

bool ContainsIgnoringCase(std::string_view text, std::string_view what)
{
    return Lower(text).find(Lower(what)) != std::string::npos;
}

enum class Charset
{
    Utf8,
    Latin1,
    Cp1252
};

Charset CharsetOf(const std::string& encoding)
{
    const std::string name = Lower(platform::Trim(encoding));
    if (name == "iso-8859-1" || name == "iso8859-1" || name == "latin1" || name == "latin-1") {
        return Charset::Latin1;
    }
    if (name == "windows-1252" || name == "cp1252") {
        return Charset::Cp1252;
    }
    return Charset::Utf8;
}

// The value of a parameter of a header ("charset" of a Content-Type), without quotes.
std::string HeaderParameter(std::string_view header, std::string_view name)
{
    const std::string lower = Lower(header);
    const std::string key = Lower(name) + "=";
    size_t pos = lower.find(key);
    while (pos != std::string::npos && pos > 0 && lower[pos - 1] != ';' && lower[pos - 1] != ' ') {
        pos = lower.find(key, pos + 1);
    }
    if (pos == std::string::npos) {
        return {};
    }
    std::string value(header.substr(pos + key.size()));
    value = std::string(platform::Trim(value.substr(0, value.find(';'))));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')) {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

// The encoding named by an XML declaration at the start of the text.
std::string DeclaredXmlEncoding(std::string_view text)
{
    const std::string_view head = platform::TrimLeft(text).substr(0, 200);
    if (head.substr(0, 5) != "<?xml") {
        return {};
    }
    const size_t end = head.find("?>");
    return HeaderParameter(std::string(head.substr(5, end == std::string_view::npos ? head.size() : end - 5)),
                           "encoding");
}

std::string DecodeAnswer(const std::string& bytes, const std::string& contentType)
{
    std::string charset = HeaderParameter(contentType, "charset");
    if (charset.empty()) {
        charset = DeclaredXmlEncoding(bytes);
    }
    if (CharsetOf(charset) != Charset::Utf8 || !platform::IsValidUtf8(bytes)) {
        // ISO-8859-1 is read as its superset: a server that says Latin-1 often sends cp1252.
        return platform::Cp1252ToUtf8Lossy(bytes);
    }
    return bytes;
}

bool LooksLikeHtml(std::string_view body)
{
    const std::string head = Lower(platform::TrimLeft(body).substr(0, 64));
    return head.starts_with("<!doctype html") || head.starts_with("<html");
}

// "(Not Found)" from an HTML page's title, so the user sees what the server said.
std::string HtmlTitle(std::string_view body)
{
    const std::string lower = Lower(body.substr(0, 4096));
    const size_t start = lower.find("<title>");
    const size_t end = lower.find("</title>");
    if (start == std::string::npos || end == std::string::npos || end <= start) {
        return {};
    }
    std::string title(platform::Trim(body.substr(start + 7, end - start - 7)));
    if (title.size() > 120) {
        title.resize(120);
    }
    return title;
}

struct WriteTarget
{
    std::string Bytes;
    bool TooLarge = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* userData) noexcept
{
    auto* target = static_cast<WriteTarget*>(userData);
    const size_t length = size * count;
    if (target->Bytes.size() + length > HttpTransport::kMaxAnswerBytes) {
        target->TooLarge = true;
        return 0;
    }
    try {
        target->Bytes.append(data, length);
    } catch (...) {
        return 0;
    }
    return length;
}

void AppendHeader(CurlSlistPtr& list, const std::string& line)
{
    curl_slist* head = curl_slist_append(list.get(), line.c_str());
    if (!head) {
        throw TransportError("Não foi possível montar os cabeçalhos da requisição.");
    }
    // The head stays the same once the list has an entry; only the first append makes a new one.
    if (head != list.get()) {
        list.release();
        list.reset(head);
    }
}

template <typename T>
void SetOption(CURL* handle, CURLoption option, T value)
{
    const CURLcode code = curl_easy_setopt(handle, option, value);
    if (code != CURLE_OK) {
        throw TransportError(platform::Format("Não foi possível configurar a conexão: %s", curl_easy_strerror(code)));
    }
}

} // namespace

struct HttpTransport::Handles
{
    CurlEasyPtr Easy;
};

struct HttpTransport::Exchange
{
    std::string Body;
    CurlSlistPtr Headers;
    CurlMimePtr Mime;
};

HttpTransport::HttpTransport()
    : m_handles(std::make_unique<Handles>())
{
    EnsureCurlInitialised();
}

HttpTransport::~HttpTransport() = default;

std::string HttpTransport::ContentTypeFor(const std::string& mediaType, const std::string& encoding)
{
    std::string charset;
    switch (CharsetOf(encoding)) {
    case Charset::Latin1:
        charset = "ISO-8859-1";
        break;
    case Charset::Cp1252:
        charset = "windows-1252";
        break;
    case Charset::Utf8:
        charset = "utf-8";
        break;
    }
    const std::string type = mediaType.empty() ? std::string("text/xml") : mediaType;
    return platform::Format("%s; charset=\"%s\"", type.substr(0, type.find(';')), charset);
}

std::string HttpTransport::EncodeBody(const std::string& utf8, const std::string& encoding)
{
    switch (CharsetOf(encoding)) {
    case Charset::Utf8:
        return utf8;
    case Charset::Cp1252:
        try {
            return platform::Utf8ToCp1252(utf8);
        } catch (const platform::EncodingError& error) {
            throw TransportError(platform::Format(
                "O texto enviado não pode ser escrito na codificação windows-1252 do serviço: %s", error.what()));
        }
    case Charset::Latin1:
        break;
    }
    // Latin-1 holds exactly the code points up to U+00FF.
    if (!platform::IsValidUtf8(utf8)) {
        throw TransportError("O texto enviado não é UTF-8 válido e não pode ser convertido para ISO-8859-1.");
    }
    std::string bytes;
    bytes.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            bytes += static_cast<char>(lead);
            ++i;
            continue;
        }
        const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (length == 2 && lead <= 0xC3) {
            bytes += static_cast<char>(((lead & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F));
            i += 2;
            continue;
        }
        throw TransportError(platform::Format(
            "O texto enviado contém o caractere \"%s\", que não existe na codificação ISO-8859-1 do serviço.",
            utf8.substr(i, length)));
    }
    return bytes;
}

void HttpTransport::Progress(const std::string& message)
{
    if (m_onProgress) {
        m_onProgress(message);
    }
}

HttpAnswer HttpTransport::Perform(const std::string& address, Exchange& exchange)
{
    if (platform::Trim(address).empty()) {
        throw TransportError("O endereço do serviço está vazio.");
    }
    if (!m_settings.CertificateFile.empty() && !platform::FileExists(m_settings.CertificateFile)) {
        throw TransportError(
            platform::Format("O arquivo do certificado digital não foi encontrado: %s", m_settings.CertificateFile));
    }
    if (!m_settings.CaBundle.empty() && !platform::FileExists(m_settings.CaBundle)) {
        throw TransportError(
            platform::Format("O arquivo de autoridades certificadoras não foi encontrado: %s", m_settings.CaBundle));
    }
    if (!m_handles->Easy) {
        m_handles->Easy.reset(curl_easy_init());
        if (!m_handles->Easy) {
            throw TransportError("Não foi possível iniciar a biblioteca de comunicação.");
        }
    }
    CURL* handle = m_handles->Easy.get();
    // A reset keeps the open connections and TLS sessions, so the next call to the same city reuses them.
    curl_easy_reset(handle);

    char errorText[CURL_ERROR_SIZE] = {};
    WriteTarget target;
    const int timeoutMs = m_settings.TimeoutMs > 0 ? m_settings.TimeoutMs : kDefaultTimeoutMs;
    SetOption(handle, CURLOPT_URL, address.c_str());
    SetOption(handle, CURLOPT_NOSIGNAL, 1L);
    SetOption(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(timeoutMs));
    SetOption(handle, CURLOPT_ERRORBUFFER, errorText);
    SetOption(handle, CURLOPT_WRITEFUNCTION, &WriteBody);
    SetOption(handle, CURLOPT_WRITEDATA, &target);
    SetOption(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    SetOption(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    if (m_settings.IgnoreInvalidCertificates) {
        SetOption(handle, CURLOPT_SSL_VERIFYPEER, 0L);
        SetOption(handle, CURLOPT_SSL_VERIFYHOST, 0L);
    } else {
        SetOption(handle, CURLOPT_SSL_VERIFYPEER, 1L);
        SetOption(handle, CURLOPT_SSL_VERIFYHOST, 2L);
        if (!m_settings.CaBundle.empty()) {
            SetOption(handle, CURLOPT_CAINFO, m_settings.CaBundle.c_str());
        }
    }
    curl_blob pem {m_settings.CertificatePem.data(), m_settings.CertificatePem.size(), CURL_BLOB_COPY};
    if (!m_settings.CertificatePem.empty()) {
        SetOption(handle, CURLOPT_SSLCERTTYPE, "PEM");
        SetOption(handle, CURLOPT_SSLCERT_BLOB, &pem);
        SetOption(handle, CURLOPT_SSLKEYTYPE, "PEM");
        SetOption(handle, CURLOPT_SSLKEY_BLOB, &pem);
    } else if (!m_settings.CertificateFile.empty()) {
        SetOption(handle, CURLOPT_SSLCERTTYPE, "P12");
        SetOption(handle, CURLOPT_SSLCERT, m_settings.CertificateFile.c_str());
        SetOption(handle, CURLOPT_KEYPASSWD, m_settings.CertificatePassword.c_str());
    }
    switch (m_settings.MinimumTls) {
    case TlsFloor::Default:
        break;
    case TlsFloor::Tls10:
    case TlsFloor::Tls11:
        SetOption(handle, CURLOPT_SSLVERSION,
                  m_settings.MinimumTls == TlsFloor::Tls10 ? CURL_SSLVERSION_TLSv1_0 : CURL_SSLVERSION_TLSv1_1);
        // Servers that old also use keys and ciphers below the system's default security level.
        SetOption(handle, CURLOPT_SSL_CIPHER_LIST, "DEFAULT:@SECLEVEL=0");
        break;
    case TlsFloor::Tls12:
        SetOption(handle, CURLOPT_SSLVERSION, CURL_SSLVERSION_TLSv1_2);
        break;
    case TlsFloor::Tls13:
        SetOption(handle, CURLOPT_SSLVERSION, CURL_SSLVERSION_TLSv1_3);
        break;
    }
    if (!platform::Trim(m_settings.Proxy).empty()) {
        SetOption(handle, CURLOPT_PROXY, m_settings.Proxy.c_str());
        if (!m_settings.ProxyUser.empty()) {
            SetOption(handle, CURLOPT_PROXYUSERNAME, m_settings.ProxyUser.c_str());
            SetOption(handle, CURLOPT_PROXYPASSWORD, m_settings.ProxyPassword.c_str());
        }
    }
    if (exchange.Mime) {
        SetOption(handle, CURLOPT_MIMEPOST, exchange.Mime.get());
    } else {
        SetOption(handle, CURLOPT_POST, 1L);
        SetOption(handle, CURLOPT_POSTFIELDS, exchange.Body.data());
        SetOption(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(exchange.Body.size()));
    }
    // A large body would otherwise wait a second for "100 Continue" that many city servers never send.
    AppendHeader(exchange.Headers, "Expect:");
    SetOption(handle, CURLOPT_HTTPHEADER, exchange.Headers.get());

    Progress(platform::Format("Conectando a %s", address));
    // curl reports the newest OpenSSL error of this thread; an older one would name the wrong cause.
    ERR_clear_error();
    const CURLcode code = curl_easy_perform(handle);
    const std::string detail = errorText[0] ? std::string(errorText) : std::string(curl_easy_strerror(code));
    const int seconds = (timeoutMs + 999) / 1000;
    switch (code) {
    case CURLE_OK:
        break;
    case CURLE_WRITE_ERROR:
        if (target.TooLarge) {
            throw TransportError(platform::Format("A resposta do servidor %s passou do limite de %d MB e foi recusada.",
                                                  address, kMaxAnswerBytes / (1024 * 1024)));
        }
        throw TransportError(platform::Format("Falha ao receber a resposta do servidor %s: %s", address, detail));
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        throw TransportError(platform::Format("O endereço do serviço não é válido: %s", address));
    case CURLE_COULDNT_RESOLVE_HOST:
        throw TransportError(platform::Format(
            "O servidor %s não foi encontrado (nome desconhecido); confira o endereço e a rede.", address));
    case CURLE_COULDNT_RESOLVE_PROXY:
        throw TransportError(platform::Format("O proxy %s não foi encontrado.", m_settings.Proxy));
    case CURLE_COULDNT_CONNECT:
        throw TransportError(platform::Format(
            "Não foi possível conectar ao servidor %s: a conexão foi recusada ou o servidor está fora do ar (%s).",
            address, detail));
    case CURLE_OPERATION_TIMEDOUT:
        throw TransportError(
            platform::Format("O servidor %s não respondeu dentro do tempo limite de %d segundos.", address, seconds));
    case CURLE_PEER_FAILED_VERIFICATION:
        throw TransportError(platform::Format(
            "O certificado do servidor %s não é confiável (%s). Configure o arquivo de autoridades certificadoras.",
            address, detail));
    case CURLE_SSL_CERTPROBLEM:
        throw TransportError(
            platform::Format("Não foi possível usar o certificado digital %s: arquivo ou senha inválidos (%s).",
                             m_settings.CertificateFile, detail));
    case CURLE_SSL_CACERT_BADFILE:
        throw TransportError(platform::Format("O arquivo de autoridades certificadoras %s não pôde ser lido (%s).",
                                              m_settings.CaBundle, detail));
    case CURLE_SSL_CONNECT_ERROR:
        throw TransportError(platform::Format(
            "A conexão segura com o servidor %s falhou (%s). O servidor pode exigir um certificado digital ou "
            "uma versão de TLS diferente.",
            address, detail));
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE: {
        // A TLS 1.3 server refuses a missing client certificate only after the handshake,
        // so the refusal looks like a cut connection.
        const bool hint = m_settings.CertificateFile.empty() && m_settings.CertificatePem.empty() &&
            Lower(address).starts_with("https:");
        throw TransportError(platform::Format(
            "A conexão com o servidor %s foi interrompida antes de a resposta chegar por inteiro (%s).%s", address,
            detail, hint ? " Se o serviço exige certificado digital, confira o certificado selecionado." : ""));
    }
    default:
        throw TransportError(platform::Format("Falha na comunicação com o servidor %s: %s", address, detail));
    }

    HttpAnswer answer;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &answer.Status);
    char* contentType = nullptr;
    curl_easy_getinfo(handle, CURLINFO_CONTENT_TYPE, &contentType);
    answer.ContentType = contentType ? contentType : "";
    answer.Body = DecodeAnswer(target.Bytes, answer.ContentType);
    Progress(platform::Format("Resposta recebida de %s (HTTP %d)", address, answer.Status));
    return answer;
}

HttpAnswer HttpTransport::Post(const std::string& address, const std::string& body, const std::string& mediaType,
                               const std::vector<std::string>& extraHeaders)
{
    Exchange exchange;
    exchange.Body = EncodeBody(body, m_settings.Encoding);
    std::vector<std::string> lines {"Content-Type: " + ContentTypeFor(mediaType, m_settings.Encoding)};
    lines.insert(lines.end(), extraHeaders.begin(), extraHeaders.end());
    for (const std::string& line : lines) {
        AppendHeader(exchange.Headers, line);
    }
    return Perform(address, exchange);
}

std::string HttpTransport::SoapCall(const std::string& address, const std::string& xml, const std::string& actionUri,
                                    const std::string& /*resultName*/, const std::string& /*nameSpace*/)
{
    // SOAP 1.1 wants the action quoted; an empty action is sent as "" so the server still sees the header.
    const HttpAnswer answer = Post(address, xml, m_settings.ContentType, {"SOAPAction: \"" + actionUri + "\""});
    if (platform::Trim(answer.Body).empty()) {
        throw TransportError(
            platform::Format("O servidor %s não devolveu nenhuma resposta (HTTP %d).", address, answer.Status));
    }
    // A fault is the service's own answer (usually with HTTP 500): it goes back as text.
    if (ContainsIgnoringCase(answer.Body, "</faultstring>")) {
        return answer.Body;
    }
    if (answer.Status >= 300) {
        const std::string title = HtmlTitle(answer.Body);
        throw TransportError(platform::Format("O servidor %s respondeu com o erro HTTP %d%s.", address, answer.Status,
                                              title.empty() ? std::string() : " (" + title + ")"));
    }
    if (LooksLikeHtml(answer.Body)) {
        const std::string title = HtmlTitle(answer.Body);
        throw TransportError(platform::Format("O servidor %s devolveu uma página HTML em vez da resposta do serviço%s.",
                                              address, title.empty() ? std::string() : " (" + title + ")"));
    }
    return answer.Body;
}

std::string HttpTransport::PostForm(const std::string& address, const std::vector<FormField>& fields,
                                    const std::vector<FormFile>& files)
{
    if (!m_handles->Easy) {
        m_handles->Easy.reset(curl_easy_init());
        if (!m_handles->Easy) {
            throw TransportError("Não foi possível iniciar a biblioteca de comunicação.");
        }
    }
    Exchange exchange;
    exchange.Mime.reset(curl_mime_init(m_handles->Easy.get()));
    if (!exchange.Mime) {
        throw TransportError("Não foi possível montar o formulário de envio.");
    }
    for (const FormField& field : fields) {
        curl_mimepart* part = curl_mime_addpart(exchange.Mime.get());
        if (!part || curl_mime_name(part, field.Name.c_str()) != CURLE_OK ||
            curl_mime_data(part, field.Value.data(), field.Value.size()) != CURLE_OK) {
            throw TransportError(
                platform::Format("Não foi possível incluir o campo \"%s\" no formulário.", field.Name));
        }
    }
    for (const FormFile& file : files) {
        if (!platform::FileExists(file.Path)) {
            throw TransportError(platform::Format("O arquivo a enviar não foi encontrado: %s", file.Path));
        }
        curl_mimepart* part = curl_mime_addpart(exchange.Mime.get());
        if (!part || curl_mime_name(part, file.Name.c_str()) != CURLE_OK ||
            curl_mime_filedata(part, file.Path.c_str()) != CURLE_OK ||
            (!file.ContentType.empty() && curl_mime_type(part, file.ContentType.c_str()) != CURLE_OK)) {
            throw TransportError(platform::Format("Não foi possível incluir o arquivo %s no formulário.", file.Path));
        }
    }
    const HttpAnswer answer = Perform(address, exchange);
    if (answer.Status >= 300) {
        const std::string title = HtmlTitle(answer.Body);
        throw TransportError(platform::Format("O servidor %s respondeu com o erro HTTP %d%s.", address, answer.Status,
                                              title.empty() ? std::string() : " (" + title + ")"));
    }
    if (platform::Trim(answer.Body).empty()) {
        throw TransportError(
            platform::Format("O servidor %s não devolveu nenhuma resposta (HTTP %d).", address, answer.Status));
    }
    return answer.Body;
}

} // namespace engine
