#include "engine/mvlNFSe.h"

#include "engine/mvlCollection.h"
#include "engine/mvlCollectionFactory.h"
#include "engine/mvlExceptions.h"
#include "engine/mvlMappingFile.h"
#include "engine/mvlNFSeXmlUtils.h"
#include "platform/Format.h"
#include "platform/TextRules.h"

namespace {

// Byte for byte, so positions found in the lowered text hold in the original.
std::string AsciiLower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to, bool ignoreCase = false)
{
    if (from.empty()) {
        return text;
    }
    std::string result;
    size_t start = 0;
    for (;;) {
        size_t pos = std::string::npos;
        if (ignoreCase) {
            pos = AsciiLower(text).find(AsciiLower(from), start);
        } else {
            pos = text.find(from, start);
        }
        if (pos == std::string::npos) {
            break;
        }
        result.append(text, start, pos - start);
        result += to;
        start = pos + from.size();
    }
    result.append(text, start, std::string::npos);
    return result;
}

} // namespace

TmvlNFSeAbrasf::TmvlNFSeAbrasf(std::string_view baseFolder)
    : TmvlCustomNFSe(baseFolder)
{ }

TmvlNFSeAbrasf::~TmvlNFSeAbrasf() = default;

void TmvlNFSeAbrasf::EscolherColecao()
{
    try {
        CarregarLocais();
        if (platform::Trim(Cidade()).empty()) {
            throw EmvlNFSeException("É necessário selecionar uma Cidade antes de executar uma operação.");
        }
        const std::string& name = ConfiguracoesWebService().CollectionName;
        if (!m_colecao || !platform::EqualsIgnoreCase(m_colecao->Name(), name)) {
            m_colecao.reset();
            m_colecao = TmvlCollectionFactory::Instance().Criar(name);
        }
        if (!m_colecao) {
            throw EmvlNFSeException("Não existe nenhuma coleção carregada");
        }
    } catch (const EmvlNFSeException& error) {
        if (std::string_view(error.ClassName()) == "EmvlNFSeException") {
            throw;
        }
        throw EmvlNFSeException(error.what());
    } catch (const std::exception& error) {
        throw EmvlNFSeException(error.what());
    }
}

TmvlCollectionItem& TmvlNFSeAbrasf::ObterComando(std::string_view name)
{
    EscolherColecao();
    return m_colecao->Item(name);
}

std::string TmvlNFSeAbrasf::ExecutarComando(std::string_view name)
{
    try {
        CheckSelectedCertificate();
        TmvlCollectionItem& item = ObterComando(name);
        item.ClearResponse();
        item.Executar(*this);
        return item.GetResponse();
    } catch (const EmvlException&) {
        throw;
    } catch (const std::exception& error) {
        throw UnknownError(error);
    }
}

std::string TmvlNFSeAbrasf::Executar(std::string_view name,
                                     std::initializer_list<std::pair<std::string_view, std::string_view>> values)
{
    for (const auto& [parameter, value] : values) {
        ObterComando(name).Parametros().SetValue(parameter, value);
    }
    return ExecutarComando(name);
}

std::string TmvlNFSeAbrasf::GerarXMLPorTX2(std::string_view arquivoTX2)
{
    return Executar("GerarXMLPorTX2", {{"ArquivoTX2", arquivoTX2}});
}

std::string TmvlNFSeAbrasf::AssinarXML(std::string_view xml, std::string_view numeroLote)
{
    TmvlCollectionItem& item = ObterComando("AssinarXML");
    item.Parametros().SetValue("XML", CompactXml(xml));
    if (item.Parametros().Exists("NumeroLote")) {
        item.Parametros().SetValue("NumeroLote", numeroLote);
    }
    return ExecutarComando("AssinarXML");
}

std::string TmvlNFSeAbrasf::EnviarLoteRPS(std::string_view xml)
{
    CheckClassicCity(Cidade());
    return Executar("EnviarLoteRPS", {{"XML", xml}});
}

std::string TmvlNFSeAbrasf::ConsultarSituacaoLoteRPS(std::string_view protocolo)
{
    CheckClassicCity(Cidade());
    return Executar("ConsultarSituacaoLoteRPS", {{"Protocolo", protocolo}});
}

