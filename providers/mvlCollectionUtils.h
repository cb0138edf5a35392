#pragma once

#include "engine/mvlCollectionItem.h"

#include <string>
#include <string_view>

class TmvlNFSeAbrasf;

// Helpers several provider collections share.
class TmvlCollectionUtils
{
public:
    // With the engine's ValidarEsquemaAntesEnvio on, validates the request against the
    // XSDFile of the mapping's section ENVIAR, in the schema folder of the city. Returns every
    // error, one per line (empty when valid or when validation is off); fails with the first.
    static std::string ValidarXmlEnvio(TmvlNFSeAbrasf& engine, std::string_view xml);
};

// Reads the printing link of a note from an answer: by XPath when the answer is XML, else
// between tags. Each provider gives its XPath and tag.
class TmvlObterLinkImpressao : public TmvlXMLItem
{
public:
    void Executar(TmvlNFSeAbrasf& engine) override;

protected:
    virtual std::string XPathLink() const = 0;
    virtual std::string TagLink() const = 0;
};
