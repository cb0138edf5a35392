#pragma once

#include "engine/mvlCollection.h"
#include "engine/mvlGerarRegisterXmlNFSeItem.h"
#include "engine/mvlSOAPItem.h"
#include "engine/mvlXMLNodeSigner.h"

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

class TmvlNFSeDataSet;

// The national model, version 1.00: the reference collection most providers derive from,
// changing a template, an XPath or a step.
class TmvlAbrasfCollection : public TmvlNFSeCollection
{
public:
    const char* ClassName() const override { return "TmvlAbrasfCollection"; }
    void RegistrarItens() override;
};

namespace providers {

// Runs another operation of the engine's collection with these parameter values and returns
// its answer; operations call each other by name, so a collection that replaces one changes
// every path through it.
std::string RunOperation(TmvlNFSeAbrasf& engine, std::string_view name,
                         std::initializer_list<std::pair<std::string_view, std::string_view>> values);

} // namespace providers

// TX2 to request XML through the NFS-e datasets.
class TmvlGerarXMLPorTX2_Abrasf : public TmvlCollectionItem
{
public:
    const char* ClassName() const override { return "TmvlGerarXMLPorTX2_Abrasf"; }
    void RegisterParams() override;
    void Executar(TmvlNFSeAbrasf& engine) override;

protected:
    virtual std::string ConfigSection() const { return "XMLENVIO"; }
    // The operation's chance to change the filled tree before the XML is written.
    virtual void PrepararDatasetParaGeracaoDeXml(TmvlNFSeAbrasf& engine, TmvlNFSeDataSet& dataSet);
    std::string GenerateXml(TmvlNFSeAbrasf& engine, const std::string& arquivoTx2);
};

class TmvlCorrigeXmlAbrasf : public TmvlXMLItem
{
public:
    const char* ClassName() const override { return "TmvlCorrigeXmlAbrasf"; }
    void Executar(TmvlNFSeAbrasf& engine) override;
};

// The lot around a ListaRps, its RPS and the lot signed.
class TmvlAssinarXMLAbrasf : public TmvlXMLItem
{
public:
    const char* ClassName() const override { return "TmvlAssinarXMLAbrasf"; }
    void RegisterParams() override;
    void Executar(TmvlNFSeAbrasf& engine) override;
};

// The SOAP operations: each supplies its template, service, log prefix and type.
class TmvlEnviarLoteRPSAbrasf : public TmvlSOAPItem
{
public:
    const char* ClassName() const override { return "TmvlEnviarLoteRPSAbrasf"; }
    std::string RetornaNomeServico() const override { return {}; }
    std::string PrefixoLog() const override { return "enviar_lote_rps_"; }
    TTipoServico TipoServico() const override { return TTipoServico::tsRecepcionarLoteRps; }
    std::string MontarXMLEnvio(TmvlNFSeAbrasf& engine) override;
    std::string ObterIdentificadorEnvio(std::string_view xml) const override;
    std::string TratarResposta(TmvlNFSeAbrasf& engine, std::string_view answer) override;

protected:
    // The RPS of the request whose keys get pointer files.
    virtual std::string SentRpsXPath() const { return R"(//*[local-name()="Rps"])"; }
    void WritePointerFiles(TmvlNFSeAbrasf& engine, std::string_view request);
};

class TmvlConsultarSituacaoLoteRpsAbrasf : public TmvlSOAPItem
{
public:
    const char* ClassName() const override { return "TmvlConsultarSituacaoLoteRpsAbrasf"; }
    void RegisterParams() override;
    std::string NomeModelo() const override { return "ConsultarSituacaoLoteRps.xml"; }
    std::string RetornaNomeServico() const override { return "ConsultarSituacaoLoteRps"; }
    std::string PrefixoLog() const override { return "consultar_situacao_lote_rps_"; }
    TTipoServico TipoServico() const override { return TTipoServico::tsConsultarSituacaoLoteRps; }
    std::string MontarXMLEnvio(TmvlNFSeAbrasf& engine) override;
    std::string ObterIdentificadorEnvio(std::string_view xml) const override;
};

class TmvlConsultarLoteRpsAbrasf : public TmvlConsultarSituacaoLoteRpsAbrasf
{
public:
    const char* ClassName() const override { return "TmvlConsultarLoteRpsAbrasf"; }
    std::string NomeModelo() const override { return "ConsultarLoteRPS.xml"; }
    std::string RetornaNomeServico() const override { return "ConsultarLoteRps"; }
    std::string PrefixoLog() const override { return "consultar_lote_rps_"; }
    TTipoServico TipoServico() const override { return TTipoServico::tsConsultarLoteRps; }
};

