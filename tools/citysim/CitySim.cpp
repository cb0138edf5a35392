#include "tools/citysim/CitySim.h"

#include "engine/mvlXPath.h"
#include "platform/Cp1252.h"
#include "platform/Format.h"
#include "platform/TextRules.h"

#include <httplib.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <regex>
#include <stdexcept>
#include <thread>

namespace tools {

namespace {

constexpr std::string_view kSoap11Namespace = "http://schemas.xmlsoap.org/soap/envelope/";

std::string Lower(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

std::string CharsetOf(std::string_view contentType)
{
    const std::string lower = Lower(contentType);
    const size_t pos = lower.find("charset=");
    if (pos == std::string::npos) {
        return {};
    }
    std::string value = lower.substr(pos + 8);
    value = value.substr(0, value.find(';'));
    value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
    return std::string(platform::Trim(value));
}

std::string Unescape(std::string text)
{
    static const std::pair<std::string_view, std::string_view> kEntities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
    for (const auto& [entity, character] : kEntities) {
        std::string out;
        size_t start = 0;
        size_t pos;
        while ((pos = text.find(entity, start)) != std::string::npos) {
            out.append(text, start, pos - start);
            out += character;
            start = pos + entity.size();
        }
        out.append(text, start, std::string::npos);
        text = std::move(out);
    }
    return text;
}

std::string Escape(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// The text of the first element of that local name, in any namespace; requests often carry
// their business XML escaped inside a wrapper, so the text is unescaped first.
std::string ElementText(const std::string& xml, const std::string& localName)
{
    const std::string text = Unescape(xml);
    const std::regex pattern("<(?:[A-Za-z_][\\w.-]*:)?" + localName + "(?:\\s[^>]*)?>([^<]*)</(?:[A-Za-z_][\\w.-]*:)?" +
                             localName + ">");
    std::smatch match;
    if (std::regex_search(text, match, pattern)) {
        return std::string(platform::Trim(match[1].str()));
    }
    return {};
}

// "http://x/ws/RecepcionarLoteRps" and "urn#RecepcionarLoteRps" both name RecepcionarLoteRps.
std::string ActionName(std::string_view action)
{
    const size_t pos = action.find_last_of("/#:");
    return std::string(pos == std::string_view::npos ? action : action.substr(pos + 1));
}

std::string ClientCommonName(const httplib::Request& request)
{
    if (!request.ssl) {
        return {};
    }
    X509* certificate = SSL_get0_peer_certificate(request.ssl);
    if (!certificate) {
        return {};
    }
    char name[256] = {};
    X509_NAME_get_text_by_NID(X509_get_subject_name(certificate), NID_commonName, name, sizeof(name));
    return name;
}

struct Route
{
    std::string Path;
    std::string SoapAction;
    CityScript Script;
};

struct Note
{
    std::string Numero;
    std::string CodigoVerificacao;
    std::string NumeroRps;
    std::string SerieRps;
    std::string TipoRps;
    bool Cancelada = false;
};

struct Lot
{
    std::string NumeroLote;
    std::vector<Note> Notes;
};

} // namespace

std::string RecordedRequest::Header(std::string_view name) const
{
    for (const auto& [key, value] : Headers) {
        if (platform::EqualsIgnoreCase(key, name)) {
            return value;
        }
    }
    return {};
}

std::string RecordedRequest::Text() const
{
    const std::string charset = CharsetOf(Header("Content-Type"));
    if (charset == "iso-8859-1" || charset == "windows-1252" || charset == "latin1") {
        return platform::Cp1252ToUtf8Lossy(Body);
    }
    return Body;
}

CityAnswer CityAnswer::Envelope(std::string_view bodyXml)
{
    CityAnswer answer;
    answer.Body = platform::Format("<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope xmlns:soap=\"%s\">"
                                   "<soap:Body>%s</soap:Body></soap:Envelope>",
                                   kSoap11Namespace, bodyXml);
    return answer;
}

CityAnswer CityAnswer::Fault(std::string_view code, std::string_view text)
{
    CityAnswer answer = Envelope(platform::Format(
        "<soap:Fault><faultcode>soap:%s</faultcode><faultstring>%s</faultstring></soap:Fault>", code, Escape(text)));
    answer.Status = 500;
    return answer;
}

CityAnswer CityAnswer::HtmlPage(int status, std::string_view title)
{
    CityAnswer answer;
    answer.Status = status;
    answer.ContentType = "text/html; charset=utf-8";
    answer.Body = platform::Format("<!DOCTYPE html><html><head><title>%s</title></head><body><h1>%s</h1>"
                                   "<p>Erro ao processar a requisição.</p></body></html>",
                                   title, title);
    return answer;
}

struct CitySim::Impl
{
    CitySimOptions Options;
    std::unique_ptr<httplib::Server> Server;
    std::thread Thread;
    int BoundPort = 0;

    mutable std::mutex Mutex;
    std::condition_variable Wake;
    bool Stopping = false;
    std::vector<Route> Routes;
    std::vector<RecordedRequest> Recorded;

    // State of the ABRASF dialect.
    int NextProtocol = 1000;
    int NextNote = 1;
    std::map<std::string, Lot> Lots; // protocol → lot
    bool RequireSignedLots = false;

    CityAnswer Dispatch(const RecordedRequest& request)
    {
        CityScript script;
        {
            std::lock_guard lock(Mutex);
            for (auto it = Routes.rbegin(); it != Routes.rend(); ++it) {
                if (it->Path == request.Path &&
                    (it->SoapAction.empty() || it->SoapAction == request.SoapAction ||
                     ActionName(request.SoapAction) == it->SoapAction)) {
                    script = it->Script;
                    break;
                }
            }
        }
        if (!script) {
            return CityAnswer::HtmlPage(404, "404 Not Found");
        }
        return script(request);
    }

    void Handle(const httplib::Request& req, httplib::Response& res)
    {
        RecordedRequest request;
        request.Method = req.method;
        request.Path = req.path;
        for (const auto& [key, value] : req.headers) {
            request.Headers.emplace_back(key, value);
        }
        request.Body = req.body;
        std::string action = request.Header("SOAPAction");
        if (action.size() >= 2 && action.front() == '"' && action.back() == '"') {
            action = action.substr(1, action.size() - 2);
        }
        request.SoapAction = action;
        for (const auto& [name, part] : req.files) {
            request.Parts.push_back({part.name, part.filename, part.content_type, part.content});
        }
        request.ClientSubject = ClientCommonName(req);
        {
            std::lock_guard lock(Mutex);
            Recorded.push_back(request);
        }

        CityAnswer answer;
        try {
            answer = Dispatch(request);
        } catch (const std::exception& error) {
            answer = CityAnswer::Fault("Server", error.what());
        }
        if (answer.DelayMs > 0) {
            std::unique_lock lock(Mutex);
            Wake.wait_for(lock, std::chrono::milliseconds(answer.DelayMs), [this] { return Stopping; });
        }
        res.status = answer.Status;
        if (answer.Drop) {
            // Promises a body and closes before it: the client sees the connection cut mid-answer.
            res.set_content_provider(1024, answer.ContentType,
                                     [](size_t, size_t, httplib::DataSink&) { return false; });
            return;
        }
        res.set_content(answer.Body, answer.ContentType.c_str());
    }

    CityAnswer Abrasf(const RecordedRequest& request);
};

CitySim::CitySim(CitySimOptions options)
    : m_impl(std::make_unique<Impl>())
{
    m_impl->Options = std::move(options);
}

CitySim::~CitySim()
{
    Stop();
}

void CitySim::Start()
{
    if (m_impl->Server) {
        return;
    }
    const CitySimOptions& options = m_impl->Options;
    if (options.Https) {
        auto server =
            std::make_unique<httplib::SSLServer>(options.CertificateFile.c_str(), options.KeyFile.c_str(),
                                                 options.ClientCaFile.empty() ? nullptr : options.ClientCaFile.c_str());
        if (!server->is_valid()) {
            throw std::runtime_error("citysim: certificado ou chave do servidor inválidos: " + options.CertificateFile);
        }
        m_impl->Server = std::move(server);
    } else {
        m_impl->Server = std::make_unique<httplib::Server>();
    }
    httplib::Server& server = *m_impl->Server;
    // Clients that keep their connection open must be able to send many requests on it.
    server.set_keep_alive_max_count(100000);
    // Headers and body leave in separate writes; with Nagle on, each answer would wait for the
    // client's delayed ACK (40 ms on Linux), which no real city's timing should be confused with.
    server.set_tcp_nodelay(true);
    server.set_read_timeout(5, 0);
    server.set_write_timeout(5, 0);
    auto handler = [this](const httplib::Request& req, httplib::Response& res) { m_impl->Handle(req, res); };
    server.Post(".*", handler);
    server.Get(".*", handler);
    m_impl->Stopping = false;
    if (options.Port > 0) {
        if (!server.bind_to_port(options.Host.c_str(), options.Port)) {
            m_impl->Server.reset();
            throw std::runtime_error(
                platform::Format("citysim: não foi possível escutar em %s:%d", options.Host, options.Port));
        }
        m_impl->BoundPort = options.Port;
    } else {
        m_impl->BoundPort = server.bind_to_any_port(options.Host.c_str());
        if (m_impl->BoundPort <= 0) {
            m_impl->Server.reset();
            throw std::runtime_error("citysim: não foi possível escutar em " + options.Host);
        }
    }
    m_impl->Thread = std::thread([&server] {
        try {
            server.listen_after_bind();
        } catch (...) {
        }
    });
    // stop() is a no-op until the accept loop runs, so Start returns only once it does.
    for (int i = 0; i < 5000 && !server.is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void CitySim::Stop()
{
    if (!m_impl->Server) {
        return;
    }
    {
        std::lock_guard lock(m_impl->Mutex);
        m_impl->Stopping = true;
    }
    m_impl->Wake.notify_all();
    m_impl->Server->stop();
    if (m_impl->Thread.joinable()) {
        m_impl->Thread.join();
    }
    m_impl->Server.reset();
}

int CitySim::Port() const
{
    return m_impl->BoundPort;
}

std::string CitySim::BaseUrl() const
{
    return platform::Format("%s://%s:%d", m_impl->Options.Https ? "https" : "http", m_impl->Options.Host,
                            m_impl->BoundPort);
}

void CitySim::On(std::string path, std::string soapAction, CityAnswer answer)
{
    On(std::move(path), std::move(soapAction), [answer](const RecordedRequest&) { return answer; });
}

void CitySim::On(std::string path, std::string soapAction, CityScript script)
{
    std::lock_guard lock(m_impl->Mutex);
    m_impl->Routes.push_back({std::move(path), std::move(soapAction), std::move(script)});
}

void CitySim::OnSequence(std::string path, std::string soapAction, std::vector<CityAnswer> answers)
{
    if (answers.empty()) {
        throw std::invalid_argument("citysim: sequência de respostas vazia");
    }
    auto state = std::make_shared<std::pair<std::mutex, size_t>>();
    On(std::move(path), std::move(soapAction), [state, answers = std::move(answers)](const RecordedRequest&) {
        std::lock_guard lock(state->first);
        const size_t index = std::min(state->second++, answers.size() - 1);
        return answers[index];
    });
}

std::vector<RecordedRequest> CitySim::Requests() const
{
    std::lock_guard lock(m_impl->Mutex);
    return m_impl->Recorded;
}

RecordedRequest CitySim::LastRequest() const
{
    std::lock_guard lock(m_impl->Mutex);
    if (m_impl->Recorded.empty()) {
        throw std::logic_error("citysim: nenhuma requisição recebida");
    }
    return m_impl->Recorded.back();
}

size_t CitySim::RequestCount() const
{
    std::lock_guard lock(m_impl->Mutex);
    return m_impl->Recorded.size();
}

void CitySim::ClearRequests()
{
    std::lock_guard lock(m_impl->Mutex);
    m_impl->Recorded.clear();
}

void CitySim::SetRequireSignedLots(bool require)
{
    std::lock_guard lock(m_impl->Mutex);
    m_impl->RequireSignedLots = require;
}

void CitySim::UseAbrasfDialect(const std::string& path)
{
    On(path, std::string(), [this](const RecordedRequest& request) { return m_impl->Abrasf(request); });
}

namespace {

std::string MessageList(std::string_view code, std::string_view text)
{
    return platform::Format("<ListaMensagemRetorno><MensagemRetorno><Codigo>%s</Codigo><Mensagem>%s</Mensagem>"
                            "<Correcao></Correcao></MensagemRetorno></ListaMensagemRetorno>",
                            code, Escape(text));
}

std::string CompNfse(const Note& note)
{
    std::string xml = platform::Format(
        "<CompNfse><Nfse><InfNfse><Numero>%s</Numero><CodigoVerificacao>%s</CodigoVerificacao>"
        "<DataEmissao>2026-01-15T10:00:00</DataEmissao><IdentificacaoRps><Numero>%s</Numero><Serie>%s</Serie>"
        "<Tipo>%s</Tipo></IdentificacaoRps></InfNfse></Nfse>",
        note.Numero, note.CodigoVerificacao, note.NumeroRps, note.SerieRps, note.TipoRps);
    if (note.Cancelada) {
        xml += "<NfseCancelamento><Confirmacao><DataHora>2026-01-15T11:00:00</DataHora></Confirmacao>"
               "</NfseCancelamento>";
    }
    return xml + "</CompNfse>";
}

// The answer document goes back escaped inside "<action>Result", as these services do.
CityAnswer Wrapped(const std::string& action, const std::string& document)
{
    return CityAnswer::Envelope(platform::Format(
        "<%sResponse xmlns=\"http://www.abrasf.org.br/nfse\"><%sResult>%s</%sResult></%sResponse>", action, action,
        Escape("<?xml version=\"1.0\" encoding=\"utf-8\"?>" + document), action, action));
}

} // namespace

CityAnswer CitySim::Impl::Abrasf(const RecordedRequest& request)
{
    const std::string contentType = Lower(request.Header("Content-Type"));
    if (!contentType.starts_with("text/xml")) {
        return CityAnswer::Fault("Client", "Content-Type deve ser text/xml: " + contentType);
    }
    const std::string charset = CharsetOf(contentType);
    if (charset.empty()) {
        return CityAnswer::Fault("Client", "Content-Type sem charset");
    }
    if ((charset == "utf-8" || charset == "utf8") && !platform::IsValidUtf8(request.Body)) {
        return CityAnswer::Fault("Client", "O corpo não está na codificação declarada (" + charset + ")");
    }
    if (request.Header("SOAPAction").empty()) {
        return CityAnswer::Fault("Client", "Cabeçalho SOAPAction ausente");
    }
    const std::string body = request.Text();
    TmvlXPath document;
    std::string reason;
    if (!document.TryLoadXML(body, &reason)) {
        return CityAnswer::Fault("Client", "XML malformado: " + reason);
    }
    const engine::XmlNode root = document.DocumentElement();
    if (root.LocalName() != "Envelope" || root.NamespaceURI() != kSoap11Namespace) {
        return CityAnswer::Fault("Client", "A requisição não é um envelope SOAP 1.1");
    }

    const std::string action = ActionName(request.SoapAction);
    std::lock_guard lock(Mutex);
    if (action == "RecepcionarLoteRps") {
        const std::string numeroLote = ElementText(body, "NumeroLote");
        if (numeroLote.empty()) {
            return Wrapped(action,
                           "<EnviarLoteRpsResposta>" + MessageList("E69", "Número do lote não informado") +
                               "</EnviarLoteRpsResposta>");
        }
        if (RequireSignedLots &&
            (ElementText(body, "SignatureValue").empty() || ElementText(body, "X509Certificate").empty())) {
            return Wrapped(action,
                           "<EnviarLoteRpsResposta>" + MessageList("E160", "Arquivo enviado sem assinatura") +
                               "</EnviarLoteRpsResposta>");
        }
        Lot lot;
        lot.NumeroLote = numeroLote;
        // One note per RPS identification in the lot.
        const std::string text = Unescape(body);
        const std::regex rps("<(?:\\w+:)?IdentificacaoRps>\\s*<(?:\\w+:)?Numero>([^<]*)</(?:\\w+:)?Numero>\\s*"
                             "<(?:\\w+:)?Serie>([^<]*)</(?:\\w+:)?Serie>\\s*<(?:\\w+:)?Tipo>([^<]*)</(?:\\w+:)?Tipo>");
        for (auto it = std::sregex_iterator(text.begin(), text.end(), rps); it != std::sregex_iterator(); ++it) {
            const int number = NextNote++;
            lot.Notes.push_back({std::to_string(number), platform::Format("CV%06d", number), (*it)[1].str(),
                                 (*it)[2].str(), (*it)[3].str(), false});
        }
        const std::string protocol = std::to_string(NextProtocol++);
        Lots[protocol] = lot;
        return Wrapped(action,
                       platform::Format("<EnviarLoteRpsResposta><NumeroLote>%s</NumeroLote>"
                                        "<DataRecebimento>2026-01-15T10:00:00</DataRecebimento>"
                                        "<Protocolo>%s</Protocolo></EnviarLoteRpsResposta>",
                                        numeroLote, protocol));
    }
    if (action == "ConsultarSituacaoLoteRps" || action == "ConsultarLoteRps") {
        const std::string protocol = ElementText(body, "Protocolo");
        const auto lot = Lots.find(protocol);
        const std::string root = action + "Resposta";
        if (lot == Lots.end()) {
            return Wrapped(action,
                           "<" + root + ">" + MessageList("E86", "Número do protocolo não encontrado") + "</" + root +
                               ">");
        }
        if (action == "ConsultarSituacaoLoteRps") {
            return Wrapped(action,
                           platform::Format("<%s><NumeroLote>%s</NumeroLote><Situacao>4</Situacao></%s>", root,
                                            lot->second.NumeroLote, root));
        }
        std::string notes;
        for (const Note& note : lot->second.Notes) {
            notes += CompNfse(note);
        }
        return Wrapped(action, "<" + root + "><ListaNfse>" + notes + "</ListaNfse></" + root + ">");
    }
    if (action == "ConsultarNfsePorRps" || action == "ConsultarNfse" || action == "CancelarNfse") {
        const std::string number = ElementText(body, "Numero");
        const std::string root = action == "CancelarNfse" ? std::string("CancelarNfseResposta") : action + "Resposta";
        for (auto& [protocol, lot] : Lots) {
            for (Note& note : lot.Notes) {
                const bool match = action == "ConsultarNfsePorRps" ? note.NumeroRps == number : note.Numero == number;
                if (!match) {
                    continue;
                }
                if (action == "CancelarNfse") {
                    note.Cancelada = true;
                    return Wrapped(action,
                                   "<" + root +
                                       "><Cancelamento><Confirmacao><DataHora>2026-01-15T11:00:00</DataHora>"
                                       "</Confirmacao></Cancelamento></" +
                                       root + ">");
                }
                const std::string list =
                    action == "ConsultarNfse" ? "<ListaNfse>" + CompNfse(note) + "</ListaNfse>" : CompNfse(note);
                return Wrapped(action, "<" + root + ">" + list + "</" + root + ">");
            }
        }
        return Wrapped(action, "<" + root + ">" + MessageList("E78", "NFS-e não encontrada") + "</" + root + ">");
    }
    return CityAnswer::Fault("Client", "Ação SOAP desconhecida: " + request.SoapAction);
}

} // namespace tools
