#include "engine/mvlXSDDataset.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

const std::string kFixtures = NOTAVIA_XSD_FIXTURES;

// A lot as the desktop program writes it: the header, then one block per RPS.
std::string Lot(int rpsCount)
{
    std::string text = "formato=tx2\r\npadrao=MarvoliNFSe\r\nINCLUIR\r\nIdLote=L1\r\nNumeroLote=1\r\n"
                       "CpfCnpjRemetente=11222333000181\r\nQuantidadeRps=" +
        std::to_string(rpsCount) + "\r\nSALVAR\r\n";
    for (int i = 1; i <= rpsCount; ++i) {
        const std::string n = std::to_string(i);
        text += "INCLUIRRPS\r\nIdRps=R" + n + "\r\nNumeroRps=" + n +
            "\r\nSerieRps=NF\r\nTipoRps=1\r\nDataEmissao=2026-12-01T10:00:00\r\nValorServicos=1500.00\r\n"
            "AliquotaISS=2.00\r\nCodigoItemListaServico=14.01\r\n"
            "DiscriminacaoServico=Manutenção preventiva & corretiva <contrato 42>\r\nObservacao=\r\n"
            "CpfCnpjPrestador=11222333000181\r\nInscricaoMunicipalPrestador=12345\r\nNumeroRpsSubstituido=\r\n"
            "AssinaturaRps=\r\nINCLUIRITEM\r\nNumeroItem=1\r\nDescricaoItem=Peças\r\nSALVARITEM\r\n"
            "SALVARRPS\r\n";
    }
    return text;
}

void OpenTree(TmvlXSDDataset& tree)
{
    tree.SetConfigSection("ENVIAR");
    tree.SetMappingFileName(kFixtures + "Lote.txt");
}

// Walking the schemas into the dataset tree, once per batch.
void BM_GenerateTree(benchmark::State& state)
{
    TmvlXSDDataset tree;
    OpenTree(tree);
    for (auto _ : state) {
        tree.GenerateDataSets();
    }
}
BENCHMARK(BM_GenerateTree)->Unit(benchmark::kMicrosecond);

// TX2 text to XML on a tree built once and emptied between lots.
void BM_ConvertTx2ToXml(benchmark::State& state)
{
    const int rpsCount = static_cast<int>(state.range(0));
    const std::string lot = Lot(rpsCount);
    TmvlXSDDataset tree;
    OpenTree(tree);
    tree.GenerateDataSets();
    for (auto _ : state) {
        tree.EmptyDataSets();
        tree.LoadFromTx2Text(lot);
        benchmark::DoNotOptimize(tree.GetXml());
    }
    state.counters["RPS/s"] = benchmark::Counter(rpsCount, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ConvertTx2ToXml)->Arg(1)->Arg(500)->Unit(benchmark::kMillisecond);

// The writing half of the conversion alone.
void BM_WriteXml(benchmark::State& state)
{
    const int rpsCount = static_cast<int>(state.range(0));
    TmvlXSDDataset tree;
    OpenTree(tree);
    tree.LoadFromTx2Text(Lot(rpsCount));
    for (auto _ : state) {
        benchmark::DoNotOptimize(tree.GetXml());
    }
    state.counters["RPS/s"] = benchmark::Counter(rpsCount, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_WriteXml)->Arg(1)->Arg(500)->Unit(benchmark::kMillisecond);

} // namespace
