#pragma once

#include "engine/mvlCustomNFSe.h"

#include <memory>
#include <string>
#include <string_view>

class TmvlCollectionItem;
class TmvlNFSeCollection;

// The layer of the provider operations run through collections: before every lookup the
// engine reloads its city and takes the collection the city names.
class TmvlNFSeAbrasf : public TmvlCustomNFSe
{
public:
    explicit TmvlNFSeAbrasf(std::string_view baseFolder = {});
    ~TmvlNFSeAbrasf() override;

    // The operation of the city's collection; "Comando \"%s\" não foi encontrado" when it has none.
    TmvlCollectionItem& ObterComando(std::string_view name);
    // Runs it and returns its answer; a foreign error becomes EmvlNFSeUnknownException.
    std::string ExecutarComando(std::string_view name);
    // The collection in use; null before the first operation.
    TmvlNFSeCollection* Colecao() const { return m_colecao.get(); }

    std::string GerarXMLPorTX2(std::string_view arquivoTX2);
    std::string AssinarXML(std::string_view xml, std::string_view numeroLote = {});
    std::string EnviarLoteRPS(std::string_view xml);
    std::string ConsultarSituacaoLoteRPS(std::string_view protocolo);
    std::string ConsultarLoteRPS(std::string_view protocolo);
    std::string ConsultarNFSePorRPS(std::string_view numero, std::string_view serie, std::string_view tipo);
    std::string ConsultarNFSe(std::string_view numeroNfse, std::string_view dataInicial, std::string_view dataFinal,
                              std::string_view tomadorCpfCnpj, std::string_view tomadorIm,
                              std::string_view intermediarioRazaoSocial, std::string_view intermediarioCpfCnpj,
                              std::string_view intermediarioIm);
    std::string CancelarNFSe(std::string_view numeroNfse, std::string_view codigoMunicipioIbge,
                             std::string_view codigoCancelamento);

    // Validates a request against the schema the mapping names for the service (section
    // "ValidarXML"; without it, the XSDFile of "ENVIAR").
    void ValidarXmlDoServico(std::string_view nomeServico, std::string_view xml);
    void ValidarXmlEnvio(std::string_view xml) { ValidarXmlDoServico("Enviar", xml); }

    // The document a service returned escaped (or in CDATA), with its "<br>" marks kept escaped.
    static std::string DesescaparRetorno(std::string_view text);

private:
    void EscolherColecao();
    std::string Executar(std::string_view name,
                         std::initializer_list<std::pair<std::string_view, std::string_view>> values);

    std::unique_ptr<TmvlNFSeCollection> m_colecao;
};

// The engine as its owners use it.
class TmvlNFSe : public TmvlNFSeAbrasf
{
public:
    using TmvlNFSeAbrasf::TmvlNFSeAbrasf;
};
