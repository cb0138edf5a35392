#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace engine {

// A request that did not get a usable answer. The text names the address and the reason in
// words a user can act on; the engine prefixes it with its communication-error text.
class TransportError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The oldest TLS version a city's server may speak. Default follows the system's policy;
// a lower floor also relaxes the cipher security level, which old servers need as well.
enum class TlsFloor
{
    Default,
    Tls10,
    Tls11,
    Tls12,
    Tls13
};

struct HttpSettings
{
    // Milliseconds; 0 means kDefaultTimeoutMs, never "wait for ever" on the user's thread.
    int TimeoutMs = 0;
    // Client certificate as a PKCS#12 file; empty sends none.
    std::string CertificateFile;
    std::string CertificatePassword;
    // Or, for an installed certificate, the certificate and its key as PEM text in memory.
    std::string CertificatePem;
    // Trusted roots for the servers (the ICP-Brasil roots are not in the system store);
    // empty uses the system store.
    std::string CaBundle;
    bool IgnoreInvalidCertificates = false;
    // "host", "host:port" or a URL; empty goes direct.
    std::string Proxy;
    std::string ProxyUser;
    std::string ProxyPassword;
    TlsFloor MinimumTls = TlsFloor::Default;
    // Media type of a SOAP body; its charset parameter always follows Encoding.
    std::string ContentType = "text/xml";
    // Encoding of the body on the wire: "UTF-8" (also when empty), "ISO-8859-1" or "windows-1252".
    std::string Encoding = "UTF-8";
};

struct FormField
{
    std::string Name;
    std::string Value;
};

struct FormFile
{
    std::string Name;
    std::string Path;
    std::string ContentType;
};

// What came back: status, headers of interest and the body already decoded to UTF-8.
struct HttpAnswer
{
    long Status = 0;
    std::string ContentType;
    std::string Body;
};

// One HTTP(S) client over libcurl. It keeps its connection between calls, so a sequence of
// requests to one city pays the TLS handshake once. Not for use from two threads at once.
class HttpTransport
{
public:
    static constexpr int kDefaultTimeoutMs = 60000;
    // A city answer larger than this is not an NFS-e answer; refusing it bounds memory.
    static constexpr size_t kMaxAnswerBytes = 64u * 1024u * 1024u;

    HttpTransport();
    ~HttpTransport();
    HttpTransport(const HttpTransport&) = delete;
    HttpTransport& operator=(const HttpTransport&) = delete;

    HttpSettings& Settings() { return m_settings; }
    const HttpSettings& Settings() const { return m_settings; }

    // Messages while a call runs ("Conectando a ...").
    void SetOnProgress(std::function<void(const std::string&)> handler) { m_onProgress = std::move(handler); }

    // SOAP 1.1: POST of the envelope with SOAPAction. Returns the whole answer text, which
    // may be a SOAP fault: a fault is an answer, and the callers recognise it. An HTTP error
    // without a fault, an empty answer or an HTML page raise TransportError.
    std::string SoapCall(const std::string& address, const std::string& xml, const std::string& actionUri,
                         const std::string& resultName, const std::string& nameSpace);

    // multipart/form-data POST of fields and files; returns the answer text.
    std::string PostForm(const std::string& address, const std::vector<FormField>& fields,
                         const std::vector<FormFile>& files);

    // A plain POST of a text body with the given media type (charset from Settings().Encoding).
    HttpAnswer Post(const std::string& address, const std::string& body, const std::string& mediaType,
                    const std::vector<std::string>& extraHeaders = {});

    // "text/xml; charset=\"utf-8\"" for the settings' encoding.
    static std::string ContentTypeFor(const std::string& mediaType, const std::string& encoding);
    // UTF-8 text to the bytes of the encoding; TransportError for a character it cannot hold.
    static std::string EncodeBody(const std::string& utf8, const std::string& encoding);

private:
    struct Exchange;
    HttpAnswer Perform(const std::string& address, Exchange& exchange);
    void Progress(const std::string& message);

    HttpSettings m_settings;
    std::function<void(const std::string&)> m_onProgress;
    struct Handles;
    std::unique_ptr<Handles> m_handles;
};

} // namespace engine
