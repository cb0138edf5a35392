#include "framework/data/BackupService.h"

#include "framework/data/CmDatabase.h"
#include "framework/data/CmTransaction.h"
#include "framework/data/DatabaseError.h"
#include "framework/data/SqlStatement.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using framework::BackupService;

namespace {

std::vector<int64_t> RowCounts(const std::string& path)
{
    TCmDatabase database;
    TCmTransaction transaction;
    database.SetDefaultTransaction(&transaction);
    database.SetDatabaseName(path);
    database.Open();
    std::vector<int64_t> counts;
    for (const char* table : {"CIDADE_IBGE", "VERSAO", "USUARIO", "MODULO", "USUARIO_MODULO"}) {
        framework::SqlStatement count(&database, &transaction);
        count.SetSQL(std::string("select count(*) from ") + table);
        count.ExecQuery();
        counts.push_back(count.Fields(0).Value.AsInteger());
    }
    return counts;
}

} // namespace

TEST(BackupService, WritesABackupThatGbakRestoresToTheSameRows)
{
    const std::string path = tests::CopySchemaDatabase();
    const std::string backup = tests::TempDir() + "notavia.gbk";
    std::vector<std::string> lines;
    BackupService::Run({path, backup, "SYSDBA", "quartzite", true},
                       [&](const std::string& line) { lines.push_back(line); });
    ASSERT_TRUE(std::filesystem::exists(backup));
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("closing file, committing, and finishing"), std::string::npos) << lines.back();

    const std::string restored = tests::TempDir() + "restaurado.fdb";
    const std::string command = "gbak -r -user SYSDBA '" + backup + "' '" + restored + "' > /dev/null 2>&1";
    ASSERT_EQ(0, std::system(command.c_str()));
    const std::vector<int64_t> counts = RowCounts(restored);
    EXPECT_EQ(RowCounts(path), counts);
    EXPECT_EQ(5570, counts[0]);
}

TEST(BackupService, AFailedBackupRaises)
{
    const std::string path = tests::CopySchemaDatabase();
    EXPECT_THROW(BackupService::Run({path, tests::TempDir() + "nao/existe/x.gbk", "SYSDBA", "", true}, nullptr),
                 framework::DatabaseError);
    EXPECT_THROW(
        BackupService::Run({tests::TempDir() + "nada.fdb", tests::TempDir() + "x.gbk", "SYSDBA", "", true}, nullptr),
        framework::DatabaseError);
}

TEST(BackupService, DefaultFileNameSitsBesideTheDatabaseOnItsServer)
{
    const platform::DateTime at {2026, 3, 7, 9, 5, 59};
    const std::pair<const char*, const char*> cases[] = {
        {"/dados/notavia.fdb", "/dados/notavia.fdb-2026-03-07-09-05.gbk"},
        {"servidor:/dados/notavia.fdb", "/dados/notavia.fdb-2026-03-07-09-05.gbk"},
        {"servidor/3051:/dados/notavia.fdb", "/dados/notavia.fdb-2026-03-07-09-05.gbk"},
    };
    for (const auto& [name, file] : cases) {
        EXPECT_EQ(file, BackupService::DefaultFileName(name, at)) << name;
    }
}
