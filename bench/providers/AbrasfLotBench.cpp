#include "engine/mvlNFSe.h"
#include "engine/mvlProxyNFSe.h"
#include "engine/mvlSchemaValidator.h"
#include "providers/CollectionTable.h"
#include "tests/support/TestCertificates.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

// A TX2 batch becoming a signed ABRASF 1.00 lot that validates, without the network: the
// conversion must not cost more than the signing it feeds.
namespace {

const std::string kSource = NOTAVIA_SOURCE_DIR;

std::string ReadAll(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteAll(const std::string& file, const std::string& text)
{
    std::ofstream(file, std::ios::binary) << text;
}

struct Setup
{
    std::string Root;
    std::unique_ptr<TmvlNFSe> Engine;
    std::unique_ptr<TmvlProxyNFSe> Proxy;
    std::map<int, std::string> Batches; // RPS count → TX2 file

    Setup()
    {
        std::string folder = (std::filesystem::temp_directory_path() / "notavia-bench-XXXXXX").string();
        if (!mkdtemp(folder.data())) {
            std::abort();
        }
        Root = folder + "/";
        std::filesystem::copy(kSource + "data/", Root, std::filesystem::copy_options::recursive);
        const tests::TestCertificate certificate = tests::MakeTestCertificate(Root, "bench");
        WriteAll(Root + "nfseConfig.ini",
                 "[NFSE]\nCIDADE=ARACAJU\nCNPJ=12345678000195\nInscricaoMunicipal=98765\n"
                 "DiretorioEsquemas=\\NFSe\\Engine\\Esquemas\\\n"
                 "DiretorioTemplates=\\NFSe\\Engine\\Templates\\\n"
                 "CaminhoCertificado=" +
                     certificate.PfxFile + "\nSenhaCertificado=" + certificate.Password + "\n");
        WriteAll(Root + "nfseLocais.ini", "[ARACAJU]\nCollectionName=ABRASF\nGerarAssinaturaRps=0\n");
        WriteAll(Root + "nfseServidoresHom.ini", "[ARACAJU]\nNFSe=http://127.0.0.1:9/nfse\n");
        providers::RegisterCollections();
        Engine = std::make_unique<TmvlNFSe>(Root);
        Engine->LoadConfig();
        Proxy = std::make_unique<TmvlProxyNFSe>(Engine.get());

        // The fixture's header and first RPS block, the block repeated with new numbers.
        const std::string fixture = ReadAll(kSource + "tests/data/providers/Abrasf/LoteDoisTomadores.tx2");
        const size_t first = fixture.find("INCLUIRRPS");
        const size_t second = fixture.find("INCLUIRRPS", first + 1);
        const std::string header = fixture.substr(0, first);
        const std::string block = fixture.substr(first, second - first);
        for (const int count : {1, 50, 500}) {
            std::string tx2 = header;
            for (int n = 1; n <= count; ++n) {
                std::string rps = block;
                for (const std::string key : {"IdRps=R", "NumeroRps="}) {
                    const size_t at = rps.find(key) + key.size();
                    rps.replace(at, rps.find('\r', at) - at, std::to_string(n));
                }
                tx2 += rps;
            }
            Batches[count] = Root + "Lote" + std::to_string(count) + ".tx2";
            WriteAll(Batches[count], tx2);
        }
    }
    ~Setup() { std::filesystem::remove_all(Root); }
};

Setup& Fixture()
{
    static Setup setup;
    return setup;
}

void Validate(benchmark::State& state, const std::string& lot)
{
    TmvlSchemaValidator validator;
    validator.SetSchemaFolder(kSource + "data/NFSe/Engine/Esquemas/ABRASF/");
    validator.AddSchema("http://www.abrasf.org.br/ABRASF/arquivos/nfse.xsd", "servico_enviar_lote_rps_envio.xsd");
    validator.LoadXML(lot);
    if (!validator.Validate()) {
        state.SkipWithError(validator.ErrorsAsText().c_str());
    }
}

void BM_Tx2ToLot(benchmark::State& state)
{
    Setup& setup = Fixture();
    const std::string& batch = setup.Batches.at(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(setup.Proxy->GerarXMLPorTX2(batch, ""));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SignLot(benchmark::State& state)
{
    Setup& setup = Fixture();
    const std::string lot = setup.Proxy->GerarXMLPorTX2(setup.Batches.at(static_cast<int>(state.range(0))), "");
    for (auto _ : state) {
        benchmark::DoNotOptimize(setup.Proxy->AssinarXML(lot, ""));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_Tx2ToSignedValidLot(benchmark::State& state)
{
    Setup& setup = Fixture();
    const std::string& batch = setup.Batches.at(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const std::string signedLot = setup.Proxy->AssinarXML(setup.Proxy->GerarXMLPorTX2(batch, ""), "");
        Validate(state, signedLot);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

} // namespace

BENCHMARK(BM_Tx2ToLot)->Arg(1)->Arg(50)->Arg(500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SignLot)->Arg(1)->Arg(50)->Arg(500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tx2ToSignedValidLot)->Arg(1)->Arg(50)->Arg(500)->Unit(benchmark::kMillisecond);
