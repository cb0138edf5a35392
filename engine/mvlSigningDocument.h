#pragma once

// The signing algorithms over a parsed working document, for the signers that run several of
// them on one document without serialising it in between.

#include "engine/XmlHandles.h"
#include "engine/XmlSigner.h"

#include <string>
#include <string_view>
#include <vector>

namespace engine {

xmlNode* SignSkeletonNode(xmlDoc* doc, xmlNode* signature, const std::string& idTag, const XmlSigner& signer);
xmlNode* SignAtSignatureInDocument(xmlDoc* doc, std::string_view signatureId, const std::string& idTag,
                                   const XmlSigner& signer);
std::vector<xmlNode*> SelectElements(xmlDoc* doc, std::string_view xpath);
std::vector<std::string> ListRpsIdsInDocument(xmlDoc* doc, std::string_view xpath);
void AssignAutomaticRpsIdsInDocument(xmlDoc* doc, const std::string& idTag, std::string_view rpsXPath,
                                     std::string_view identificationXPath);

} // namespace engine
