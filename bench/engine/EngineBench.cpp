#include "engine/mvlNFSe.h"
#include "engine/mvlNFSeXmlUtils.h"
#include "engine/mvlXPath.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// A lot consultation answer with n notes, in a SOAP envelope with prefixes on every level.
std::string Answer(int notes)
{
    std::string xml = R"(<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body>)"
                      R"(<ns2:ConsultarLoteRpsResposta xmlns:ns2="http://www.abrasf.org.br/nfse.xsd"><ns2:ListaNfse>)";
    for (int i = 1; i <= notes; ++i) {
        const std::string n = std::to_string(i);
        xml += "<ns2:CompNfse><ns2:Nfse><ns2:InfNfse Id=\"nfse" + n + "\"><ns2:Numero>" + n +
            "</ns2:Numero><ns2:CodigoVerificacao>ABC" + n +
            "</ns2:CodigoVerificacao><ns2:Servico><ns2:Discriminacao>Manutenção de equipamentos, mês " + n +
            "</ns2:Discriminacao></ns2:Servico></ns2:InfNfse></ns2:Nfse></ns2:CompNfse>";
    }
    return xml + "</ns2:ListaNfse></ns2:ConsultarLoteRpsResposta></soap:Body></soap:Envelope>";
}

// What a consult does with an answer: load it, then read each note by local name and
// write it out on its own.
void BM_ReadNotesOfAnAnswer(benchmark::State& state)
{
    const std::string xml = Answer(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TmvlXPath doc;
        doc.LoadXML(xml);
        doc.SelectNodes("//*[local-name()='CompNfse']");
        size_t bytes = 0;
        for (const engine::XmlNode& note : doc.CurrentNodeList()) {
            bytes += doc.SelectText("./*[local-name()='Nfse']/*[local-name()='InfNfse']/*[local-name()='Numero']", note)
                         .size();
            bytes += note.Xml().size();
        }
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(xml.size()));
}
BENCHMARK(BM_ReadNotesOfAnAnswer)->Arg(1)->Arg(500);

void BM_StripNamespaces(benchmark::State& state)
{
    const std::string xml = Answer(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(StripNamespaces(xml));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(xml.size()));
}
BENCHMARK(BM_StripNamespaces)->Arg(500);

// Every operation starts by resolving the city; the last alias of the table is the worst case.
void BM_CidadeByAlias(benchmark::State& state)
{
    TmvlNFSe engine;
    for (auto _ : state) {
        engine.SetCidade("VITORIADACONQUISTABA");
        benchmark::DoNotOptimize(engine.CodigoIBGECidade());
    }
}
BENCHMARK(BM_CidadeByAlias);

void BM_EngineCreation(benchmark::State& state)
{
    for (auto _ : state) {
        TmvlNFSe engine;
        benchmark::DoNotOptimize(engine.Locais().Lines().size());
    }
}
BENCHMARK(BM_EngineCreation);

} // namespace
