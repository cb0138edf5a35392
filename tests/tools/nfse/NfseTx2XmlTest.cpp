#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct ToolRun
{
    int ExitCode = -1;
    std::string Output;
    std::string Errors;
};

ToolRun RunNfse(const std::string& arguments)
{
    const std::string errors = tests::TempDir() + "stderr.txt";
    const std::string command = tests::ProgramDir() + "nfse " + arguments + " 2>" + errors;
    ToolRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return run;
    }
    char buffer[4096];
    size_t read = 0;
    while ((read = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.Output.append(buffer, read);
    }
    const int status = pclose(pipe);
    run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.Errors = tests::ReadFile(errors);
    return run;
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
        const ToolRun run =
            RunNfse("tx2 xml --mapping " + folder + "Lote.txt " + row.Arguments + folder + "Lote2Rps.tx2");
        EXPECT_EQ(run.ExitCode, 0) << run.Errors;
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

    const ToolRun converted =
        RunNfse("tx2 xml --mapping " + work + "Lote.txt --schema-dir " + schemas + " " + work + "Lote.tx2");
    EXPECT_EQ(converted.ExitCode, 0) << converted.Errors;
    EXPECT_EQ(converted.Output, tests::ReadFile(schemas + "Lote2Rps.xml") + "\n");

    const ToolRun noSchema = RunNfse("tx2 xml --mapping " + work + "Lote.txt " + work + "Lote.tx2");
    EXPECT_EQ(noSchema.ExitCode, 1);
    EXPECT_EQ(noSchema.Errors, "Arquivo não encontrado: \"" + work + "Lote.xsd\"\n");

    const ToolRun noCommand =
        RunNfse("tx2 xml --mapping " + work + "Lote.txt --schema-dir " + schemas + " " + work + "SemComandos.tx2");
    EXPECT_EQ(noCommand.ExitCode, 1);
    EXPECT_NE(noCommand.Errors.find("Linha 2: esperado um dos comandos INCLUIR"), std::string::npos)
        << noCommand.Errors;
    EXPECT_TRUE(noCommand.Output.empty());

    EXPECT_EQ(RunNfse("tx2 xml " + work + "Lote.tx2").ExitCode, 2);
}
