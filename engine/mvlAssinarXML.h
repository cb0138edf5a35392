#pragma once

#include "engine/mvlCollectionItem.h"
#include "engine/mvlSignerX.h"

#include <string>
#include <string_view>

// Builds the lot around a ListaRps (template "EnviarLoteRpsEnvio.xml") and signs its RPS and
// the lot through the signing component.
class TmvlAssinarXML : public TmvlXMLItem
{
public:
    const char* ClassName() const override { return "TmvlAssinarXML"; }
    void RegisterParams() override;
    void Executar(TmvlNFSeAbrasf& engine) override;

protected:
    // A collection sets here the node kinds, the two options and the RPS-Id selection of its city.
    virtual void ConfigurarAssinador(TmvlSignerX& signer, engine::SignerXKinds& kinds) const;
    // The document signed as the city's settings ask; the input is never changed.
    std::string AssinarDocumento(TmvlNFSeAbrasf& engine, std::string_view xml) const;
};

// The proxy form: signs a finished document; the answer is the signed document.
class TmvlAssinar_ProxyNFSe_SignerX : public TmvlAssinarXML
{
public:
    const char* ClassName() const override { return "TmvlAssinar_ProxyNFSe_SignerX"; }
    void RegisterParams() override;
    void Executar(TmvlNFSeAbrasf& engine) override;
};

// The lot template's "%s"/"%d" places filled in order with the texts; the template is data,
// never a format, so any other "%" stays as written.
std::string FillTemplate(std::string_view text, std::initializer_list<std::string_view> values);
