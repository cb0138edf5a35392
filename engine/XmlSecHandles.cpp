#include "engine/XmlSecHandles.h"

#include "engine/OpenSslHandles.h"
#include "engine/XmlHandles.h"

#include <xmlsec/base64.h>
#include <xmlsec/errors.h>
#include <xmlsec/xmltree.h>

#include <climits>
#include <mutex>
#include <stdexcept>

namespace engine {

void XmlSecDeleter::operator()(xmlSecKey* key) const noexcept
{
    xmlSecKeyDestroy(key);
}

void XmlSecDeleter::operator()(xmlSecKeyData* data) const noexcept
{
    xmlSecKeyDataDestroy(data);
}

void XmlSecDeleter::operator()(xmlSecDSigCtx* ctx) const noexcept
{
    xmlSecDSigCtxDestroy(ctx);
}

namespace {

thread_local std::string t_lastError;

extern "C" void KeepXmlSecError(const char* /*file*/, int /*line*/, const char* func, const char* errorObject,
                                const char* errorSubject, int reason, const char* message) noexcept
{
    try {
        std::string text;
        if (message && *message) {
            text = message;
        } else {
            text = "erro " + std::to_string(reason);
        }
        if (errorSubject && *errorSubject) {
            text = std::string(errorSubject) + ": " + text;
        }
        if (errorObject && *errorObject) {
            text = std::string(errorObject) + ": " + text;
        }
        if (func && *func) {
            text = std::string(func) + ": " + text;
        }
        // The first error is the cause; the rest are the callers giving up one by one.
        if (t_lastError.empty()) {
            t_lastError = text;
        }
    } catch (...) {
    }
}

} // namespace

void EnsureXmlSec()
{
    static std::once_flag once;
    std::call_once(once, [] {
        EnsureOpenSsl();
        EnsureXmlLibrary();
        if (xmlSecInit() < 0 || xmlSecCheckVersion() != 1 || xmlSecOpenSSLAppInit(nullptr) < 0 ||
            xmlSecOpenSSLInit() < 0) {
            throw std::runtime_error("xmlsec não pôde ser iniciado");
        }
        xmlSecErrorsSetCallback(KeepXmlSecError);
        // Stable bytes: a line feed or a wrapped base64 line inside a signature is a change a
        // city's verifier or a later compaction may treat differently.
        xmlSecSetDefaultLineFeed(reinterpret_cast<const xmlChar*>(""));
        xmlSecBase64SetDefaultLineSize(INT_MAX / 2);
    });
}

std::string TakeXmlSecError()
{
    std::string text;
    text.swap(t_lastError);
    return text;
}

} // namespace engine
