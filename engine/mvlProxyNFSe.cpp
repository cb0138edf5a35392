#include "engine/mvlProxyNFSe.h"

#include "engine/mvlCollectionItem.h"
#include "engine/mvlExceptions.h"
#include "engine/mvlNFSe.h"
#include "platform/Format.h"

#include <charconv>

namespace {

bool IsFault(const std::string& answer)
{
    std::string lower(answer);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower.find("</faultstring>") != std::string::npos;
}

} // namespace

TmvlNFSeAbrasf& TmvlProxyNFSe::Engine() const
{
    if (!m_ComponenteNFSe) {
        throw EmvlNFSeProxyException("Componente NFSe não instanciado");
    }
    return *m_ComponenteNFSe;
}

std::string TmvlProxyNFSe::Run(std::string_view operation,
                               std::initializer_list<std::pair<std::string_view, std::string_view>> values)
{
    TmvlNFSeAbrasf& engine = Engine();
    for (const auto& [parameter, value] : values) {
        engine.ObterComando(operation).Parametros().SetValue(parameter, value);
    }
    return engine.ExecutarComando(operation);
}

std::string TmvlProxyNFSe::UnlessFault(const std::string& answer)
{
    return IsFault(answer) ? answer : TmvlNFSeAbrasf::DesescaparRetorno(answer);
}

std::string TmvlProxyNFSe::GerarXMLPorTX2(std::string_view arquivoTX2, std::string_view extras)
{
    return Run("GerarXMLPorTX2_ViaProxy", {{"ArquivoTX2", arquivoTX2}, {"Extras", extras}});
}

std::string TmvlProxyNFSe::AssinarXML(std::string_view xml, std::string_view extras)
{
    return Run("AssinarXML_ViaProxy", {{"XML", xml}, {"Extras", extras}});
}

std::string TmvlProxyNFSe::Enviar(std::string_view xml, std::string_view extras)
{
    return Run("Enviar_ViaProxy", {{"XML", xml}, {"Extras", extras}});
}

std::string TmvlProxyNFSe::EnviarSincrono(std::string_view xml, std::string_view extras)
{
    return Run("EnviarSincrono_ViaProxy", {{"XML", xml}, {"Extras", extras}});
}

std::string TmvlProxyNFSe::ConsultarLote(std::string_view protocolo, std::string_view extras)
{
    return UnlessFault(Run("ConsultarLote_ViaProxy", {{"Protocolo", protocolo}, {"Extras", extras}}));
}

std::string TmvlProxyNFSe::ConsultarNota(std::string_view numeroNota, std::string_view extras)
{
    Engine();
    if (numeroNota.empty()) {
        throw EmvlNFSeCheckParams(platform::Format("Parâmetro \"%s\" não possui valor", "aNumeroNota"));
    }
    const std::string answer = Run("ConsultarNota_ViaProxy", {{"NumeroNota", numeroNota}, {"Extras", extras}});
    if (IsFault(answer)) {
        return answer;
    }
    return Run("ExtractEscapedContent", {{"XML", answer}});
}

std::string TmvlProxyNFSe::ConsultarNFSePorRPS(std::string_view numeroRPS, std::string_view serieRPS,
                                               std::string_view tipoRPS, std::string_view extras)
{
    Engine();
    if (numeroRPS.empty()) {
        throw EmvlNFSeCheckParams(platform::Format("Parâmetro \"%s\" não possui valor", "aNumeroRPS"));
    }
    long long number = 0;
    const auto [end, error] = std::from_chars(numeroRPS.data(), numeroRPS.data() + numeroRPS.size(), number);
    // A leading "+" or blanks are no 64-bit integer either.
    if (error != std::errc() || end != numeroRPS.data() + numeroRPS.size()) {
        throw EmvlNFSeCheckParams(platform::Format("Parâmetro inválido: %s", "aNumeroRPS"));
    }
    if (numeroRPS.size() > 15) {
        throw EmvlNFSeCheckParams("Número do RPS não deve ter mais do que 15 caracteres");
    }
    return UnlessFault(
        Run("ConsultarNFSePorRPS_ViaProxy",
            {{"NumeroRPS", numeroRPS}, {"SerieRPS", serieRPS}, {"TipoRPS", tipoRPS}, {"Extras", extras}}));
}

std::string TmvlProxyNFSe::CancelarNota(std::string_view chaveNota, std::string_view extras)
{
    return UnlessFault(Run("CancelarNota_ViaProxy", {{"ChaveNota", chaveNota}, {"Extras", extras}}));
}