class TmvlConsultarNFSePorRpsAbrasf : public TmvlSOAPItem
{
public:
    const char* ClassName() const override { return "TmvlConsultarNFSePorRpsAbrasf"; }
    void RegisterParams() override;
    std::string NomeModelo() const override { return "ConsultarNfsePorRps.xml"; }
    std::string RetornaNomeServico() const override { return "ConsultarNFsePorRps"; }
    std::string PrefixoLog() const override { return "consultar_nfse_rps_"; }
    TTipoServico TipoServico() const override { return TTipoServico::tsConsultarNfsePorRps; }
    std::string MontarXMLEnvio(TmvlNFSeAbrasf& engine) override;
    std::string ObterIdentificadorEnvio(std::string_view xml) const override;
};

class TmvlConsultarNFSeAbrasf : public TmvlSOAPItem
{
public:
    const char* ClassName() const override { return "TmvlConsultarNFSeAbrasf"; }
    void RegisterParams() override;
    std::string NomeModelo() const override { return "ConsultarNfse.xml"; }
    std::string RetornaNomeServico() const override { return "ConsultarNFSe"; }
    std::string PrefixoLog() const override { return "consultar_nfse_"; }
    TTipoServico TipoServico() const override { return TTipoServico::tsConsultarNfse; }
    std::string MontarXMLEnvio(TmvlNFSeAbrasf& engine) override;
    std::string ObterIdentificadorEnvio(std::string_view xml) const override;
};

class TmvlCancelarNFSeAbrasf : public TmvlSOAPItem
{
public:
    const char* ClassName() const override { return "TmvlCancelarNFSeAbrasf"; }
    void RegisterParams() override;
    std::string NomeModelo() const override { return "CancelarNfse.xml"; }
    std::string RetornaNomeServico() const override { return "CancelarNFSe"; }
    std::string PrefixoLog() const override { return "cancelar_nfse_"; }
    TTipoServico TipoServico() const override { return TTipoServico::tsCancelarNfse; }
    std::string MontarXMLEnvio(TmvlNFSeAbrasf& engine) override;
    std::string ObterIdentificadorEnvio(std::string_view xml) const override;

protected:
    virtual std::string ComandoIdentificadorCancelamento() const { return R"(//*[local-name()="Numero"])"; }
};

class TmvlGerarRegisterXmlNFSeAbrasf : public TmvlGerarRegisterXmlNFSeItem
{
public:
    const char* ClassName() const override { return "TmvlGerarRegisterXmlNFSeAbrasf"; }

protected:
    virtual std::string RpsXPath() const { return R"(//*[local-name()="Rps"])"; }
    virtual std::string NoteXPath() const { return R"(//*[local-name()="CompNfse"])"; }
    std::string RegisterFromLot(TmvlNFSeAbrasf& engine, const std::string& xml) override;
    std::string RegisterFromConsult(TmvlNFSeAbrasf& engine, const std::string& xml,
                                    const std::string& rpsLogEnvio) override;
};

class TmvlRetornaChaveAbrasf : public TmvlCollectionItem
{
public:
    const char* ClassName() const override { return "TmvlRetornaChaveAbrasf"; }
    void RegisterParams() override;
    void Executar(TmvlNFSeAbrasf& engine) override;
};

enum class TmvlCampoComum
{
    cacNumeroRps = 0,
    cacSerieRps,
    cacTipoRps,
    cacNumeroNFSe,
    cacCpfCnpjPrestador,
    cacCpfCnpjTomador,
    cacNomeTomador,
    cacQuantidadeRps,
    cacDataAutorizacao
};

class TmvlRetornaCampoComumAbrasf : public TmvlCollectionItem
{
public:
    const char* ClassName() const override { return "TmvlRetornaCampoComumAbrasf"; }
    void RegisterParams() override;
    void Executar(TmvlNFSeAbrasf& engine) override;

protected:
    virtual std::string FieldXPath(TmvlCampoComum campo) const;
};

class TmvlRetornaStringQuebraDeLinhaAbrasf : public TmvlCollectionItem
{
public:
    const char* ClassName() const override { return "TmvlRetornaStringQuebraDeLinhaAbrasf"; }
    void Executar(TmvlNFSeAbrasf& engine) override;
};