std::string TmvlNFSeAbrasf::ConsultarLoteRPS(std::string_view protocolo)
{
    CheckClassicCity(Cidade());
    return Executar("ConsultarLoteRPS", {{"Protocolo", protocolo}});
}

std::string TmvlNFSeAbrasf::ConsultarNFSePorRPS(std::string_view numero, std::string_view serie, std::string_view tipo)
{
    CheckClassicCity(Cidade());
    return Executar("ConsultarNFSePorRPS", {{"NumeroRPS", numero}, {"SerieRPS", serie}, {"TipoRPS", tipo}});
}

std::string TmvlNFSeAbrasf::ConsultarNFSe(std::string_view numeroNfse, std::string_view dataInicial,
                                          std::string_view dataFinal, std::string_view tomadorCpfCnpj,
                                          std::string_view tomadorIm, std::string_view intermediarioRazaoSocial,
                                          std::string_view intermediarioCpfCnpj, std::string_view intermediarioIm)
{
    CheckClassicCity(Cidade());
    return Executar("ConsultarNFSe",
                    {{"NumeroNfse", numeroNfse},
                     {"DataInicial", dataInicial},
                     {"DataFinal", dataFinal},
                     {"TomadorCPFCNPJ", tomadorCpfCnpj},
                     {"TomadorIM", tomadorIm},
                     {"IntermediarioRazaoSocial", intermediarioRazaoSocial},
                     {"IntermediarioCPFCNPJ", intermediarioCpfCnpj},
                     {"IntermediarioIM", intermediarioIm}});
}

std::string TmvlNFSeAbrasf::CancelarNFSe(std::string_view numeroNfse, std::string_view codigoMunicipioIbge,
                                         std::string_view codigoCancelamento)
{
    CheckClassicCity(Cidade());
    return Executar("CancelarNFSe",
                    {{"NumeroNFSe", numeroNfse},
                     {"CodigoMunicipioIBGE", codigoMunicipioIbge},
                     {"CodigoCancelamento", codigoCancelamento}});
}

void TmvlNFSeAbrasf::ValidarXmlDoServico(std::string_view nomeServico, std::string_view xml)
{
    const std::string& collection = ConfiguracoesWebService().CollectionName;
    const std::string mappingFile =
        FindEngineFile(DiretorioTemplates(), DiretorioEsquemas(), Cidade(), TEngineFileKind::efkSchema,
                       MappingFileName(), collection, BaseFolder());
    TmvlMappingFile mapping;
    try {
        mapping.LoadFromFile(mappingFile);
    } catch (const std::exception&) {
        throw EmvlNFSeException(platform::Format("Erro ao carregar arquivo de Mapping: %s", mappingFile));
    }
    const std::string schema = mapping.SectionExists("ValidarXML") ? mapping.ReadString("ValidarXML", nomeServico)
                                                                   : mapping.ReadString("ENVIAR", "XSDFile");
    if (platform::Trim(schema).empty()) {
        // The mapping validates other services, not this one.
        return;
    }
    ValidarXmlComEsquema(xml,
                         FindEngineFile(DiretorioTemplates(), DiretorioEsquemas(), Cidade(), TEngineFileKind::efkSchema,
                                        schema, collection, BaseFolder()));
}

std::string TmvlNFSeAbrasf::DesescaparRetorno(std::string_view text)
{
    std::string result = ReplaceAll(std::string(text), "(&amp;lt;", "(");
    result = ReplaceAll(result, "&amp;gt;)", ")");
    result = ReplaceAll(result, "&lt;br&gt;", "\u00AC1\u00AC", true);
    result = ReplaceAll(result, "&lt;br /&gt;", "\u00AC2\u00AC", true);
    result = ReplaceAll(result, "&lt;/br&gt;", "\u00AC3\u00AC", true);
    result = ExtractEmbeddedXml(result);
    result = ReplaceAll(result, "\u00AC1\u00AC", "&lt;br&gt;");
    result = ReplaceAll(result, "\u00AC2\u00AC", "&lt;br /&gt;");
    return ReplaceAll(result, "\u00AC3\u00AC", "&lt;/br&gt;");
}
