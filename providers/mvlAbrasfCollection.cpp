#include "providers/mvlAbrasfCollection.h"

#include "engine/PointerFiles.h"
#include "engine/TextFile.h"
#include "engine/XmlSigner.h"
#include "engine/mvlAssinadorNFSeX.h"
#include "engine/mvlAssinarXML.h"
#include "engine/mvlExceptions.h"
#include "engine/mvlMappingFile.h"
#include "engine/mvlNFSe.h"
#include "engine/mvlNFSeDataset.h"
#include "engine/mvlNFSeXmlUtils.h"
#include "engine/mvlXPath.h"
#include "platform/Format.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"

#include <charconv>

namespace {

// Errors of the engine's own family pass as they are; any other becomes one, with its text.
template <class Build>
auto AsNFSeError(const Build& build)
{
    try {
        return build();
    } catch (const EmvlException&) {
        throw;
    } catch (const std::exception& error) {
        throw EmvlNFSeException(error.what());
    }
}

constexpr std::string_view kRegisterRoot = "Impressao";
constexpr std::string_view kRegisterRecord = "Registro";
constexpr std::string_view kDeclaration = R"(<?xml version="1.0" encoding="utf-8"?>)";

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to)
{
    if (from.empty()) {
        return text;
    }
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

bool ContainsIgnoringCase(std::string_view text, std::string_view part)
{
    return platform::FoldCase(text).find(platform::FoldCase(part)) != std::string::npos;
}

bool IsFault(std::string_view answer)
{
    return ContainsIgnoringCase(answer, "</faultstring>");
}

std::string Text(std::string_view xml, std::string_view xpath)
{
    std::string value;
    return SelectNodeText(xml, xpath, value) ? value : std::string();
}

bool Exists(std::string_view xml, std::string_view xpath)
{
    TmvlXPath doc;
    return doc.TryLoadXML(xml) && doc.SelectNode(xpath);
}

std::string LoadTemplate(TmvlNFSeAbrasf& engine, std::string_view name)
{
    return CompactXml(engine.CarregarModelo(name));
}

// The mapping file of the engine's city: its own folder, its provider's, or the schemas folder.
std::string MappingFileOf(TmvlNFSeAbrasf& engine)
{
    const std::string& collection = engine.ConfiguracoesWebService().CollectionName;
    try {
        return FindEngineFile(engine.DiretorioTemplates(), engine.DiretorioEsquemas(), engine.Cidade(),
                              TEngineFileKind::efkSchema, engine.MappingFileName(), collection, engine.BaseFolder());
    } catch (const EmvlNFSeFileNotFoundException&) {
        // Left to the dataset facade, which knows which provider serves a city folder.
        return platform::JoinPath(engine.DiretorioEsquemas(), engine.Cidade() + "/" + engine.MappingFileName());
    }
}

// The schema of the lot: looked up always (a mapping that names none stops the send), used
// only when the engine validates before sending.
void ValidateLot(TmvlNFSeAbrasf& engine, std::string_view lot)
{
    const std::string& collection = engine.ConfiguracoesWebService().CollectionName;
    const std::string mappingFile = TmvlNFSeDataSet::ResolveMappingFile(MappingFileOf(engine));
    TmvlMappingFile mapping;
    try {
        mapping.LoadFromFile(mappingFile);
    } catch (const std::exception&) {
        throw EmvlNFSeException(platform::Format("Erro ao carregar arquivo de Mapping: %s", mappingFile));
    }
    std::string schema = mapping.SectionExists("ValidarXML") ? mapping.ReadString("ValidarXML", "Enviar")
                                                             : mapping.ReadString("ENVIAR", "XSDFile");
    if (platform::Trim(schema).empty()) {
        throw EmvlNFSeException(
            platform::Format("O Mapping não indica o esquema do envio do lote (ValidarXML/Enviar): %s", mappingFile));
    }
    const std::string folder = platform::ExtractFilePath(mappingFile);
    const std::string beside = folder + std::string(platform::Trim(schema));
    const std::string file = platform::FileExists(beside)
        ? beside
        : FindEngineFile(engine.DiretorioTemplates(), engine.DiretorioEsquemas(), engine.Cidade(),
                         TEngineFileKind::efkSchema, schema, collection, engine.BaseFolder());
    if (engine.ValidarEsquemaAntesEnvio()) {
        engine.ValidarXmlComEsquema(lot, file);
    }
}

// The text of the XML as the signing component takes it: accents folded when the engine
// removes them.
std::string Normalize(TmvlNFSeAbrasf& engine, std::string_view xml)
{
    return engine.RemoverAcentos() ? platform::FoldAccents(xml) : std::string(xml);
}

TmvlSOAPItem* SoapItem(TmvlNFSeAbrasf& engine, std::string_view name)
{
    return dynamic_cast<TmvlSOAPItem*>(&engine.ObterComando(name));
}

std::string FailedSend(const std::string& logPath)
{
    return logPath.empty() ? std::string("-1") : "-1;" + logPath;
}

// The line-break text of the answers turned into the printing's line delimiter.
std::string WithLineDelimiter(TmvlNFSeAbrasf& engine, const std::string& xml)
{
    const std::string& lineBreak = engine.ConfiguracoesWebService().StringQuebraDeLinha;
    const std::string& delimiter = engine.ConfiguracoesImpressao().LineDelimiter;
    if (lineBreak.empty() || delimiter.empty()) {
        return xml;
    }
    return ReplaceAll(xml, lineBreak, delimiter);
}

std::string CleanAnswer(std::string_view answer)
{
    return TmvlNFSeAbrasf::DesescaparRetorno(ExtractSoapBody(answer));
}

// The request with the lot's RPS, whatever the provider wrapped around it.
std::string SentDocument(std::string_view request)
{
    std::string xml = ExtractSoapBody(request);
    if (!Exists(xml, R"(//*[local-name()="Rps"])")) {
        xml = ExtractEmbeddedXml(xml);
    }
    return xml;
}

} // namespace

