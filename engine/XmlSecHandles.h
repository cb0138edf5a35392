#pragma once

// The one header that brings xmlsec into our code, with one owner type per C handle; their
// destroy functions are called only in these deleters.

#include <xmlsec/crypto.h>
#include <xmlsec/keys.h>
#include <xmlsec/xmldsig.h>
#include <xmlsec/xmlsec.h>

#include <memory>
#include <string>

namespace engine {

struct XmlSecDeleter
{
    void operator()(xmlSecKey* key) const noexcept;
    void operator()(xmlSecKeyData* data) const noexcept;
    void operator()(xmlSecDSigCtx* ctx) const noexcept;
};

using XmlSecKeyPtr = std::unique_ptr<xmlSecKey, XmlSecDeleter>;
using XmlSecKeyDataPtr = std::unique_ptr<xmlSecKeyData, XmlSecDeleter>;
using XmlSecDSigCtxPtr = std::unique_ptr<xmlSecDSigCtx, XmlSecDeleter>;

// Starts xmlsec with OpenSSL once per process: no line feeds and no base64 wrapping inside
// the signatures it writes, and its errors kept for our messages instead of printed.
void EnsureXmlSec();

// What xmlsec reported last on this thread (empty when nothing); reading it clears it.
std::string TakeXmlSecError();

} // namespace engine
