#pragma once

#include <string>

namespace tests {

struct TestPkiOptions
{
    std::string ClientCommonName = "EMPRESA TESTE LTDA:12345678000195";
    std::string ClientPassword = "senha123";
    // RC2-40/3DES protection, as old A1 certificates have; otherwise AES-256.
    bool LegacyPfx = false;
    // The client certificate expired yesterday.
    bool ExpiredClient = false;
};

// A private CA with a server certificate for 127.0.0.1/localhost and a client certificate,
// made at run time. Every path is inside the folder given.
struct TestPki
{
    std::string CaCertFile;     // PEM
    std::string ServerCertFile; // PEM
    std::string ServerKeyFile;  // PEM, unencrypted
    std::string ClientPfxFile;  // PKCS#12 with key and certificate
    std::string ClientCertFile; // PEM
    std::string ClientKeyFile;  // PEM, unencrypted
    std::string ClientPassword;
    std::string ClientCommonName;
};

TestPki MakeTestPki(const std::string& folder, const TestPkiOptions& options = {});

} // namespace tests