namespace providers {

std::string RunOperation(TmvlNFSeAbrasf& engine, std::string_view name,
                         std::initializer_list<std::pair<std::string_view, std::string_view>> values)
{
    for (const auto& [parameter, value] : values) {
        engine.ObterComando(name).Parametros().SetValue(parameter, value);
    }
    return engine.ExecutarComando(name);
}

} // namespace providers

using providers::RunOperation;

void TmvlAbrasfCollection::RegistrarItens()
{
    Registrar(std::make_unique<TmvlGerarXMLPorTX2_Abrasf>(), "GerarXMLPorTX2");
    Registrar(std::make_unique<TmvlCorrigeXmlAbrasf>(), "CorrigirXml");
    Registrar(std::make_unique<TmvlAssinarXMLAbrasf>(), "AssinarXML");
    Registrar(std::make_unique<TmvlEnviarLoteRPSAbrasf>(), "EnviarLoteRPS");
    Registrar(std::make_unique<TmvlConsultarSituacaoLoteRpsAbrasf>(), "ConsultarSituacaoLoteRPS");
    Registrar(std::make_unique<TmvlConsultarLoteRpsAbrasf>(), "ConsultarLoteRPS");
    Registrar(std::make_unique<TmvlConsultarNFSeAbrasf>(), "ConsultarNFSe");
    Registrar(std::make_unique<TmvlConsultarNFSePorRpsAbrasf>(), "ConsultarNFSePorRPS");
    Registrar(std::make_unique<TmvlCancelarNFSeAbrasf>(), "CancelarNFSe");
    Registrar(std::make_unique<TmvlGerarRegisterXmlNFSeAbrasf>(), "GerarRegisterXml");
    Registrar(std::make_unique<TmvlRetornaChaveAbrasf>(), "RetornaChave");
    Registrar(std::make_unique<TmvlRetornaCampoComumAbrasf>(), "RetornaCampoComum");
    Registrar(std::make_unique<TmvlRetornaStringQuebraDeLinhaAbrasf>(), "RetornaStringQuebraDeLinha");
    Registrar(std::make_unique<TmvlExtractEscapedContentAbrasf>(), "ExtractEscapedContent");
    Registrar(std::make_unique<TmvlGerarXMLPorTX2_ProxyNFSeAbrasf>(), "GerarXMLPorTX2_ViaProxy");
    Registrar(std::make_unique<TmvlAssinar_ProxyNFSeAbrasf>(), "AssinarXML_ViaProxy");
    Registrar(std::make_unique<TmvlEnviar_ProxyNFSeAbrasf>(), "Enviar_ViaProxy");
    Registrar(std::make_unique<TmvlEnviarSincrono_ProxyNFSeAbrasf>(), "EnviarSincrono_ViaProxy");
    Registrar(std::make_unique<TmvlConsultarLote_ProxyNFSeAbrasf>(), "ConsultarLote_ViaProxy");
    Registrar(std::make_unique<TmvlConsultarNota_ProxyNFSeAbrasf>(), "ConsultarNota_ViaProxy");
    Registrar(std::make_unique<TmvlConsultarNFSePorRPS_ProxyNFSeAbrasf>(), "ConsultarNFSePorRPS_ViaProxy");
    Registrar(std::make_unique<TmvlCancelarNota_ProxyNFSeAbrasf>(), "CancelarNota_ViaProxy");
}

// ---- GerarXMLPorTX2

void TmvlGerarXMLPorTX2_Abrasf::RegisterParams()
{
    Parametros().Add("ArquivoTX2");
}

void TmvlGerarXMLPorTX2_Abrasf::PrepararDatasetParaGeracaoDeXml(TmvlNFSeAbrasf&, TmvlNFSeDataSet& dataSet)
{
    // The TX2 batch has one key for the taker's document; the schema has a Cpf and a Cnpj.
    // An 11-digit document is a person's: it goes to Cpf, or the lot would not validate.
    TMvlXSDClientDataSet* rps = dataSet.Tree().FindDataSet("Rps");
    if (rps == nullptr) {
        return;
    }
    std::vector<std::pair<ImvlXSDField*, ImvlXSDField*>> pairs; // Cnpj field, Cpf field
    for (const auto& field : rps->Fields()) {
        if (field->XPath().empty() || !field->XPath().front().ends_with("/CpfCnpj/Cnpj")) {
            continue;
        }
        const std::string cpfPath = field->XPath().front().substr(0, field->XPath().front().size() - 4) + "Cpf";
        if (ImvlXSDField* cpf = rps->FindFieldByXPath(cpfPath)) {
            pairs.emplace_back(field.get(), cpf);
        }
    }
    const auto moveCpf = [&] {
        for (rps->First(); !rps->Eof(); rps->Next()) {
            for (const auto& [cnpj, cpf] : pairs) {
                const std::string value = cnpj->AsString();
                if (value.size() == 11 && platform::DigitsOnly(value) == value && cpf->AsString().empty()) {
                    rps->Edit();
                    cpf->SetAsString(value);
                    cnpj->SetAsString({});
                    rps->Post();
                }
            }
        }
    };
    // The RPS records are seen through their list's current record.
    if (TMvlXSDClientDataSet* master = rps->MasterDataSet()) {
        for (master->First(); !master->Eof(); master->Next()) {
            moveCpf();
        }
    } else {
        moveCpf();
    }
}

std::string TmvlGerarXMLPorTX2_Abrasf::GenerateXml(TmvlNFSeAbrasf& engine, const std::string& arquivoTx2)
{
    if (!platform::FileExists(arquivoTx2)) {
        throw EmvlNFSeCheckParams(platform::Format("Arquivo TX2 não foi encontrado no caminho \"%s\"", arquivoTx2));
    }
    std::string xml;
    {
        TmvlNFSeDataSet dataSet;
        dataSet.SetConfigSection(ConfigSection());
        dataSet.SetMappingFileName(MappingFileOf(engine));
        dataSet.Prepare();
        dataSet.LoadTx2File(arquivoTx2);
        PrepararDatasetParaGeracaoDeXml(engine, dataSet);
        xml = dataSet.GetXml();
    }
    const std::string& delimiter = engine.ConfiguracoesImpressao().LineDelimiter;
    if (!delimiter.empty()) {
        xml = platform::ReplaceIgnoringCase(xml, delimiter, engine.ExecutarComando("RetornaStringQuebraDeLinha"));
    }
    return xml;
}

