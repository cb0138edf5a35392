#include "engine/mvlExceptions.h"

#include "platform/Clock.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

class ErrorLogFolder
{
public:
    explicit ErrorLogFolder(const std::string& folder) { EmvlNFSeException::SetErrorLogFolder(folder); }
    ~ErrorLogFolder() { EmvlNFSeException::SetErrorLogFolder(""); }
};

} // namespace

TEST(EmvlNFSeException, LeavesOneLogLinePerEngineErrorRaisedWithAMessage)
{
    const std::string folder = tests::TempDir() + "erros/";
    ErrorLogFolder scope(folder);
    platform::ScopedClockPin pin({2026, 12, 11, 9, 5, 7, 42});

    const EmvlNFSeFileNotFoundException missing("O arquivo de locais informado não existe: /x/nfseLocais.ini");
    const EmvlNFSeUnavailableService unavailable("Serviço indisponível");
    const EmvlNFSeException silent("");
    const EmvlSchemaValidationException outsideTheBranch("não registra");
    const EmvlNFSeUnknownException wrapped = UnknownError(std::runtime_error("falha de E/S"));

    const std::string log = tests::ReadFile(folder + "nfse_exception.log");
    const std::regex expected(
        R"(\[11/12/2026 09:05:07:042\] \d+ - EmvlNFSeFileNotFoundException : O arquivo de locais informado não existe: /x/nfseLocais.ini\r\n)"
        R"(\[11/12/2026 09:05:07:042\] \d+ - EmvlNFSeUnavailableService : Serviço indisponível\r\n)"
        R"(\[11/12/2026 09:05:07:042\] \d+ - EmvlNFSeUnknownException : Ocorreu um erro inesperado: falha de E/S\r\n)");
    EXPECT_TRUE(std::regex_match(log, expected)) << log;

    EXPECT_STREQ(unavailable.ClassName(), "EmvlNFSeUnavailableService");
    EXPECT_STREQ(wrapped.what(), "Ocorreu um erro inesperado: falha de E/S");
    // The family keeps its tree: a collection error is caught as an engine error.
    try {
        throw EmvlNFSeXmlInvalidoServico("x");
    } catch (const EmvlNFSeCollectionException& error) {
        EXPECT_STREQ(error.ClassName(), "EmvlNFSeXmlInvalidoServico");
    }
}

TEST(EmvlNFSeException, AnUnwritableLogFolderDoesNotStopTheError)
{
    const std::string file = tests::TempDir() + "arquivo";
    tests::WriteFile(file, "x");
    ErrorLogFolder scope(file + "/sub");
    EXPECT_THROW(throw EmvlNFSeException("ainda assim"), EmvlNFSeException);
}
