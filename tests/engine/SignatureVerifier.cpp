#include "tests/engine/SignatureVerifier.h"

#include "tests/support/TestSupport.h"

#include <cstdlib>

namespace tests {
namespace {

int CountSignatures(const std::string& xml)
{
    int count = 0;
    for (size_t at = xml.find("<Signature"); at != std::string::npos; at = xml.find("<Signature", at + 1)) {
        const char next = xml[at + 10];
        if (next == ' ' || next == '>') {
            ++count;
        }
    }
    return count;
}

} // namespace

std::string VerifyWithXmlsec1(const std::string& xml, const std::string& trustedPem,
                              const std::vector<std::string>& idElements, int* signatureCount,
                              const std::string& idAttribute)
{
    const std::string file = TempDir() + "verify.xml";
    WriteFile(file, xml);
    std::string idArgs;
    for (const std::string& element : idElements) {
        idArgs += " --id-attr:" + idAttribute + " '" + element + "'";
    }
    const int count = CountSignatures(xml);
    if (signatureCount) {
        *signatureCount = count;
    }
    std::string failures;
    for (int i = 1; i <= count; ++i) {
        const std::string log = TempDir() + "xmlsec1.log";
        const std::string command = "xmlsec1 --verify --trusted-pem '" + trustedPem + "'" + idArgs +
            " --node-xpath \"(//*[local-name()='Signature'])[" + std::to_string(i) + "]\" '" + file + "' > '" + log +
            "' 2>&1";
        if (std::system(command.c_str()) != 0) {
            failures += "assinatura " + std::to_string(i) + ": " + ReadFile(log) + "\n";
        }
    }
    if (count == 0) {
        failures = "nenhuma assinatura no documento";
    }
    return failures;
}

} // namespace tests