void TmvlGerarXMLPorTX2_Abrasf::Executar(TmvlNFSeAbrasf& engine)
{
    const std::string file = platform::NativePath(Parametros().Value("ArquivoTX2", true));
    SetResponse(GenerateXml(engine, file));
}

// ---- CorrigirXml

void TmvlCorrigeXmlAbrasf::Executar(TmvlNFSeAbrasf&)
{
    SetResponse(Parametros().Value("XML", true));
}

// ---- AssinarXML

void TmvlAssinarXMLAbrasf::RegisterParams()
{
    TmvlXMLItem::RegisterParams();
    Parametros().Add("NumeroLote");
}

void TmvlAssinarXMLAbrasf::Executar(TmvlNFSeAbrasf& engine)
{
    const std::string numeroLote = Parametros().Value("NumeroLote");
    const std::string xml = Normalize(engine, Parametros().Value("XML"));
    const std::string corrected = RunOperation(engine, "CorrigirXml", {{"XML", xml}});
    const std::string listaRps = engine.AssinarXml(std::string_view(corrected));

    const TConfiguracoesWebService& ws = engine.ConfiguracoesWebService();
    const std::string loteTemplate = LoadTemplate(engine, "EnviarLoteRpsEnvio.xml");
    const std::string signatureId = "Ass_Lote_" + numeroLote;
    std::string fragment;
    if (ws.GerarAssinaturaXml) {
        fragment = engine::SignatureSkeleton(engine.CarregarModelo(engine::kSignatureTemplate), signatureId,
                                             ws.UsarIdLoteRps ? "#L1" : "");
    }
    const std::string quantidade = std::to_string(engine.QuantidadeRPS());
    std::string lote = ws.UsarIdLoteRps
        ? FillTemplate(
              loteTemplate,
              {ws.IdTag, numeroLote, engine.CNPJ(), engine.InscricaoMunicipal(), quantidade, listaRps, fragment})
        : FillTemplate(loteTemplate,
                       {numeroLote, engine.CNPJ(), engine.InscricaoMunicipal(), quantidade, listaRps, fragment});
    lote = ws.GerarAssinaturaXml ? engine.AssinarXml(lote, signatureId) : CompactXml(lote);
    ValidateLot(engine, lote);
    if (ws.EscaparXml) {
        lote = EscapeXml(lote);
    }
    SetResponse(FillTemplate(LoadTemplate(engine, "RecepcionarLoteRps.xml"), {lote}));
}

// ---- EnviarLoteRPS

std::string TmvlEnviarLoteRPSAbrasf::MontarXMLEnvio(TmvlNFSeAbrasf& engine)
{
    const std::string xml = Parametros().Value("XML");
    SetXmlEnvio(xml);
    return CompactarXml(MontarEnvelope(engine, TratarTexto(xml)));
}

std::string TmvlEnviarLoteRPSAbrasf::ObterIdentificadorEnvio(std::string_view xml) const
{
    return Text(ExtractEmbeddedXml(xml), R"(//*[local-name()="NumeroLote"])");
}

std::string TmvlEnviarLoteRPSAbrasf::TratarResposta(TmvlNFSeAbrasf& engine, std::string_view answer)
{
    const std::string document = ReplaceAll(ExtractEmbeddedXml(answer), "&#xD;", "");
    const std::string protocolo(platform::Trim(Text(document, R"(//*[local-name()="Protocolo"])")));
    if (!protocolo.empty() && protocolo != "0") {
        // The city has accepted the lot: its protocol must reach the caller whatever happens to
        // the pointer files, or the lot would be sent again and issued twice. A failure here is
        // recorded in the error log and costs only the RPS part of the prints.
        try {
            WritePointerFiles(engine, XmlEnvio());
        } catch (const std::exception& error) {
            const EmvlNFSeException recorded(std::string("Lote aceito (protocolo ") + protocolo +
                                             "), mas os arquivos-ponteiros não foram gravados: " + error.what());
            (void)recorded;
        }
    }
    return std::string(answer);
}

void TmvlEnviarLoteRPSAbrasf::WritePointerFiles(TmvlNFSeAbrasf& engine, std::string_view request)
{
    TmvlXPath doc;
    doc.LoadXML(SentDocument(request));
    doc.SelectNodes(SentRpsXPath());
    const std::vector<engine::XmlNode> rpsList = doc.CurrentNodeList();
    std::vector<std::string> keys;
    for (const engine::XmlNode& rps : rpsList) {
        const std::string issuer = engine::IssuerDocument(rps, "Prestador");
        if (issuer.empty()) {
            throw EmvlNFSeException("Erro ao processar o retorno do envio: não foi possível encontrar o CNPJ do "
                                    "Prestador no XML de envio");
        }
        const engine::XmlNode identification = engine::FirstDescendant(rps, "IdentificacaoRps");
        std::string parts[3];
        const char* names[3] = {"Numero", "Serie", "Tipo"};
        for (int i = 0; i < 3; ++i) {
            engine::XmlNode node;
            for (const engine::XmlNode& child :
                 identification ? identification.Children() : std::vector<engine::XmlNode>()) {
                if (!node && child.LocalName() == names[i]) {
                    node = child;
                }
            }
            if (!node) {
                throw EmvlNFSeException(platform::Format(
                    "Erro ao gerar arquivos-ponteiros: não foi possível encontrar valor chave \"%s\"", names[i]));
            }
            parts[i] = node.Text();
        }
        keys.push_back(engine::PointerFileName(issuer, parts[0], parts[1], parts[2]));
    }
    const std::string folder = ResolvePath(engine.DiretorioXmlImpressao(), engine.BaseFolder());
    for (const std::string& key : keys) {
        engine::WritePointerFile(folder, key, LogEnvio());
    }
}

// ---- the consultations and the cancellation

void TmvlConsultarSituacaoLoteRpsAbrasf::RegisterParams()
{
    Parametros().Add("Protocolo");
}

