#include "engine/mvlSignerX.h"
#include "tests/support/TestCertificates.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

const tests::TestCertificate& Certificate()
{
    static const tests::TestCertificate made = [] {
        std::string folder = (std::filesystem::temp_directory_path() / "notavia-bench-XXXXXX").string();
        if (!mkdtemp(folder.data())) {
            std::abort();
        }
        return tests::MakeTestCertificate(folder + "/", "bench");
    }();
    return made;
}

std::string Rps(int n)
{
    return "<Rps><InfRps><IdentificacaoRps><Numero>" + std::to_string(n) +
        "</Numero><Serie>A</Serie><Tipo>1</Tipo></IdentificacaoRps><DataEmissao>2024-05-01T10:00:00</DataEmissao>"
        "<NaturezaOperacao>1</NaturezaOperacao><Servico><Valores><ValorServicos>1500.00</ValorServicos>"
        "<IssRetido>2</IssRetido><ValorIss>75.00</ValorIss><Aliquota>0.05</Aliquota></Valores>"
        "<ItemListaServico>1.07</ItemListaServico><Discriminacao>Suporte tecnico e manutencao de sistemas, "
        "referente ao mes de abril</Discriminacao><CodigoMunicipio>4106902</CodigoMunicipio></Servico>"
        "<Prestador><Cnpj>12345678000195</Cnpj><InscricaoMunicipal>1234567</InscricaoMunicipal></Prestador>"
        "<Tomador><IdentificacaoTomador><CpfCnpj><Cnpj>98765432000110</Cnpj></CpfCnpj></IdentificacaoTomador>"
        "<RazaoSocial>Cliente Exemplo Ltda</RazaoSocial><Endereco><Endereco>Rua das Flores</Endereco><Numero>100"
        "</Numero><Bairro>Centro</Bairro><CodigoMunicipio>4106902</CodigoMunicipio><Uf>PR</Uf><Cep>80000000</Cep>"
        "</Endereco></Tomador></InfRps></Rps>";
}

std::string Lot(int count)
{
    std::string lot = "<EnviarLoteRpsEnvio xmlns=\"http://www.abrasf.org.br/nfse.xsd\" "
                      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><LoteRps><NumeroLote>1</NumeroLote>"
                      "<Cnpj>12345678000195</Cnpj><InscricaoMunicipal>1234567</InscricaoMunicipal><QuantidadeRps>" +
        std::to_string(count) + "</QuantidadeRps><ListaRps>";
    for (int n = 1; n <= count; ++n) {
        lot += Rps(n);
    }
    return lot + "</ListaRps></LoteRps></EnviarLoteRpsEnvio>";
}

TmvlSignerX& Signer()
{
    static TmvlSignerX signer;
    static const bool configured = [] {
        signer.SetCaminhoCertificado(Certificate().PfxFile);
        signer.SetSenhaCertificado(Certificate().Password);
        signer.SetSecondOption(3);
        return true;
    }();
    (void)configured;
    return signer;
}

// One RPS document, one signature: the rate a desktop sending notes one by one sees.
void BM_SignSingleRps(benchmark::State& state)
{
    TmvlSignerX& signer = Signer();
    const std::string document =
        "<GerarNfseEnvio xmlns=\"http://www.abrasf.org.br/nfse.xsd\">" + Rps(1) + "</GerarNfseEnvio>";
    engine::SigningSettings settings;
    settings.GerarAssinaturaXml = false;
    for (auto _ : state) {
        benchmark::DoNotOptimize(engine::SignDocumentWithSignerX(document, settings, signer));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SignSingleRps)->Unit(benchmark::kMicrosecond);

// A whole lot: every RPS and the lot itself. Time per lot must grow linearly with its size.
void BM_SignLot(benchmark::State& state)
{
    TmvlSignerX& signer = Signer();
    const std::string document = Lot(static_cast<int>(state.range(0)));
    engine::SigningSettings settings;
    for (auto _ : state) {
        benchmark::DoNotOptimize(engine::SignDocumentWithSignerX(document, settings, signer));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SignLot)->Arg(50)->Arg(500)->Unit(benchmark::kMillisecond);

} // namespace
