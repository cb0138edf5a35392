#pragma once

#include <string>
#include <string_view>

class TmvlNFSeAbrasf;

// The eight operations the transmission library runs, each by its operation name in the
// engine's current collection.
class IProxyNFSe
{
public:
    virtual ~IProxyNFSe() = default;
    virtual std::string GerarXMLPorTX2(std::string_view arquivoTX2, std::string_view extras) = 0;
    virtual std::string AssinarXML(std::string_view xml, std::string_view extras) = 0;
    virtual std::string Enviar(std::string_view xml, std::string_view extras) = 0;
    virtual std::string EnviarSincrono(std::string_view xml, std::string_view extras) = 0;
    virtual std::string ConsultarLote(std::string_view protocolo, std::string_view extras) = 0;
    virtual std::string ConsultarNota(std::string_view numeroNota, std::string_view extras) = 0;
    virtual std::string ConsultarNFSePorRPS(std::string_view numeroRPS, std::string_view serieRPS,
                                            std::string_view tipoRPS, std::string_view extras) = 0;
    virtual std::string CancelarNota(std::string_view chaveNota, std::string_view extras) = 0;
};

class TmvlProxyNFSe : public IProxyNFSe
{
public:
    TmvlProxyNFSe() = default;
    explicit TmvlProxyNFSe(TmvlNFSeAbrasf* engine)
        : m_ComponenteNFSe(engine)
    { }
    TmvlProxyNFSe(const TmvlProxyNFSe&) = delete;
    TmvlProxyNFSe& operator=(const TmvlProxyNFSe&) = delete;

    // The engine is owned elsewhere; its owner clears this before freeing it.
    TmvlNFSeAbrasf* ComponenteNFSe() const { return m_ComponenteNFSe; }
    void SetComponenteNFSe(TmvlNFSeAbrasf* engine) { m_ComponenteNFSe = engine; }

    std::string GerarXMLPorTX2(std::string_view arquivoTX2, std::string_view extras) override;
    std::string AssinarXML(std::string_view xml, std::string_view extras) override;
    std::string Enviar(std::string_view xml, std::string_view extras) override;
    std::string EnviarSincrono(std::string_view xml, std::string_view extras) override;
    std::string ConsultarLote(std::string_view protocolo, std::string_view extras) override;
    std::string ConsultarNota(std::string_view numeroNota, std::string_view extras) override;
    std::string ConsultarNFSePorRPS(std::string_view numeroRPS, std::string_view serieRPS, std::string_view tipoRPS,
                                    std::string_view extras) override;
    std::string CancelarNota(std::string_view chaveNota, std::string_view extras) override;

private:
    TmvlNFSeAbrasf& Engine() const;
    std::string Run(std::string_view operation,
                    std::initializer_list<std::pair<std::string_view, std::string_view>> values);
    // The answer unescaped, unless it is a SOAP fault, which goes back as it came.
    static std::string UnlessFault(const std::string& answer);

    TmvlNFSeAbrasf* m_ComponenteNFSe = nullptr;
};