std::string TmvlConsultarSituacaoLoteRpsAbrasf::MontarXMLEnvio(TmvlNFSeAbrasf& engine)
{
    return AsNFSeError([&] {
        const std::string protocolo = Parametros().Value("Protocolo", true);
        const std::string xml =
            FillTemplate(LoadTemplate(engine, NomeModelo()),
                         {CnpjOrCpfForCity(engine.Cidade(), engine.CNPJ()), engine.InscricaoMunicipal(), protocolo});
        SetXmlEnvio(xml);
        return CompactarXml(MontarEnvelope(engine, TratarTexto(xml)));
    });
}

std::string TmvlConsultarSituacaoLoteRpsAbrasf::ObterIdentificadorEnvio(std::string_view xml) const
{
    return Text(ExtractEmbeddedXml(xml), R"(//*[local-name()="Protocolo"])");
}

void TmvlConsultarNFSePorRpsAbrasf::RegisterParams()
{
    Parametros().Add("NumeroRPS");
    Parametros().Add("SerieRPS");
    Parametros().Add("TipoRPS");
}

std::string TmvlConsultarNFSePorRpsAbrasf::MontarXMLEnvio(TmvlNFSeAbrasf& engine)
{
    return AsNFSeError([&] {
        const std::string xml = FillTemplate(
            LoadTemplate(engine, NomeModelo()),
            {Parametros().Value("NumeroRPS"), Parametros().Value("SerieRPS"), Parametros().Value("TipoRPS"),
             CnpjOrCpfForCity(engine.Cidade(), engine.CNPJ()), engine.InscricaoMunicipal()});
        SetXmlEnvio(xml);
        return CompactarXml(MontarEnvelope(engine, TratarTexto(xml)));
    });
}

std::string TmvlConsultarNFSePorRpsAbrasf::ObterIdentificadorEnvio(std::string_view xml) const
{
    const std::string document = ExtractEmbeddedXml(xml);
    const std::string numero = Text(document, R"((//*[local-name()="Numero"])[1])");
    if (numero.empty()) {
        return {};
    }
    return platform::Format("%s-%s-%s", numero, Text(document, R"((//*[local-name()="Serie"])[1])"),
                            Text(document, R"((//*[local-name()="Tipo"])[1])"));
}

void TmvlConsultarNFSeAbrasf::RegisterParams()
{
    for (const char* name : {"NumeroNFSe", "DataInicial", "DataFinal", "TomadorCPFCNPJ", "TomadorIM",
                             "IntermediarioRazaoSocial", "IntermediarioCPFCNPJ", "IntermediarioIM"}) {
        Parametros().Add(name);
    }
}

std::string TmvlConsultarNFSeAbrasf::MontarXMLEnvio(TmvlNFSeAbrasf& engine)
{
    return AsNFSeError([&] {
        const auto value = [&](const char* name) { return Parametros().Value(name); };
        std::string numero;
        std::string periodo;
        std::string tomador;
        std::string intermediario;
        if (!value("NumeroNFSe").empty()) {
            numero = FillTemplate(LoadTemplate(engine, "NumeroNfse.xml"), {value("NumeroNFSe")});
        }
        if (!value("DataInicial").empty() && !value("DataFinal").empty()) {
            periodo =
                FillTemplate(LoadTemplate(engine, "PeriodoEmissao.xml"), {value("DataInicial"), value("DataFinal")});
        }
        if (!value("TomadorCPFCNPJ").empty()) {
            tomador = FillTemplate(LoadTemplate(engine, "Tomador.xml"), {value("TomadorCPFCNPJ"), value("TomadorIM")});
            tomador = platform::ReplaceIgnoringCase(tomador, "<InscricaoMunicipal></InscricaoMunicipal>", "");
        }
        if (!value("IntermediarioCPFCNPJ").empty()) {
            intermediario = FillTemplate(
                LoadTemplate(engine, "IntermediarioServico.xml"),
                {value("IntermediarioRazaoSocial"), value("IntermediarioCPFCNPJ"), value("IntermediarioIM")});
        }
        const std::string xml = FillTemplate(LoadTemplate(engine, NomeModelo()),
                                             {CnpjOrCpfForCity(engine.Cidade(), engine.CNPJ()),
                                              engine.InscricaoMunicipal(), numero, periodo, tomador, intermediario});
        SetXmlEnvio(xml);
        return CompactarXml(MontarEnvelope(engine, TratarTexto(xml)));
    });
}

std::string TmvlConsultarNFSeAbrasf::ObterIdentificadorEnvio(std::string_view xml) const
{
    return Text(ExtractEmbeddedXml(xml), R"(//*[local-name()="NumeroNfse"])");
}

void TmvlCancelarNFSeAbrasf::RegisterParams()
{
    Parametros().Add("NumeroNFSe");
    Parametros().Add("CodigoMunicipioIBGE");
    Parametros().Add("CodigoCancelamento");
}

std::string TmvlCancelarNFSeAbrasf::MontarXMLEnvio(TmvlNFSeAbrasf& engine)
{
    return AsNFSeError([&] {
        const std::string numero = Parametros().Value("NumeroNFSe", true);
        std::string ibge = Parametros().Value("CodigoMunicipioIBGE");
        if (platform::Trim(ibge).empty()) {
            ibge = "0";
        }
        const std::string codigo = Parametros().Value("CodigoCancelamento");
        const std::string pedido = LoadTemplate(engine, "PedidoCancelamento.xml");
        const std::string signature = engine.CarregarModelo(engine::kSignatureTemplate);
        std::string xml;
        if (engine.ConfiguracoesWebService().UsarIdCancelamento) {
            const std::string fragment =
                engine::SignatureSkeleton(signature, "Assinatura_Cancelamento", "#Cancelamento_" + numero);
            xml = FillTemplate(
                pedido,
                {"Cancelamento_" + numero, numero, engine.CNPJ(), engine.InscricaoMunicipal(), ibge, codigo, fragment});
        } else {
            const std::string fragment = engine::SignatureSkeleton(signature, "Assinatura_Cancelamento", "");
            xml = FillTemplate(pedido, {numero, engine.CNPJ(), engine.InscricaoMunicipal(), ibge, codigo, fragment});
        }
        const std::string signedXml = engine.AssinarXml(CompactXml(xml), {});
        const std::string request = FillTemplate(LoadTemplate(engine, NomeModelo()), {signedXml});
        SetXmlEnvio(request);
        return CompactarXml(MontarEnvelope(engine, TratarTexto(request)));
    });
}

