#pragma once

#include "engine/XmlSigner.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// What the signing algorithms read from the engine: the city's web-service settings and
// its template loader.
struct SigningSettings
{
    std::string IdTag = "Id";
    bool GerarAssinaturaRps = true;
    bool GerarAssinaturaXml = true;
    bool IdRpsAutomatico = true;
    bool UsarIdLoteRps = true;
    // The text of an engine template ("signature_info.xml", "Rps.xml"), found as the engine
    // finds every template.
    std::function<std::string(const std::string&)> CarregarModelo;
};

inline constexpr std::string_view kSignatureTemplate = "signature_info.xml";
inline constexpr std::string_view kRpsIdentificationXPath =
    R"(//*[local-name()="Rps"][%d]//*[local-name()="IdentificacaoRps"])";

// The skeleton of the signature template filled with the Signature's Id and the Reference URI,
// compacted.
std::string SignatureSkeleton(std::string_view templateText, std::string_view signatureId,
                              std::string_view referenceUri);

// Signs the document at its Signature skeleton: the one whose Id is `signatureId`, or the only
// one when no Id is given. The skeleton's Reference names the element by "#" + the value of its
// `idTag` attribute; an empty URI (or "#") names the element just before the Signature, which
// is then referenced by its `idTag` attribute, given the value "<element>_<n>" when it has
// none. Returns the signed document; the input is never changed.
std::string SignAtSignature(std::string_view xml, std::string_view signatureId, std::string_view idTag,
                            const XmlSigner& signer);

// Rebuilds a ListaRps with every RPS wrapped by the "Rps.xml" template and, with
// GerarAssinaturaRps, signed. `quantidadeRps` receives the number of RPS.
std::string SignRpsList(std::string_view listaRps, const SigningSettings& settings, const XmlSigner& signer,
                        int* quantidadeRps = nullptr);

// The Id values of the RPS of a lot document (or of the complementary RPS of an
// "EnvioDadosComplementares"), in document order; `xpath` replaces the default selection.
std::vector<std::string> ListRpsIds(std::string_view xml, std::string_view xpath = {});

// Signs the element named `elementName` whose `idTag` attribute is `id`, with a signature
// "Ass_" + id placed as the last child of the element's parent, inside the whole document.
// The document comes back unchanged when no such element exists.
std::string SignByNode(std::string_view xml, std::string_view elementName, std::string_view idTag, std::string_view id,
                       const SigningSettings& settings, const XmlSigner& signer);

// Gives the n-th RPS element (`rpsXPath`, default every InfRps; InfRPSComplementar for an
// "EnvioDadosComplementares") the Id made of the trimmed texts of the children of the n-th
// RPS identification (`identificationXPath` with %d = n) joined by "_": number 10, series A,
// type 1 give "10_A_1".
std::string AssignAutomaticRpsIds(std::string_view xml, std::string_view idTag, std::string_view rpsXPath = {},
                                  std::string_view identificationXPath = {});

// Whether the root makes the document a lot whose RPS Ids are listed from InfRps.
bool IsLotDocument(std::string_view rootName);

} // namespace engine
