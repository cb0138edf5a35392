#include "engine/MailSender.h"

#include "engine/HttpTransport.h"
#include "engine/mvlExceptions.h"
#include "engine/mvlNFSe.h"
#include "tests/support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

using engine::MailSender;
using engine::MailSettings;
using testing::HasSubstr;
using testing::Not;

namespace {

// A one-message SMTP server on the loopback interface, without STARTTLS, that writes down the
// commands and the message it receives.
class SmtpSink
{
public:
    SmtpSink()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        socklen_t length = sizeof(address);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        ::listen(m_listener, 1);
        m_thread = std::thread([this] { Serve(); });
    }
    ~SmtpSink()
    {
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        m_thread.join();
    }
    int Port() const { return m_port; }
    // Read only after the client finished.
    std::string Commands;
    std::string Message;

private:
    void Serve()
    {
        const int fd = ::accept(m_listener, nullptr, nullptr);
        if (fd < 0) {
            return;
        }
        auto send = [fd](const std::string& text) { return ::write(fd, text.data(), text.size()); };
        send("220 sink ESMTP\r\n");
        std::string buffer;
        bool inData = false;
        char chunk[4096];
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof(chunk));
            if (n <= 0) {
                break;
            }
            buffer.append(chunk, static_cast<size_t>(n));
            for (;;) {
                if (inData) {
                    const size_t end = buffer.find("\r\n.\r\n");
                    if (end == std::string::npos) {
                        break;
                    }
                    Message = buffer.substr(0, end);
                    buffer.erase(0, end + 5);
                    inData = false;
                    send("250 OK\r\n");
                    continue;
                }
                const size_t end = buffer.find("\r\n");
                if (end == std::string::npos) {
                    break;
                }
                const std::string line = buffer.substr(0, end);
                buffer.erase(0, end + 2);
                Commands += line + "\n";
                if (line.starts_with("EHLO")) {
                    send("250-sink\r\n250 8BITMIME\r\n");
                } else if (line == "DATA") {
                    inData = true;
                    send("354 go ahead\r\n");
                } else if (line == "QUIT") {
                    send("221 bye\r\n");
                    ::close(fd);
                    return;
                } else {
                    send("250 OK\r\n");
                }
            }
        }
        ::close(fd);
    }

    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
};

} // namespace

TEST(MailSender, SendsToEveryRecipientWithAttachmentsAndKeepsBccOutOfTheHeaders)
{
    SmtpSink sink;
    const std::string attachment = tests::TempDir() + "NFSe_123.pdf";
    tests::WriteFile(attachment, "%PDF-1.4 conteudo");
    MailSettings settings;
    settings.Server = "127.0.0.1";
    settings.Port = sink.Port();
    settings.From = "Emissor <emissor@empresa.com.br>";
    settings.Subject = "NFS-e nº 123";
    settings.Message = "Segue a nota fiscal de serviço.";
    settings.Cc = "contador@empresa.com.br";
    settings.Bcc = "arquivo@empresa.com.br";
    MailSender(settings).Send("cliente@exemplo.com.br; outro@exemplo.com.br", {attachment});

    EXPECT_THAT(sink.Commands, HasSubstr("MAIL FROM:<emissor@empresa.com.br>"));
    for (const char* rcpt : {"RCPT TO:<cliente@exemplo.com.br>", "RCPT TO:<outro@exemplo.com.br>",
                             "RCPT TO:<contador@empresa.com.br>", "RCPT TO:<arquivo@empresa.com.br>"}) {
        EXPECT_THAT(sink.Commands, HasSubstr(rcpt));
    }
    EXPECT_THAT(sink.Message, HasSubstr("To: cliente@exemplo.com.br, outro@exemplo.com.br"));
    EXPECT_THAT(sink.Message, HasSubstr("Cc: contador@empresa.com.br"));
    EXPECT_THAT(sink.Message, Not(HasSubstr("arquivo@empresa.com.br")));
    EXPECT_THAT(sink.Message, HasSubstr("Subject: " + MailSender::EncodeHeaderWord("NFS-e nº 123")));
    EXPECT_THAT(sink.Message, HasSubstr("filename=\"NFSe_123.pdf\""));
    EXPECT_THAT(sink.Message, HasSubstr("JVBERi0xLjQgY29udGV1ZG8=")); // the attachment in base64
}

TEST(MailSender, RefusesToSendAPasswordWithoutStartTls)
{
    SmtpSink sink;
    MailSettings settings;
    settings.Server = "127.0.0.1";
    settings.Port = sink.Port();
    settings.From = "emissor@empresa.com.br";
    settings.Authentication = true;
    settings.User = "emissor";
    settings.Password = "segredo";
    try {
        MailSender(settings).Send("cliente@exemplo.com.br", {});
        FAIL() << "enviou sem conexão segura";
    } catch (const engine::TransportError& error) {
        EXPECT_THAT(error.what(), HasSubstr("STARTTLS"));
    }
    EXPECT_THAT(sink.Commands, Not(HasSubstr("AUTH")));
}

TEST(MailSender, MissingSettingsAreReportedBeforeConnecting)
{
    struct Row
    {
        const char* Name;
        MailSettings Settings;
        const char* Recipients;
        const char* Expected;
    };
    MailSettings complete;
    complete.Server = "127.0.0.1";
    complete.From = "a@b.com";
    MailSettings noServer = complete;
    noServer.Server = " ";
    MailSettings noFrom = complete;
    noFrom.From = "";
    const Row rows[] = {
        {"no_server", noServer, "c@d.com", "servidor de e-mail"},
        {"no_recipient", complete, " ; ", "Nenhum destinatário"},
        {"no_sender", noFrom, "c@d.com", "remetente"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        try {
            MailSender(row.Settings).Send(row.Recipients, {});
            ADD_FAILURE() << "nenhum erro";
        } catch (const engine::TransportError& error) {
            EXPECT_THAT(error.what(), HasSubstr(row.Expected));
        }
    }
}

TEST(TmvlNFSeGov, EnviarEmailUsesTheEngineSettings)
{
    SmtpSink sink;
    TmvlNFSe engine(tests::TempDir());
    TmvlEmailSettings& email = engine.EmailSettings();
    email.ServidorSmtp = "127.0.0.1";
    email.Porta = sink.Port();
    email.EmailRemetente = "emissor@empresa.com.br";
    email.Assunto = "Nota fiscal";
    email.Mensagem = "<p>Segue a nota.</p>";
    email.IsContentHTML = true;
    email.CCo = "arquivo@empresa.com.br";
    tests::WriteFile(tests::TempDir() + "nota.pdf", "%PDF");
    EXPECT_TRUE(engine.EnviarEmail("cliente@exemplo.com.br", {"nota.pdf"}));
    EXPECT_THAT(sink.Commands, HasSubstr("RCPT TO:<arquivo@empresa.com.br>"));
    EXPECT_THAT(sink.Message, HasSubstr("Content-Type: text/html; charset=utf-8"));
    EXPECT_THAT(sink.Message, HasSubstr("filename=\"nota.pdf\""));

    email.ServidorSmtp = "";
    try {
        engine.EnviarEmail("cliente@exemplo.com.br", {});
        FAIL() << "nenhum erro";
    } catch (const EmvlNFSeException& error) {
        EXPECT_STREQ(error.what(), "Não foi possível enviar o e-mail: O servidor de e-mail (SMTP) não foi informado.");
    }
}