std::string TmvlCancelarNFSeAbrasf::ObterIdentificadorEnvio(std::string_view xml) const
{
    return Text(ExtractEmbeddedXml(xml), ComandoIdentificadorCancelamento());
}

// ---- GerarRegisterXml

std::string TmvlGerarRegisterXmlNFSeAbrasf::RegisterFromLot(TmvlNFSeAbrasf&, const std::string& xml)
{
    TmvlXPath doc;
    doc.LoadXML(StripNamespaces(xml));
    if (!doc.SelectNodes(RpsXPath())) {
        throw EmvlNFSeException("Não foi possível encontrar RPS na lista");
    }
    std::string result = platform::Format("%s<%s>", kDeclaration, kRegisterRoot);
    for (const engine::XmlNode& rps : doc.CurrentNodeList()) {
        result += platform::Format("<%s>%s</%s>", kRegisterRecord, rps.Xml(), kRegisterRecord);
    }
    result += platform::Format("</%s>", kRegisterRoot);
    return FormatXml(result);
}

std::string TmvlGerarRegisterXmlNFSeAbrasf::RegisterFromConsult(TmvlNFSeAbrasf& engine, const std::string& xml,
                                                                const std::string& rpsLogEnvio)
{
    std::string answer = ExtractEmbeddedXml(xml);
    if (!Exists(answer, NoteXPath())) {
        answer = platform::ReplaceIgnoringCase(answer, "<InfNfse id=", "<CompNfse><Nfse><InfNfse id=");
        answer = platform::ReplaceIgnoringCase(answer, "<InfNfse>", "<CompNfse><Nfse><InfNfse>");
        answer = platform::ReplaceIgnoringCase(answer, "</InfNfse>", "</InfNfse></Nfse></CompNfse>");
    }
    TmvlXPath doc;
    if (!doc.TryLoadXML(answer) || !doc.SelectNodes(NoteXPath())) {
        throw EmvlNFSeException("Não foi possível encontrar NFSe na consulta");
    }
    const std::vector<engine::XmlNode> notes = doc.CurrentNodeList();
    const std::string pointerFolder = ResolvePath(engine.DiretorioXmlImpressao(), engine.BaseFolder());
    std::string result = platform::Format("%s<%s>", kDeclaration, kRegisterRoot);
    int n = 0;
    for (const engine::XmlNode& note : notes) {
        ++n;
        result += platform::Format("<%s><Rps>", kRegisterRecord);
        const engine::XmlNode identification = engine::FirstDescendant(note, "IdentificacaoRps");
        const auto part = [&](const char* name) {
            const engine::XmlNode node = engine::FirstDescendant(identification, name);
            return node ? std::string(platform::Trim(node.Text())) : std::string();
        };
        const std::string issuer = engine::IssuerDocument(note, "IdentificacaoPrestador");
        const std::string numero = part("Numero");
        const std::string serie = part("Serie");
        const std::string tipo = part("Tipo");
        if (!issuer.empty() && !numero.empty() && !serie.empty() && !tipo.empty()) {
            std::string log = rpsLogEnvio;
            if (log.empty()) {
                const std::string logFile =
                    engine::ReadPointerFile(pointerFolder, engine::PointerFileName(issuer, numero, serie, tipo));
                if (!logFile.empty() && platform::FileExists(logFile)) {
                    log = engine::ReadTextFile(logFile);
                }
            }
            if (!log.empty()) {
                const std::string rps = engine::FindRpsInLog(log, issuer, numero, serie, tipo);
                if (rps.empty()) {
                    throw EmvlNFSeException("Não foi possível encontrar o RPS no arquivo de log");
                }
                result += RootOuterXml(StripNamespaces(rps));
            }
        }
        result += "</Rps><Nfse>";
        const engine::XmlNode infNfse = engine::FirstDescendant(note, "InfNfse");
        if (!infNfse) {
            throw EmvlNFSeException(platform::Format("Não foi possível encontrar a NFSe nº %d na consulta", n));
        }
        result += RootOuterXml(StripNamespaces(note.Xml()));
        result += platform::Format("</Nfse></%s>", kRegisterRecord);
    }
    result += platform::Format("</%s>", kRegisterRoot);
    return FormatXml(result);
}

// ---- local helpers

void TmvlRetornaChaveAbrasf::RegisterParams()
{
    Parametros().Add("NumeroNFSe");
}

void TmvlRetornaChaveAbrasf::Executar(TmvlNFSeAbrasf&)
{
    SetResponse(Parametros().Value("NumeroNFSe", true));
}

void TmvlRetornaCampoComumAbrasf::RegisterParams()
{
    Parametros().Add("XML");
    Parametros().Add("CampoComum");
    Parametros().Add("Indice", "1");
}