class TmvlExtractEscapedContentAbrasf : public TmvlXMLItem
{
public:
    const char* ClassName() const override { return "TmvlExtractEscapedContentAbrasf"; }
    void Executar(TmvlNFSeAbrasf& engine) override;
};

// The proxy operations: two parameters, the document or key and "Extras", and answers the
// batch window can read.
class TmvlGerarXMLPorTX2_ProxyNFSeAbrasf : public TmvlGerarXMLPorTX2_Abrasf
{
public:
    const char* ClassName() const override { return "TmvlGerarXMLPorTX2_ProxyNFSeAbrasf"; }
    void RegisterParams() override;
    void Executar(TmvlNFSeAbrasf& engine) override;

protected:
    std::string ConfigSection() const override { return "ENVIAR"; }
    virtual std::string RpsElementXPath() const { return R"(//*[local-name()="Rps"])"; }
    // The delimiter before every RPS and before the end of their list.
    std::string Delimit(const std::string& xml, const std::string& delimiter) const;
};

class TmvlAssinar_ProxyNFSeAbrasf : public TmvlXMLNodeSigner
{
public:
    const char* ClassName() const override { return "TmvlAssinar_ProxyNFSeAbrasf"; }
    void RegisterParams() override;
    void Executar(TmvlNFSeAbrasf& engine) override;
};

class TmvlEnviar_ProxyNFSeAbrasf : public TmvlCollectionItem
{
public:
    const char* ClassName() const override { return "TmvlEnviar_ProxyNFSeAbrasf"; }
    void RegisterParams() override;
    void Executar(TmvlNFSeAbrasf& engine) override;

protected:
    // Runs "EnviarLoteRPS" with the lot in its envelope; the answer, and the answer's log
    // path (empty when the transport did not run).
    std::pair<std::string, std::string> SendLot(TmvlNFSeAbrasf& engine);
};

class TmvlEnviarSincrono_ProxyNFSeAbrasf : public TmvlEnviar_ProxyNFSeAbrasf
{
public:
    const char* ClassName() const override { return "TmvlEnviarSincrono_ProxyNFSeAbrasf"; }
    void Executar(TmvlNFSeAbrasf& engine) override;
};

class TmvlConsultaBase_ProxyNFSeAbrasf : public TmvlCollectionItem
{
public:
    const char* ClassName() const override { return "TmvlConsultaBase_ProxyNFSeAbrasf"; }

protected:
    std::string ExtrasProtocol() const;
    // The lot consulted through "ConsultarLote_ViaProxy", its node at `xpath` put in
    // `templateName` (escaped when `extract`); for derived collections.
    std::string ConsultThroughLot(TmvlNFSeAbrasf& engine, std::string_view protocolo, std::string_view xpath,
                                  std::string_view templateName, bool extract);
};

class TmvlConsultarLote_ProxyNFSeAbrasf : public TmvlConsultaBase_ProxyNFSeAbrasf
{
public:
    const char* ClassName() const override { return "TmvlConsultarLote_ProxyNFSeAbrasf"; }
    void RegisterParams() override;
    void Executar(TmvlNFSeAbrasf& engine) override;
    // The lot's situation through "ConsultarSituacaoLoteRPS", for derived collections.
    static std::string LotSituation(TmvlNFSeAbrasf& engine, std::string_view protocolo);
};

class TmvlConsultarNota_ProxyNFSeAbrasf : public TmvlConsultaBase_ProxyNFSeAbrasf
{
public:
    const char* ClassName() const override { return "TmvlConsultarNota_ProxyNFSeAbrasf"; }
    void RegisterParams() override;
    void Executar(TmvlNFSeAbrasf& engine) override;
};

class TmvlConsultarNFSePorRPS_ProxyNFSeAbrasf : public TmvlConsultaBase_ProxyNFSeAbrasf
{
public:
    const char* ClassName() const override { return "TmvlConsultarNFSePorRPS_ProxyNFSeAbrasf"; }
    void RegisterParams() override;
    void Executar(TmvlNFSeAbrasf& engine) override;
};

class TmvlCancelarNota_ProxyNFSeAbrasf : public TmvlCollectionItem
{
public:
    const char* ClassName() const override { return "TmvlCancelarNota_ProxyNFSeAbrasf"; }
    void RegisterParams() override;
    void Executar(TmvlNFSeAbrasf& engine) override;

protected:
    virtual std::string ObterCodigoMunicipioIBGE(TmvlNFSeAbrasf& engine) const;
    virtual std::string ObterCodigoCancelamento(TmvlNFSeAbrasf& engine) const;
};
