#pragma once

#include "engine/mvlCustomXML.h"

#include <string>
#include <string_view>

namespace engine {

// A pointer file leads from one sent RPS to the log of the lot that carried it; printing reads
// the RPS back from that log.

// The file name of a key: issuer document, RPS number, series and type joined by "_", + ".txt".
// Writers and readers both call it, so a key written once is found again. The issuer counts by
// its digits (CPF and CNPJ alike, as written: never padded); every part keeps only what is safe
// in a file name.
std::string PointerFileName(std::string_view cpfCnpj, std::string_view numero, std::string_view serie,
                            std::string_view tipo);

// Writes (replacing) the pointer file in the folder, created when missing; its content is the
// log file's name. Throws std::runtime_error naming the file.
void WritePointerFile(const std::string& folder, const std::string& fileName, std::string_view logFile);
// The trimmed content of the pointer file; empty when there is none.
std::string ReadPointerFile(const std::string& folder, const std::string& fileName);

// The issuer document of an RPS or a note: the text of the first Cnpj, else of the first Cpf,
// below the first element named `issuerElement` ("Prestador", "IdentificacaoPrestador").
std::string IssuerDocument(XmlNode node, std::string_view issuerElement);
// The first element below `node` (itself excluded) with that local name; none when absent.
XmlNode FirstDescendant(XmlNode node, std::string_view localName);

// The RPS of a logged lot (a request log: SOAP envelope, escaped or not) whose issuer and
// identification give the same pointer file name as the key parts, as XML; empty when none.
std::string FindRpsInLog(std::string_view logXml, std::string_view cpfCnpj, std::string_view numero,
                         std::string_view serie, std::string_view tipo);

} // namespace engine