std::string TmvlRetornaCampoComumAbrasf::FieldXPath(TmvlCampoComum campo) const
{
    const auto rps = [](const char* name) {
        return platform::Format(
            R"(//*[local-name()="Rps" or local-name()="CompNfse" or local-name()="ConsultarNfseRpsEnvio"][%%d]//*[local-name()="IdentificacaoRps"]/*[local-name()="%s"])",
            name);
    };
    switch (campo) {
    case TmvlCampoComum::cacNumeroRps:
        return rps("Numero");
    case TmvlCampoComum::cacSerieRps:
        return rps("Serie");
    case TmvlCampoComum::cacTipoRps:
        return rps("Tipo");
    case TmvlCampoComum::cacNumeroNFSe:
        return R"(//*[local-name()="CompNfse"][%d]//*[local-name()="InfNfse"]/*[local-name()="Numero"])"
               R"(|//*[local-name()="CancelarNfseEnvio"]//*[local-name()="Numero"])"
               R"(|//*[local-name()="ConsultarNfseEnvio"]//*[local-name()="NumeroNfse"])";
    case TmvlCampoComum::cacCpfCnpjPrestador:
        return R"(//*[local-name()="Rps" or local-name()="CompNfse"][%d]//*[local-name()="Prestador" or local-name()="IdentificacaoPrestador"]/*[local-name()="Cnpj"])"
               R"(|//*[local-name()="ConsultarSituacaoLoteRpsEnvio" or local-name()="ConsultarNfseRpsEnvio" or local-name()="ConsultarNfseEnvio" or local-name()="ConsultarLoteRpsEnvio"]//*[local-name()="Cnpj"])";
    case TmvlCampoComum::cacCpfCnpjTomador:
        return R"(//*[local-name()="Rps" or local-name()="CompNfse"][%d]//*[local-name()="IdentificacaoTomador" or local-name()="Tomador"]//*[local-name()="Cpf" or local-name()="Cnpj"])";
    case TmvlCampoComum::cacNomeTomador:
        return R"(//*[local-name()="Rps" or local-name()="CompNfse"][%d]//*[local-name()="Tomador" or local-name()="TomadorServico"]/*[local-name()="RazaoSocial"])";
    case TmvlCampoComum::cacQuantidadeRps:
        return R"(//*[local-name()="QuantidadeRps"])";
    case TmvlCampoComum::cacDataAutorizacao:
        return R"(//*[local-name()="CompNfse"][%d]//*[local-name()="DataEmissao"])";
    }
    return {};
}

void TmvlRetornaCampoComumAbrasf::Executar(TmvlNFSeAbrasf&)
{
    constexpr int kHighest = static_cast<int>(TmvlCampoComum::cacDataAutorizacao);
    try {
        std::string xml = ExtractEmbeddedXml(ExtractSoapBody(Parametros().Value("XML", true)));
        xml = ReplaceAll(xml, "<br>", "\n");
        const std::string campoText(platform::Trim(Parametros().Value("CampoComum", true)));
        int campo = -1;
        const auto [end, error] = std::from_chars(campoText.data(), campoText.data() + campoText.size(), campo);
        if (error != std::errc() || end != campoText.data() + campoText.size() || campo < 0 || campo > kHighest) {
            throw EmvlNFSeCheckParams(
                platform::Format("Valor inválido para o parâmetro CampoComum (use um valor entre 0 e %d)", kHighest));
        }
        std::string xpath = FieldXPath(static_cast<TmvlCampoComum>(campo));
        const std::string indice = Parametros().Value("Indice", true, "1");
        for (int i = 0; i < 3; ++i) {
            const size_t at = xpath.find("%d");
            if (at == std::string::npos) {
                break;
            }
            xpath.replace(at, 2, indice);
        }
        TmvlXPath doc;
        doc.LoadXML(xml);
        doc.SelectNodes(xpath);
        const auto& nodes = doc.CurrentNodeList();
        if (nodes.size() > 1) {
            throw EmvlNFSeException(
                "Erro na seleção do campo comum: encontrado mais de um campo para o comando de seleção.\rComando: " +
                xpath);
        }
        SetResponse(nodes.empty() ? std::string("<NULL>") : nodes.front().Text());
    } catch (const EmvlException&) {
        throw;
    } catch (const std::exception& error) {
        throw EmvlNFSeException(error.what());
    }
}

void TmvlRetornaStringQuebraDeLinhaAbrasf::Executar(TmvlNFSeAbrasf& engine)
{
    const std::string& text = engine.ConfiguracoesWebService().StringQuebraDeLinha;
    SetResponse(text.empty() ? std::string(" ") : text);
}

void TmvlExtractEscapedContentAbrasf::Executar(TmvlNFSeAbrasf&)
{
    SetResponse(ExtractEmbeddedXml(Parametros().Value("XML", true)));
}

// ---- the proxy operations

void TmvlGerarXMLPorTX2_ProxyNFSeAbrasf::RegisterParams()
{
    TmvlGerarXMLPorTX2_Abrasf::RegisterParams();
    Parametros().Add("Extras");
}

std::string TmvlGerarXMLPorTX2_ProxyNFSeAbrasf::Delimit(const std::string& xml, const std::string& delimiter) const
{
    TmvlXPath doc;
    doc.LoadXML(xml);
    if (!doc.SelectNode(RpsElementXPath())) {
        return xml;
    }
    const engine::XmlNode rps = doc.CurrentNode();
    const std::string rpsName = rps.Name();
    const std::string listName = rps.Parent() ? rps.Parent().Name() : std::string();
    // Only whole tags: "<Rps" also begins "<RpsSubstituido", which must stay untouched.
    const auto isTagEnd = [&](size_t at) {
        return at >= xml.size() || xml[at] == '>' || xml[at] == '/' || xml[at] == ' ' || xml[at] == '\t' ||
            xml[at] == '\r' || xml[at] == '\n';
    };
    std::string result;
    const std::string open = "<" + rpsName;
    const std::string close = "</" + listName;
    bool listClosed = listName.empty();
    for (size_t at = 0; at < xml.size();) {
        if (xml.compare(at, open.size(), open) == 0 && isTagEnd(at + open.size())) {
            result += delimiter + open;
            at += open.size();
        } else if (!listClosed && xml.compare(at, close.size(), close) == 0 && isTagEnd(at + close.size())) {
            result += delimiter + close;
            at += close.size();
            listClosed = true;
        } else {
            result += xml[at++];
        }
    }
    return result;
}

void TmvlGerarXMLPorTX2_ProxyNFSeAbrasf::Executar(TmvlNFSeAbrasf& engine)
{
    const std::string file = platform::NativePath(Parametros().Value("ArquivoTX2", true));
    std::string xml = GenerateXml(engine, file);
    const std::string delimiter = ReadExtra(Parametros().Value("Extras"), "Delimitador");
    if (!delimiter.empty()) {
        xml = Delimit(xml, delimiter);
    }
    SetResponse(ReplaceAll(xml, "&amp;amp;", "&amp;"));
}

