#pragma once

#include <string>

namespace tests {

// A self-signed RSA-2048 signing certificate written as a PKCS#12 file, made at test time.
struct TestCertificateOptions
{
    std::string CommonName = "EMPRESA TESTE LTDA:12345678000195";
    std::string Password = "senha123";
    int ValidFromDays = -1; // relative to now
    int ValidToDays = 365;
    bool Legacy = false; // RC2-40 + 3DES, as old Windows exports are; else AES-256
    long Serial = 4242;
};

struct TestCertificate
{
    std::string PfxFile;
    std::string CertificatePemFile; // the certificate alone, for verifiers to trust
    std::string Password;
};

// Writes <folder>/<baseName>.pfx and <baseName>.pem.
TestCertificate MakeTestCertificate(const std::string& folder, const std::string& baseName,
                                    const TestCertificateOptions& options = {});

} // namespace tests
