#include "framework/schema/CmCustomVersion.h"

#include "framework/schema/dmVersaoNotavia.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using Rows = std::vector<std::vector<std::string>>;

namespace {

class FakeUi : public framework::VersionUpgradeUi
{
public:
    explicit FakeUi(bool approve)
        : m_approve(approve)
    { }
    bool AskBackup() override
    {
        ++Questions;
        return false;
    }
    bool ApproveUpdate(TCmDatabase& database, bool skipBackup) override
    {
        EXPECT_TRUE(database.Connected());
        EXPECT_TRUE(skipBackup);
        return m_approve;
    }
    void ShowMessage(const std::string& text) override { Messages.push_back(text); }

    int Questions = 0;
    std::vector<std::string> Messages;

private:
    bool m_approve;
};

// A database carrying only the first `common` versions of COMMON.SQL, and the program's set
// when `withProgramSet`.
std::string PartialDatabase(size_t common, bool withProgramSet)
{
    static int s_count = 0;
    const std::string path = tests::CreateEmptyDatabase("parcial" + std::to_string(++s_count) + ".fdb");
    std::unique_ptr<TClsCustomVersion> module;
    if (withProgramSet) {
        module = std::make_unique<TdmVersaoNotavia>();
    } else {
        module = std::make_unique<TClsCustomVersion>();
    }
    module->ScriptsCommon().Versions().resize(common);
    module->RunAllScripts(path);
    return path;
}

const char* const kIncompatible = "A Versão deste programa é incompatível com a versão do banco de dados\r\n"
                                  "Atualize o programa e tente novamente.\r\n\r\n";

} // namespace

TEST(TClsCustomVersion, VersionNumbers)
{
    const std::pair<const char*, int> cases[] = {{"1.08", 108}, {"1.1", 11}, {"2.00", 200}, {"1.0a", 0}, {"", 0}};
    for (const auto& [text, number] : cases) {
        EXPECT_EQ(number, VersionNumber(text)) << text;
    }
    EXPECT_LT(VersionNumber("1.1"), VersionNumber("1.08"));
}

TEST(TClsCustomVersion, MergeScriptsPutsTheCommonSetFirstAndResolvesTheResource)
{
    TdmVersaoNotavia module;
    const std::unique_ptr<TCmScriptsSQL> merged = module.MergeScripts();
    std::vector<std::string> names;
    for (const TVersion& item : merged->Versions()) {
        names.push_back(item.DisplayName());
    }
    EXPECT_THAT(names,
                ::testing::ElementsAre("COMMON.SQL - 1.00", "COMMON.SQL - 1.01", "COMMON.SQL - 1.02",
                                       "COMMON.SQL - 1.03", "COMMON.SQL - 1.04", "COMMON.SQL - 1.05",
                                       "COMMON.SQL - 1.06", "COMMON.SQL - 1.07", "COMMON.SQL - 1.08",
                                       "NOTAVIA-NFSE.SQL - 1.00", "NOTAVIA-NFSE.SQL - 1.01", "NOTAVIA-NFSE.SQL - 1.02",
                                       "NOTAVIA-NFSE.SQL - 1.03", "NOTAVIA-NFSE.SQL - 1.04"));
    EXPECT_EQ(std::vector<std::string> {"RESOURCEFILE=13NOTAVIANFSE101SQL"}, module.Scripts().Versions()[1].Script());
    EXPECT_GT(merged->Versions()[10].Script().size(), 5570u);
}

TEST(TClsCustomVersion, ReshapingOfClientsKeepsExistingRows)
{
    const std::string path = PartialDatabase(2, false);
    {
        tests::DatabaseSession db(path);
        db.Exec("insert into CLIENTE (ID, NOME, DOCUMENTO, RESPONSAVEL, RG, INSCRICAO_ESTADUAL, TELEFONEDDD, TELEFONE, "
                "FAXDDD, CELULARDDD, IMPRIMIR_NOTA_FISCAL) values (7, 'Padaria', '12345678901234567890', "
                "'Responsável com um nome bem comprido demais', '123456789012', 'IE1', 11, '3333-4444', 123, null, "
                "'S')");
        db.Exec("insert into CLIENTE (ID, NOME) values (12345, 'Sem dados')");
        db.Commit();
    }
    TClsCustomVersion module;
    auto& versions = module.ScriptsCommon().Versions();
    versions.erase(versions.begin(), versions.begin() + 2);
    versions.resize(1);
    ASSERT_EQ("1.02", versions[0].Version());
    module.RunAllScripts(path);

    tests::DatabaseSession db(path);
    EXPECT_EQ(
        (Rows {{"00000007", "123456789012345", "Responsável com um nome bem comprid", "1234567890", "IE1", " 11",
                "3333-4444", "123", "<null>", "S"},
               {"00012345", "<null>", "<null>", "<null>", "<null>", "<null>", "<null>", "<null>", "<null>", "<null>"}}),
        db.Rows("select CODIGO, CNPJ_CPF, RESP, RG_RESP, IE_RG, TEL_DDD, TEL, FAX_DDD, CEL_DDD, IMP_NF "
                "from CLIENTE order by ID"));
    EXPECT_EQ("1.02", db.Value("select NUMERO from VERSAO where ID = 1"));
    EXPECT_EQ("0",
              db.Value("select count(*) from RDB$RELATION_FIELDS where RDB$RELATION_NAME = 'CLIENTE' and "
                       "RDB$FIELD_NAME in ('DOCUMENTO', 'RESPONSAVEL', 'RG', 'TELEFONEDDD', 'FAXDDD', "
                       "'CELULARDDD')"));
    EXPECT_THROW(db.Exec("insert into CLIENTE (CODIGO) values ('00000007')"), framework::DatabaseError);
}