void TmvlAssinar_ProxyNFSeAbrasf::RegisterParams()
{
    TmvlXMLItem::RegisterParams();
    Parametros().Add("Extras");
}

void TmvlAssinar_ProxyNFSeAbrasf::Executar(TmvlNFSeAbrasf& engine)
{
    std::string xml = Parametros().Value("XML", true);
    xml = RunOperation(engine, "CorrigirXml", {{"XML", xml}});
    xml = Normalize(engine, CompactXml(xml));
    const TConfiguracoesWebService& ws = engine.ConfiguracoesWebService();
    const engine::XmlSigner signer(engine.SelectedCertificate());
    const engine::SigningSettings settings = engine.MakeSigningSettings();
    const auto signAll = [&](const char* elementName) {
        TmvlXPath doc;
        doc.LoadXML(xml);
        std::vector<std::string> ids;
        if (doc.SelectNodes(platform::Format(R"(//*[local-name()="%s"])", elementName))) {
            for (const engine::XmlNode& node : doc.CurrentNodeList()) {
                ids.push_back(node.Attribute(ws.IdTag));
            }
        }
        for (const std::string& id : ids) {
            xml = engine::SignByNode(xml, elementName, ws.IdTag, id, settings, signer);
        }
    };
    if (ws.GerarAssinaturaRps) {
        signAll("InfDeclaracaoPrestacaoServico");
    }
    if (ws.GerarAssinaturaXml) {
        signAll("LoteRps");
    }
    SetResponse(xml);
}

void TmvlEnviar_ProxyNFSeAbrasf::RegisterParams()
{
    Parametros().Add("XML");
    Parametros().Add("Extras");
}

std::pair<std::string, std::string> TmvlEnviar_ProxyNFSeAbrasf::SendLot(TmvlNFSeAbrasf& engine)
{
    std::string lote = Parametros().Value("XML");
    ValidateLot(engine, lote);
    if (engine.ConfiguracoesWebService().EscaparXml) {
        lote = EscapeXml(lote);
    }
    const std::string request = FillTemplate(LoadTemplate(engine, "RecepcionarLoteRps.xml"), {lote});
    const std::string answer = RunOperation(engine, "EnviarLoteRPS", {{"XML", request}});
    const TmvlSOAPItem* item = SoapItem(engine, "EnviarLoteRPS");
    return {answer, item ? item->LogResposta() : std::string()};
}

void TmvlEnviar_ProxyNFSeAbrasf::Executar(TmvlNFSeAbrasf& engine)
{
    const auto [answer, log] = SendLot(engine);
    const std::string document = ReplaceAll(ExtractEmbeddedXml(answer), "&#xD;", "");
    const std::string protocolo(platform::Trim(Text(document, R"(//*[local-name()="Protocolo"])")));
    SetResponse(!protocolo.empty() && protocolo != "0" ? protocolo : FailedSend(log));
}

void TmvlEnviarSincrono_ProxyNFSeAbrasf::Executar(TmvlNFSeAbrasf& engine)
{
    const auto [raw, log] = SendLot(engine);
    // A fault carries no MensagemRetorno, and an empty answer nothing at all: neither is a lot
    // the city took, and neither may count as sent.
    if (IsFault(raw) || platform::Trim(raw).empty()) {
        SetResponse(FailedSend(log));
        return;
    }
    const std::string answer = CleanAnswer(raw);
    const char* codigo = R"(//*[local-name()="MensagemRetorno"]/*[local-name()="Codigo"])";
    if (Exists(answer, codigo) || !XmlIsWellFormed(answer)) {
        SetResponse(FailedSend(log));
        return;
    }
    if (!platform::EqualsIgnoreCase(ReadExtra(Parametros().Value("Extras"), "Cabecalho"), "true")) {
        SetResponse(answer);
        return;
    }
    const std::string xml = RootOuterXml(WithLineDelimiter(engine, answer));
    const char* tipo = Exists(xml, R"(//*[local-name()="Nfse"]/*[local-name()="InfNfse"]/*[local-name()="Numero"])")
        ? "LoteNotas"
        : Exists(xml, codigo) ? "ListaErros"
                              : "undefined";
    SetResponse(platform::Format("<EnviarLoteSincrono><Header><TipoRetorno>%s</TipoRetorno></Header>"
                                 "<EnvioLoteSincrono>%s</EnvioLoteSincrono></EnviarLoteSincrono>",
                                 tipo, xml));
}

std::string TmvlConsultaBase_ProxyNFSeAbrasf::ExtrasProtocol() const
{
    return Parametros().Exists("Extras") ? ReadExtra(Parametros().Value("Extras"), "Protocolo") : std::string();
}

std::string TmvlConsultaBase_ProxyNFSeAbrasf::ConsultThroughLot(TmvlNFSeAbrasf& engine, std::string_view protocolo,
                                                                std::string_view xpath, std::string_view templateName,
                                                                bool extract)
{
    const std::string extras = Parametros().Exists("Extras") ? Parametros().Value("Extras") : std::string();
    std::string answer =
        ExtractSoapBody(RunOperation(engine, "ConsultarLote_ViaProxy", {{"Protocolo", protocolo}, {"Extras", extras}}));
    if (extract) {
        answer = ExtractEmbeddedXml(answer);
    }
    answer = RootOuterXml(answer);
    TmvlXPath doc;
    doc.LoadXML(answer);
    const std::string node = doc.SelectNode(xpath) ? doc.CurrentNode().Xml() : std::string();
    return FillTemplate(LoadTemplate(engine, templateName), {extract ? EscapeXml(node) : node});
}

void TmvlConsultarLote_ProxyNFSeAbrasf::RegisterParams()
{
    Parametros().Add("Protocolo");
    Parametros().Add("Extras");
}

std::string TmvlConsultarLote_ProxyNFSeAbrasf::LotSituation(TmvlNFSeAbrasf& engine, std::string_view protocolo)
{
    const std::string answer = RunOperation(engine, "ConsultarSituacaoLoteRPS", {{"Protocolo", protocolo}});
    return Text(CleanAnswer(answer),
                R"(//*[local-name()="ConsultarSituacaoLoteRpsResposta"]/*[local-name()="Situacao"])");
}

