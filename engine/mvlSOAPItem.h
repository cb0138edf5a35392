#pragma once

#include "engine/mvlCollectionItem.h"
#include "engine/mvlCustomNFSe.h"

#include <string>
#include <string_view>

// A provider operation that travels as a SOAP call, in a fixed sequence: build, correct,
// log, call, log, post-process. A provider overrides only the steps that differ.
class TmvlSOAPItem : public TmvlXMLItem
{
public:
    const char* ClassName() const override { return "TmvlSOAPItem"; }
    void Executar(TmvlNFSeAbrasf& engine) override;

    // What a provider supplies.
    virtual std::string RetornaNomeServico() const = 0;
    virtual std::string PrefixoLog() const = 0;
    virtual TTipoServico TipoServico() const = 0;
    virtual std::string RetornaSoapActionName() const { return {}; }
    virtual std::string NomeModelo() const { return {}; }

    // The steps.
    virtual std::string MontarXMLEnvio(TmvlNFSeAbrasf& engine);
    virtual void ValidarXmlItem(TmvlNFSeAbrasf& engine, std::string_view xml);
    virtual std::string CompactarXml(std::string_view xml) const;
    virtual std::string EscaparXmlItem(TmvlNFSeAbrasf& engine, std::string_view xml) const;
    virtual std::string MontarEnvelope(TmvlNFSeAbrasf& engine, std::string_view xml);
    virtual void PrepararEnvio(TmvlNFSeAbrasf& engine);
    virtual void Transmitir(TmvlNFSeAbrasf& engine, std::string_view xml);
    virtual std::string ChamarServico(TmvlNFSeAbrasf& engine, std::string_view xml);
    virtual std::string ObterIdentificadorEnvio(std::string_view xml) const;
    virtual std::string TratarRespostaBruta(std::string_view answer);
    virtual std::string TratarResposta(TmvlNFSeAbrasf& engine, std::string_view answer);
    virtual std::string TratarTexto(std::string_view text) const { return std::string(text); }
    virtual void SalvarXmlImpressao(TmvlNFSeAbrasf& engine, std::string_view xml);
    virtual std::string ExtrairConteudoEscapado(std::string_view text) const;

    const std::string& XmlEnvio() const { return m_XmlEnvio; }
    const std::string& LogEnvio() const { return m_LogEnvio; }
    const std::string& LogResposta() const { return m_LogResposta; }

protected:
    void SetXmlEnvio(std::string xml) { m_XmlEnvio = std::move(xml); }

private:
    std::string m_XmlEnvio;
    std::string m_LogEnvio;
    std::string m_LogResposta;
};
