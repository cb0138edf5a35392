#include "engine/MailSender.h"

#include "engine/CurlHandles.h"
#include "engine/HttpTransport.h"
#include "platform/Format.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"

#include <openssl/evp.h>

namespace engine {

namespace {

std::string Base64(std::string_view bytes)
{
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int written =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    out.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return out;
}

bool IsAscii(std::string_view text)
{
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80 || c == '\r' || c == '\n') {
            return false;
        }
    }
    return true;
}

// "<a@b>" from "Nome <a@b>" or "a@b"; what SMTP's envelope wants.
std::string EnvelopeAddress(const std::string& address)
{
    const size_t open = address.find('<');
    const size_t close = address.find('>', open == std::string::npos ? 0 : open);
    if (open != std::string::npos && close != std::string::npos) {
        return address.substr(open, close - open + 1);
    }
    return "<" + address + ">";
}

std::string JoinAddresses(const std::vector<std::string>& addresses)
{
    std::string text;
    for (const std::string& address : addresses) {
        text += text.empty() ? address : ", " + address;
    }
    return text;
}

} // namespace

MailSender::MailSender(MailSettings settings)
    : m_settings(std::move(settings))
{
    EnsureCurlInitialised();
}

std::string MailSender::EncodeHeaderWord(const std::string& utf8)
{
    if (IsAscii(utf8)) {
        return utf8;
    }
    std::string clean = utf8;
    for (char& c : clean) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return "=?UTF-8?B?" + Base64(clean) + "?=";
}

std::vector<std::string> MailSender::SplitAddresses(const std::string& list)
{
    std::vector<std::string> addresses;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find_first_of(";,", start);
        if (end == std::string::npos) {
            end = list.size();
        }
        const std::string_view item = platform::Trim(std::string_view(list).substr(start, end - start));
        if (!item.empty()) {
            addresses.emplace_back(item);
        }
        start = end + 1;
    }
    return addresses;
}

void MailSender::Send(const std::string& recipients, const std::vector<std::string>& attachments) const
{
    const std::string server(platform::Trim(m_settings.Server));
    if (server.empty()) {
        throw TransportError("O servidor de e-mail (SMTP) não foi informado.");
    }
    const std::vector<std::string> to = SplitAddresses(recipients);
    const std::vector<std::string> cc = SplitAddresses(m_settings.Cc);
    const std::vector<std::string> bcc = SplitAddresses(m_settings.Bcc);
    if (to.empty()) {
        throw TransportError("Nenhum destinatário foi informado para o e-mail.");
    }
    if (platform::Trim(m_settings.From).empty()) {
        throw TransportError("O remetente do e-mail não foi informado.");
    }
    for (const std::string& file : attachments) {
        if (!platform::FileExists(file)) {
            throw TransportError(platform::Format("O anexo não foi encontrado: %s", file));
        }
    }

    CurlEasyPtr easy(curl_easy_init());
    if (!easy) {
        throw TransportError("Não foi possível iniciar a biblioteca de comunicação.");
    }
    CURL* handle = easy.get();
    const int port = m_settings.Port > 0 ? m_settings.Port : 587;
    const bool implicitTls = port == 465;
    const std::string url = platform::Format("%s://%s:%d", implicitTls ? "smtps" : "smtp", server, port);

    CurlSlistPtr rcpt;
    auto append = [](CurlSlistPtr& list, const std::string& line) {
        curl_slist* head = curl_slist_append(list.get(), line.c_str());
        if (!head) {
            throw TransportError("Não foi possível montar a mensagem de e-mail.");
        }
        if (head != list.get()) {
            list.release();
            list.reset(head);
        }
    };
    for (const auto* group : {&to, &cc, &bcc}) {
        for (const std::string& address : *group) {
            append(rcpt, EnvelopeAddress(address));
        }
    }

    // Bcc addresses go only into the envelope, never into a header.
    CurlSlistPtr headers;
    append(headers, "From: " + m_settings.From);
    append(headers, "To: " + JoinAddresses(to));
    if (!cc.empty()) {
        append(headers, "Cc: " + JoinAddresses(cc));
    }
    append(headers, "Subject: " + EncodeHeaderWord(m_settings.Subject));

    CurlMimePtr mime(curl_mime_init(handle));
    curl_mimepart* text = mime ? curl_mime_addpart(mime.get()) : nullptr;
    if (!text) {
        throw TransportError("Não foi possível montar a mensagem de e-mail.");
    }
    curl_mime_data(text, m_settings.Message.data(), m_settings.Message.size());
    curl_mime_type(text, m_settings.IsContentHtml ? "text/html; charset=utf-8" : "text/plain; charset=utf-8");
    curl_mime_encoder(text, "quoted-printable");
    for (const std::string& file : attachments) {
        curl_mimepart* part = curl_mime_addpart(mime.get());
        if (!part || curl_mime_filedata(part, file.c_str()) != CURLE_OK ||
            curl_mime_encoder(part, "base64") != CURLE_OK) {
            throw TransportError(platform::Format("Não foi possível anexar o arquivo %s.", file));
        }
        curl_mime_type(part, "application/octet-stream");
    }

    char errorText[CURL_ERROR_SIZE] = {};
    const std::string from = EnvelopeAddress(m_settings.From);
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS,
                     static_cast<long>(m_settings.TimeoutMs > 0 ? m_settings.TimeoutMs : 30000));
    curl_easy_setopt(handle, CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(handle, CURLOPT_MAIL_RCPT, rcpt.get());
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_MIMEPOST, mime.get());
    curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
    if (!implicitTls) {
        curl_easy_setopt(handle, CURLOPT_USE_SSL,
                         static_cast<long>(m_settings.Authentication ? CURLUSESSL_ALL : CURLUSESSL_TRY));
    }
    if (m_settings.IgnoreInvalidCertificates) {
        curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 0L);
    } else if (!m_settings.CaBundle.empty()) {
        curl_easy_setopt(handle, CURLOPT_CAINFO, m_settings.CaBundle.c_str());
    }
    if (m_settings.Authentication) {
        curl_easy_setopt(handle, CURLOPT_USERNAME, m_settings.User.c_str());
        curl_easy_setopt(handle, CURLOPT_PASSWORD, m_settings.Password.c_str());
    }
    const CURLcode code = curl_easy_perform(handle);
    if (code == CURLE_OK) {
        return;
    }
    const std::string detail = errorText[0] ? std::string(errorText) : std::string(curl_easy_strerror(code));
    switch (code) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
        throw TransportError(
            platform::Format("Não foi possível conectar ao servidor de e-mail %s:%d (%s).", server, port, detail));
    case CURLE_LOGIN_DENIED:
        throw TransportError(
            platform::Format("O servidor de e-mail %s recusou o usuário ou a senha informados.", server));
    case CURLE_USE_SSL_FAILED:
        throw TransportError(platform::Format(
            "O servidor de e-mail %s não oferece conexão segura (STARTTLS); a senha não foi enviada.", server));
    case CURLE_OPERATION_TIMEDOUT:
        throw TransportError(platform::Format("O servidor de e-mail %s não respondeu a tempo.", server));
    default:
        throw TransportError(platform::Format("Falha ao enviar o e-mail pelo servidor %s: %s", server, detail));
    }
}

} // namespace engine