void TmvlConsultarLote_ProxyNFSeAbrasf::Executar(TmvlNFSeAbrasf& engine)
{
    std::string answer = RunOperation(engine, "ConsultarLoteRPS", {{"Protocolo", Parametros().Value("Protocolo")}});
    if (!IsFault(answer)) {
        // A note that holds "&lt;" or "&#231;" must come back as the city wrote it: only an "&"
        // that begins no entity is escaped.
        answer = ReplaceAll(EscapeBareAmpersands(CleanAnswer(answer)), "&amp;amp;", "&amp;");
    }
    if (!platform::EqualsIgnoreCase(ReadExtra(Parametros().Value("Extras"), "Cabecalho"), "true")) {
        SetResponse(answer);
        return;
    }
    const std::string xml = RootOuterXml(WithLineDelimiter(engine, answer));
    std::string canceladas;
    TmvlXPath doc;
    doc.LoadXML(xml);
    if (doc.SelectNodes(
            R"(//*[local-name()="NfseCancelamento"]//*[local-name()="IdentificacaoNfse"]/*[local-name()="Numero"])")) {
        for (const engine::XmlNode& numero : doc.CurrentNodeList()) {
            canceladas += platform::Format("<NumeroNfse>%s</NumeroNfse>", EscapeXml(numero.Text()));
        }
    }
    const bool notas = Exists(xml, R"(//*[local-name()="Nfse"]/*[local-name()="InfNfse"]/*[local-name()="Numero"])");
    const bool erros = Exists(xml, R"(//*[local-name()="MensagemRetorno"]/*[local-name()="Codigo"])");
    SetResponse(platform::Format("<ConsultarLote><Header><TipoRetorno>%s</TipoRetorno><SituacaoLote>%s</SituacaoLote>"
                                 "<NotasCanceladas>%s</NotasCanceladas></Header><ConsultaLote>%s</ConsultaLote>"
                                 "</ConsultarLote>",
                                 notas       ? "LoteNotas"
                                     : erros ? "ListaErros"
                                             : "undefined",
                                 notas       ? "4"
                                     : erros ? "3"
                                             : "1",
                                 canceladas, xml));
}

void TmvlConsultarNota_ProxyNFSeAbrasf::RegisterParams()
{
    Parametros().Add("NumeroNota");
    Parametros().Add("Extras");
}

void TmvlConsultarNota_ProxyNFSeAbrasf::Executar(TmvlNFSeAbrasf& engine)
{
    const std::string numero = Parametros().Value("NumeroNota", true);
    SetResponse(RunOperation(engine, "ConsultarNFSe",
                             {{"NumeroNFSe", numero},
                              {"DataInicial", ""},
                              {"DataFinal", ""},
                              {"TomadorCPFCNPJ", ""},
                              {"TomadorIM", ""},
                              {"IntermediarioRazaoSocial", ""},
                              {"IntermediarioCPFCNPJ", ""},
                              {"IntermediarioIM", ""}}));
}

void TmvlConsultarNFSePorRPS_ProxyNFSeAbrasf::RegisterParams()
{
    Parametros().Add("NumeroRPS");
    Parametros().Add("SerieRPS");
    Parametros().Add("TipoRPS");
    Parametros().Add("Extras");
}

void TmvlConsultarNFSePorRPS_ProxyNFSeAbrasf::Executar(TmvlNFSeAbrasf& engine)
{
    SetResponse(RunOperation(engine, "ConsultarNFSePorRPS",
                             {{"NumeroRPS", Parametros().Value("NumeroRPS")},
                              {"SerieRPS", Parametros().Value("SerieRPS")},
                              {"TipoRPS", Parametros().Value("TipoRPS")}}));
}

void TmvlCancelarNota_ProxyNFSeAbrasf::RegisterParams()
{
    Parametros().Add("ChaveNota");
    Parametros().Add("Extras");
}

std::string TmvlCancelarNota_ProxyNFSeAbrasf::ObterCodigoMunicipioIBGE(TmvlNFSeAbrasf&) const
{
    return {};
}

std::string TmvlCancelarNota_ProxyNFSeAbrasf::ObterCodigoCancelamento(TmvlNFSeAbrasf&) const
{
    const std::string codigo(platform::Trim(ReadExtra(Parametros().Value("Extras"), "CodigoCancelamento")));
    return codigo.empty() ? std::string("0") : codigo;
}

void TmvlCancelarNota_ProxyNFSeAbrasf::Executar(TmvlNFSeAbrasf& engine)
{
    const std::string chave = Parametros().Value("ChaveNota");
    const std::string numero = chave.substr(0, chave.find('_'));
    if (platform::Trim(numero).empty()) {
        throw EmvlNFSeCheckParams("Erro ao obter valor da chave do Cancelamento de NFSe");
    }
    const std::string answer = RunOperation(engine, "CancelarNFSe",
                                            {{"NumeroNFSe", numero},
                                             {"CodigoMunicipioIBGE", ObterCodigoMunicipioIBGE(engine)},
                                             {"CodigoCancelamento", ObterCodigoCancelamento(engine)}});
    if (!platform::EqualsIgnoreCase(ReadExtra(Parametros().Value("Extras"), "Cabecalho"), "true")) {
        SetResponse(answer);
        return;
    }
    const std::string xml = RootOuterXml(CleanAnswer(answer));
    const bool cancelada = Exists(xml, R"(//*[local-name()="InfPedidoCancelamento"])");
    const bool erro = Exists(xml, R"(//*[local-name()="MensagemRetorno"])");
    const std::string obs =
        erro && !cancelada ? Text(xml, R"(//*[local-name()="MensagemRetorno"]//*[local-name()="Mensagem"])") : "";
    SetResponse(platform::Format("<CancelarNota><Header><Cancelada>%s</Cancelada><Obs>%s</Obs></Header>"
                                 "<Cancelamento>%s</Cancelamento></CancelarNota>",
                                 cancelada  ? "true"
                                     : erro ? "false"
                                            : "undefined",
                                 EscapeXml(obs), xml));
}
