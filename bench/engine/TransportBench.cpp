// Round trips to the local city service: what the transport itself costs per request, so it
// can be weighed against a city's own response time (hundreds of milliseconds).

#include "engine/HttpTransport.h"
#include "tests/support/TestPki.h"
#include "tools/citysim/CitySim.h"

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>

namespace {

const std::string kRequest = "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>"
                             "<ConsultarLoteRpsEnvio xmlns=\"http://www.abrasf.org.br/nfse\"><Prestador><Cnpj>"
                             "12345678000195</Cnpj></Prestador><Protocolo>1000</Protocolo></ConsultarLoteRpsEnvio>"
                             "</soap:Body></soap:Envelope>";

struct Loopback
{
    std::string Folder;
    tests::TestPki Pki;
    std::unique_ptr<tools::CitySim> Http;
    std::unique_ptr<tools::CitySim> Https;

    Loopback()
    {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/notavia-bench-XXXXXX";
        Folder = ::mkdtemp(pattern.data()) ? pattern + "/" : std::string("/tmp/");
        Pki = tests::MakeTestPki(Folder);
        const tools::CityAnswer answer = tools::CityAnswer::Envelope(
            "<ConsultarLoteRpsResponse><ConsultarLoteRpsResult>&lt;ConsultarLoteRpsResposta&gt;&lt;ListaNfse/&gt;"
            "&lt;/ConsultarLoteRpsResposta&gt;</ConsultarLoteRpsResult></ConsultarLoteRpsResponse>");
        Http = std::make_unique<tools::CitySim>();
        Http->On("/nfse", "", answer);
        Http->Start();
        tools::CitySimOptions options;
        options.Https = true;
        options.CertificateFile = Pki.ServerCertFile;
        options.KeyFile = Pki.ServerKeyFile;
        options.ClientCaFile = Pki.CaCertFile;
        Https = std::make_unique<tools::CitySim>(options);
        Https->On("/nfse", "", answer);
        Https->Start();
    }
    ~Loopback()
    {
        Http->Stop();
        Https->Stop();
        std::error_code ignored;
        std::filesystem::remove_all(Folder, ignored);
    }

    void Configure(engine::HttpTransport& transport) const
    {
        transport.Settings().CertificateFile = Pki.ClientPfxFile;
        transport.Settings().CertificatePassword = Pki.ClientPassword;
        transport.Settings().CaBundle = Pki.CaCertFile;
    }
};

Loopback& Servers()
{
    static Loopback servers;
    return servers;
}

void Call(benchmark::State& state, engine::HttpTransport& transport, const std::string& address)
{
    const std::string answer = transport.SoapCall(address, kRequest, "http://www.abrasf.org.br/nfse/ConsultarLoteRps",
                                                  "ConsultarLoteRpsResult", "http://www.abrasf.org.br/nfse");
    if (answer.empty()) {
        state.SkipWithError("resposta vazia");
    }
}

void BM_SoapHttpReusedConnection(benchmark::State& state)
{
    Loopback& servers = Servers();
    engine::HttpTransport transport;
    const std::string address = servers.Http->BaseUrl() + "/nfse";
    for (auto _ : state) {
        Call(state, transport, address);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SoapHttpReusedConnection)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_SoapHttpsClientCertificateReusedConnection(benchmark::State& state)
{
    Loopback& servers = Servers();
    engine::HttpTransport transport;
    servers.Configure(transport);
    const std::string address = servers.Https->BaseUrl() + "/nfse";
    for (auto _ : state) {
        Call(state, transport, address);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SoapHttpsClientCertificateReusedConnection)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A transport per request: the full TLS handshake with the client certificate every time.
void BM_SoapHttpsClientCertificateNewConnection(benchmark::State& state)
{
    Loopback& servers = Servers();
    const std::string address = servers.Https->BaseUrl() + "/nfse";
    for (auto _ : state) {
        engine::HttpTransport transport;
        servers.Configure(transport);
        Call(state, transport, address);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SoapHttpsClientCertificateNewConnection)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
