#include "engine/CityLookup.h"

#include "platform/Cp1252.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"

#include <fstream>
#include <sstream>

namespace engine {
namespace {

std::vector<std::string> ReadLines(const std::string& fileName)
{
    std::ifstream in(platform::FindFileIgnoringCase(fileName), std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    std::string text = buffer.str();
    if (!platform::IsValidUtf8(text)) {
        text = platform::Cp1252ToUtf8Lossy(text);
    }
    std::vector<std::string> lines;
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

} // namespace

const std::vector<TCidadeEngine>& CidadesEngine()
{
    static const std::vector<TCidadeEngine> kCities {
        {"São Paulo", "SP", "SAOPAULO", "", "3550308", 3},
        {"Belo Horizonte", "MG", "BELOHORIZONTE", "", "3106200", 1},
        {"São Bernardo do Campo", "SP", "SAOBERNARDODOCAMPO", "", "3548708", 1},
        {"Botucatu", "SP", "BOTUCATU", "", "3507506", 5},
        {"Americana", "SP", "AMERICANA", "", "3501608", 3},
        {"Santo André", "SP", "SANTOANDRE", "", "3547809", 1},
        {"Imperatriz", "MA", "IMPERATRIZ", "", "2105302", 1},
        {"Rio de Janeiro", "RJ", "RIODEJANEIRO", "", "3304557", 1},
        {"Piracicaba", "SP", "PIRACICABA", "", "3538709", 1},
        {"Sorocaba", "SP", "SOROCABA", "", "3552205", 2},
    };
    return kCities;
}

TCidadeEngine LocalizarCidade(std::string_view nome, std::string_view uf, std::string_view programFolder)
{
    const std::string folder = programFolder.empty()
        ? platform::ProgramFolder()
        : platform::IncludeTrailingSeparator(platform::NativePath(programFolder));
    const std::string key = platform::CityKey(nome);
    const TCidadeEngine* candidate = nullptr;
    for (const TCidadeEngine& row : CidadesEngine()) {
        if (row.UF == uf && row.Chave == key) {
            candidate = &row;
            break;
        }
    }
    if (candidate == nullptr) {
        return {};
    }
    TCidadeEngine result;
    for (const std::string& line : ReadLines(folder + "nfseLocais.ini")) {
        if (line.find(candidate->CodigoIBGE) != std::string::npos) {
            result = *candidate;
            result.CidadeEngine = line.substr(0, line.find('='));
            break;
        }
    }
    if (result.CidadeEngine.empty()) {
        return {};
    }
    const std::string header = "[" + platform::UpperCp1252(result.CidadeEngine) + "]";
    for (const std::string& line : ReadLines(folder + "nfseServidoresHom.ini")) {
        if (platform::UpperCp1252(line).find(header) != std::string::npos) {
            result.ServidorHomologacao = true;
            break;
        }
    }
    result.MappingSincrono = platform::FileExists(platform::FindFileIgnoringCase(
        platform::JoinPath(folder, "NFSe\\Engine\\Esquemas\\" + result.CidadeEngine + "\\MappingEnvioSincrono.txt")));
    return result;
}

} // namespace engine
