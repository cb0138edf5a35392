#include "platform/Format.h"
#include "tools/citysim/Abrasf100City.h"
#include "tools/citysim/CitySim.h"

#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

namespace {

std::atomic<bool> s_stop {false};

void OnSignal(int) noexcept
{
    s_stop = true;
}

int Usage()
{
    std::cerr << "uso: citysim [--host H] [--port N] [--https --cert CERT.pem --key KEY.pem [--client-ca CA.pem]]\n"
                 "               [--path /nfse] [--answer ARQUIVO.xml [--status N]] [--abrasf100 PASTA_ESQUEMAS]\n"
                 "Sem --answer, responde no dialeto ABRASF mínimo em --path (padrão /nfse); com --abrasf100,\n"
                 "como uma cidade ABRASF 1.00 que valida cada requisição nos esquemas da pasta e confere as\n"
                 "assinaturas.\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    tools::CitySimOptions options;
    std::string path = "/nfse";
    std::string answerFile;
    std::string abrasf100Schemas;
    int status = 200;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                throw std::invalid_argument("falta o valor de " + arg);
            }
            return argv[++i];
        };
        try {
            if (arg == "--host") {
                options.Host = next();
            } else if (arg == "--port") {
                options.Port = std::stoi(next());
            } else if (arg == "--https") {
                options.Https = true;
            } else if (arg == "--cert") {
                options.CertificateFile = next();
            } else if (arg == "--key") {
                options.KeyFile = next();
            } else if (arg == "--client-ca") {
                options.ClientCaFile = next();
            } else if (arg == "--path") {
                path = next();
            } else if (arg == "--answer") {
                answerFile = next();
            } else if (arg == "--abrasf100") {
                abrasf100Schemas = next();
            } else if (arg == "--status") {
                status = std::stoi(next());
            } else {
                return Usage();
            }
        } catch (const std::exception& error) {
            std::cerr << "citysim: " << error.what() << "\n";
            return Usage();
        }
    }

    try {
        // Declared before the server, which calls it until it stops.
        tools::Abrasf100City abrasf100(abrasf100Schemas);
        tools::CitySim sim(options);
        if (!abrasf100Schemas.empty()) {
            abrasf100.Install(sim, path);
        } else if (answerFile.empty()) {
            sim.UseAbrasfDialect(path);
        } else {
            std::ifstream in(answerFile, std::ios::binary);
            if (!in) {
                std::cerr << "citysim: não foi possível ler " << answerFile << "\n";
                return 1;
            }
            std::ostringstream text;
            text << in.rdbuf();
            tools::CityAnswer answer;
            answer.Status = status;
            answer.Body = text.str();
            sim.On(path, std::string(), answer);
        }
        sim.Start();
        std::cout << sim.BaseUrl() << path << std::endl;
        signal(SIGINT, OnSignal);
        signal(SIGTERM, OnSignal);
        size_t shown = 0;
        while (!s_stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const auto requests = sim.Requests();
            for (; shown < requests.size(); ++shown) {
                const auto& request = requests[shown];
                std::cout << platform::Format("%s %s SOAPAction=\"%s\" %d bytes%s", request.Method, request.Path,
                                              request.SoapAction, request.Body.size(),
                                              request.ClientSubject.empty() ? std::string()
                                                                            : " cliente=" + request.ClientSubject)
                          << std::endl;
            }
        }
        sim.Stop();
    } catch (const std::exception& error) {
        std::cerr << "citysim: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
