#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tools {

// A stand-in city web service on the loopback interface, for tests, the demo and integrators.
struct CitySimOptions
{
    std::string Host = "127.0.0.1";
    int Port = 0; // 0 picks a free port
    bool Https = false;
    // PEM files of the server's certificate (with its chain) and key, for HTTPS.
    std::string CertificateFile;
    std::string KeyFile;
    // When set, the TLS handshake requires a client certificate issued by this CA.
    std::string ClientCaFile;
};

struct RecordedPart
{
    std::string Name;
    std::string FileName;
    std::string ContentType;
    std::string Content;
};

struct RecordedRequest
{
    std::string Method;
    std::string Path;
    std::vector<std::pair<std::string, std::string>> Headers;
    // The body's bytes as they arrived (empty for a form: see Parts).
    std::string Body;
    // The SOAPAction header without its quotes.
    std::string SoapAction;
    std::vector<RecordedPart> Parts;
    // Common name of the client certificate; empty without one.
    std::string ClientSubject;

    // First header of that name, compared without case; empty when absent.
    std::string Header(std::string_view name) const;
    // The body as UTF-8, read in the charset its Content-Type declares.
    std::string Text() const;
};

struct CityAnswer
{
    int Status = 200;
    std::string ContentType = "text/xml; charset=utf-8";
    std::string Body;
    // Held back this long before answering (wakes early when the server stops).
    int DelayMs = 0;
    // Sends the headers and closes the connection before the body.
    bool Drop = false;

    // A SOAP 1.1 envelope around the body element(s).
    static CityAnswer Envelope(std::string_view bodyXml);
    // A SOAP 1.1 fault, HTTP 500 as SOAP 1.1 servers send it.
    static CityAnswer Fault(std::string_view code, std::string_view text);
    // An error page of a web server in front of the service.
    static CityAnswer HtmlPage(int status, std::string_view title);
};

using CityScript = std::function<CityAnswer(const RecordedRequest&)>;

class CitySim
{
public:
    explicit CitySim(CitySimOptions options = {});
    ~CitySim();
    CitySim(const CitySim&) = delete;
    CitySim& operator=(const CitySim&) = delete;

    // Listens and serves on a thread of its own; throws std::runtime_error when it cannot.
    void Start();
    void Stop();
    int Port() const;
    // "http://127.0.0.1:port" or "https://…", without a trailing "/".
    std::string BaseUrl() const;

    // Routes by path and SOAP action (without quotes; empty matches any action); the route
    // added last wins, so a test can override a dialect's answer.
    void On(std::string path, std::string soapAction, CityAnswer answer);
    void On(std::string path, std::string soapAction, CityScript script);
    // Answers one after the other, the last one repeated.
    void OnSequence(std::string path, std::string soapAction, std::vector<CityAnswer> answers);

    // A minimal ABRASF-shaped service at the path: lots get protocols, consultations return
    // the notes issued, cancellations are confirmed; every request must be a well-formed
    // SOAP 1.1 envelope sent as text/xml with a charset and a SOAPAction, or it gets a fault.
    void UseAbrasfDialect(const std::string& path = "/nfse");
    // The dialect refuses a lot without a complete XML signature (value and certificate).
    void SetRequireSignedLots(bool require);

    std::vector<RecordedRequest> Requests() const;
    RecordedRequest LastRequest() const;
    size_t RequestCount() const;
    void ClearRequests();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace tools
