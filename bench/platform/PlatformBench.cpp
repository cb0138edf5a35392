#include "platform/Cp1252.h"
#include "platform/FormatSettings.h"
#include "platform/IniFile.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// A TX2 batch of a few hundred RPS is some hundred kilobytes of accented text.
void BM_Cp1252RoundTrip(benchmark::State& state)
{
    std::string text;
    while (text.size() < static_cast<size_t>(state.range(0))) {
        text += "RazaoSocialTomador=Padaria São João Ltda — Serviços de manutenção\n";
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(platform::Cp1252ToUtf8(platform::Utf8ToCp1252(text)));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_Cp1252RoundTrip)->Arg(64)->Arg(256 << 10);

void BM_IniLookup(benchmark::State& state)
{
    std::string text;
    for (int s = 0; s < 200; ++s) {
        text += "[Cidade" + std::to_string(s) + "]\n";
        for (int k = 0; k < 10; ++k) {
            text += "Chave" + std::to_string(k) + "=valor\n";
        }
    }
    const platform::IniFile ini = platform::IniFile::FromText(text);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ini.ReadString("CIDADE199", "chave9", ""));
    }
}
BENCHMARK(BM_IniLookup);

void BM_FormatFloat(benchmark::State& state)
{
    const auto& settings = platform::BrazilianFormatSettings();
    for (auto _ : state) {
        benchmark::DoNotOptimize(platform::FormatFloat("#,##0.00", 1234567.891, settings));
    }
}
BENCHMARK(BM_FormatFloat);

} // namespace