TEST(TClsCustomVersion, UpToDateDatabaseIsAcceptedWithoutQuestions)
{
    const std::string path = tests::CopySchemaDatabase();
    TdmVersaoNotavia module;
    FakeUi ui(true);
    module.SetUi(&ui);
    EXPECT_TRUE(module.CheckAndUpgrade(path));
    EXPECT_EQ(0, ui.Questions);
    EXPECT_TRUE(ui.Messages.empty());
}

TEST(TClsCustomVersion, UpgradeRunsOnlyTheMissingVersionsAfterOneQuestion)
{
    const std::string path = PartialDatabase(6, true);
    TdmVersaoNotavia module;
    FakeUi ui(true);
    module.SetUi(&ui);
    std::vector<std::string> applied;
    module.SetOnScript([&](const TVersion& item) { applied.push_back(item.DisplayName()); });
    EXPECT_TRUE(module.CheckAndUpgrade(path));
    EXPECT_EQ(1, ui.Questions);
    EXPECT_THAT(applied, ::testing::ElementsAre("COMMON.SQL - 1.06", "COMMON.SQL - 1.07", "COMMON.SQL - 1.08"));
    EXPECT_EQ(std::vector<std::string> {"Banco de Dados foi atualizado com sucesso."}, ui.Messages);
    tests::DatabaseSession db(path);
    EXPECT_EQ("1.08", db.Value("select NUMERO from VERSAO where ID = 1"));
}

TEST(TClsCustomVersion, AMissingProgramSetRunsAllItsVersions)
{
    const std::string path = PartialDatabase(9, false);
    TdmVersaoNotavia module;
    FakeUi ui(true);
    module.SetUi(&ui);
    std::vector<std::string> applied;
    module.SetOnScript([&](const TVersion& item) { applied.push_back(item.DisplayName()); });
    EXPECT_TRUE(module.CheckAndUpgrade(path));
    EXPECT_THAT(applied,
                ::testing::ElementsAre("NOTAVIA-NFSE.SQL - 1.00", "NOTAVIA-NFSE.SQL - 1.01", "NOTAVIA-NFSE.SQL - 1.02",
                                       "NOTAVIA-NFSE.SQL - 1.03", "NOTAVIA-NFSE.SQL - 1.04"));
    tests::DatabaseSession db(path);
    EXPECT_EQ("5570", db.Value("select count(*) from CIDADE_IBGE"));
}

TEST(TClsCustomVersion, RefusedOrNewerDatabasesFailWithTheVersionMessage)
{
    struct Case
    {
        const char* Name;
        std::string Path;
        bool Approve;
        std::vector<std::string> Messages;
    };
    const std::string newer = tests::CopySchemaDatabase("nova.fdb");
    {
        tests::DatabaseSession db(newer);
        db.Exec("update VERSAO set NUMERO = '1.09' where ID = 1");
        db.Commit();
    }
    const Case cases[] = {
        {"refused update",
         PartialDatabase(6, true),
         false,
         {std::string(kIncompatible) + "Programa: COMMON.SQL-1.08\r\nBanco de Dados: COMMON.SQL-1.05"}},
        {"newer database",
         newer,
         true,
         {std::string(kIncompatible) + "Programa: COMMON.SQL-1.08\r\nBanco de Dados: COMMON.SQL-1.09"}},
        {"refused with the program set missing",
         PartialDatabase(9, false),
         false,
         {std::string(kIncompatible) + "Falta o script: NOTAVIA-NFSE.SQL-1.04"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TdmVersaoNotavia module;
        FakeUi ui(c.Approve);
        module.SetUi(&ui);
        EXPECT_FALSE(module.CheckAndUpgrade(c.Path));
        EXPECT_EQ(c.Messages, ui.Messages);
    }
}

TEST(TClsCustomVersion, AnUnreadableDatabaseFailsQuietly)
{
    TdmVersaoNotavia module;
    FakeUi ui(true);
    module.SetUi(&ui);
    EXPECT_FALSE(module.CheckAndUpgrade(tests::TempDir() + "nada.fdb"));
    EXPECT_FALSE(module.CheckAndUpgrade(tests::CreateEmptyDatabase()));
    EXPECT_EQ(0, ui.Questions);
    EXPECT_TRUE(ui.Messages.empty());
}
