#pragma once

#include <string>
#include <vector>

namespace tests {

// Checks every Signature of a document with the xmlsec1 command-line tool, an implementation
// independent of our signing code. `idElements` lists "namespace:Element" (or "Element") whose
// "Id" attribute references point at. Returns the failures ("" when all verify).
std::string VerifyWithXmlsec1(const std::string& xml, const std::string& trustedPem,
                              const std::vector<std::string>& idElements, int* signatureCount = nullptr,
                              const std::string& idAttribute = "Id");

} // namespace tests
