#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace engine {

// A city the desktop program can serve, and what the engine's installation says about it.
struct TCidadeEngine
{
    std::string Nome;
    std::string UF;
    std::string Chave;
    std::string CidadeEngine; // filled by the lookup from nfseLocais.ini
    std::string CodigoIBGE;
    int TipoLayout = 0; // 0: the city has no layout
    bool MappingSincrono = false;
    bool ServidorHomologacao = false;
};

// The desktop program's cities, in table order.
const std::vector<TCidadeEngine>& CidadesEngine();

// Display name and state to the engine's city: the first row with that state (exactly) and
// city key, then its engine name from the first line of nfseLocais.ini holding its IBGE code,
// its test server from nfseServidoresHom.ini and its synchronous mapping. An empty record
// (TipoLayout 0) when either step finds nothing.
TCidadeEngine LocalizarCidade(std::string_view nome, std::string_view uf, std::string_view programFolder);

} // namespace engine
