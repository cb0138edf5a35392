#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The arguments as one line split at blanks; the test folders have none in their paths.
tests::ProgramRun RunNfse(const std::string& arguments)
{
    std::vector<std::string> args;
    std::istringstream words(arguments);
    for (std::string word; words >> word;) {
        args.push_back(word);
    }
    args.insert(args.begin(), {"--log", tests::TempDir()});
    return tests::RunProgram(tests::ProgramDir() + "nfse", args);
}

} // namespace

TEST(NfseTx2Xml, ConvertsTheLotFixture)
{
    const std::string folder = tests::CopyFixture("engine/XsdDataset") + "/";
    struct Row
    {
        const char* Arguments;
        const char* Expected;
    };
    const Row rows[] = {
        {"", "Lote2Rps.xml"},
        {"--section PREFIXOS ", "Lote2RpsPrefixos.xml"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Expected);
        const tests::ProgramRun run =
            RunNfse("tx2 xml --mapping " + folder + "Lote.txt " + row.Arguments + folder + "Lote2Rps.tx2");
        EXPECT_EQ(run.Status, 0) << run.Errors;
        EXPECT_EQ(run.Output, tests::ReadFile(folder + row.Expected) + "\n");
    }
}

TEST(NfseTx2Xml, SchemasFromAnotherFolderAndClearFailures)
{
    const std::string schemas = tests::CopyFixture("engine/XsdDataset") + "/";
    const std::string work = tests::TempDir() + "lote/";
    tests::WriteFile(work + "Lote.txt", tests::ReadFile(schemas + "Lote.txt"));
    tests::WriteFile(work + "Lote.tx2", tests::ReadFile(schemas + "Lote2Rps.tx2"));
    tests::WriteFile(work + "SemComandos.tx2", "formato=tx2\r\npadrao=MarvoliNFSe\r\n");

    const tests::ProgramRun converted =
        RunNfse("tx2 xml --mapping " + work + "Lote.txt --schema-dir " + schemas + " " + work + "Lote.tx2");
    EXPECT_EQ(converted.Status, 0) << converted.Errors;
    EXPECT_EQ(converted.Output, tests::ReadFile(schemas + "Lote2Rps.xml") + "\n");

    const tests::ProgramRun noSchema = RunNfse("tx2 xml --mapping " + work + "Lote.txt " + work + "Lote.tx2");
    EXPECT_EQ(noSchema.Status, 1);
    EXPECT_EQ(noSchema.Errors, "Arquivo não encontrado: \"" + work + "Lote.xsd\"\n");

    const tests::ProgramRun noCommand =
        RunNfse("tx2 xml --mapping " + work + "Lote.txt --schema-dir " + schemas + " " + work + "SemComandos.tx2");
    EXPECT_EQ(noCommand.Status, 1);
    EXPECT_NE(noCommand.Errors.find("Linha 2: esperado um dos comandos INCLUIR"), std::string::npos)
        << noCommand.Errors;
    EXPECT_TRUE(noCommand.Output.empty());

    EXPECT_EQ(RunNfse("tx2 xml " + work + "Lote.tx2").Status, 2);
}
