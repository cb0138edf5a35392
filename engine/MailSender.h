#pragma once

#include <string>
#include <vector>

namespace engine {

// What the engine copies from its e-mail settings before each message.
struct MailSettings
{
    std::string Server;
    int Port = 0; // 0: 587 (submission with STARTTLS); 465 means implicit TLS
    std::string User;
    std::string Password;
    bool Authentication = false;
    std::string From;
    std::string Subject;
    std::string Message;
    bool IsContentHtml = false;
    // Lists separated by ";" or ",".
    std::string Cc;
    std::string Bcc;
    int TimeoutMs = 30000;
    // Trusted roots for the mail server; empty uses the system store.
    std::string CaBundle;
    bool IgnoreInvalidCertificates = false;
};

// SMTP over libcurl. STARTTLS is used whenever the server offers it; with authentication on
// it is required, so a password never crosses the network in clear text.
class MailSender
{
public:
    explicit MailSender(MailSettings settings);

    // Sends one message to the recipients ("a@x;b@y") with the files attached;
    // throws TransportError with a message a user understands.
    void Send(const std::string& recipients, const std::vector<std::string>& attachments) const;

    // The RFC 5322 header block and text part as they are handed to the server (for tests and logs).
    static std::string EncodeHeaderWord(const std::string& utf8);
    static std::vector<std::string> SplitAddresses(const std::string& list);

private:
    MailSettings m_settings;
};

} // namespace engine
