#include "engine/CityLookup.h"

#include "platform/ProgramFolder.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

TEST(CityLookup, DisplayNameAndStateFindTheEngineCity)
{
    const std::string root = tests::TempDir();
    tests::WriteFile(root + "nfseLocais.ini", "[LOCAIS]\nSAOPAULO=3550308\nBOTUCATUSP=3507506\n[BOTUCATUSP]\n");
    tests::WriteFile(root + "nfseServidoresHom.ini", "[botucatusp]\nNFSe=http://127.0.0.1/\n");
    platform::ForceDirectories(root + "NFSe/Engine/Esquemas/SAOPAULO");
    tests::WriteFile(root + "NFSe/Engine/Esquemas/SAOPAULO/MappingEnvioSincrono.txt", "");

    struct Row
    {
        const char* Nome;
        const char* UF;
        const char* CidadeEngine; // empty: no layout
        bool Homologacao;
        bool Sincrono;
    };
    const std::vector<Row> rows {
        {"São Paulo", "SP", "SAOPAULO", false, true}, {"Sao  Paulo", "SP", "SAOPAULO", false, true},
        {"São Paulo", "sp", "", false, false},        {"Botucatu", "SP", "BOTUCATUSP", true, false},
        {"Sorocaba", "SP", "", false, false}, // in the table, not in the locals file
        {"Curitiba", "PR", "", false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.Nome) + "/" + row.UF);
        const engine::TCidadeEngine city = engine::LocalizarCidade(row.Nome, row.UF, root);
        EXPECT_EQ(city.CidadeEngine, row.CidadeEngine);
        EXPECT_EQ(city.TipoLayout != 0, *row.CidadeEngine != '\0');
        EXPECT_EQ(city.ServidorHomologacao, row.Homologacao);
        EXPECT_EQ(city.MappingSincrono, row.Sincrono);
    }
}
