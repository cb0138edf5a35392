#include "engine/mvlSchemaValidator.h"

#include "engine/mvlExceptions.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

constexpr std::string_view kNamespace = "http://www.exemplo.gov.br/lote";

} // namespace

TEST(TmvlSchemaValidator, ReportsEveryErrorOfAnInvalidDocument)
{
    const std::string folder = tests::CopyFixture("engine/Esquemas");
    TmvlSchemaValidator validator;
    validator.SetSchemaFolder(folder);
    validator.AddSchema(kNamespace, "Lote.xsd"); // includes tipos_lote.xsd beside it
    validator.LoadXML(R"(<Lote xmlns="http://www.exemplo.gov.br/lote">
<Numero>abc</Numero>
<Cnpj>123</Cnpj>
<Valor>1,50</Valor>
</Lote>)");
    EXPECT_FALSE(validator.Validate());
    ASSERT_EQ(validator.Errors().size(), 3u) << validator.ErrorsAsText();
    EXPECT_EQ(validator.Errors()[0].Line, 2);
    EXPECT_NE(validator.Errors()[0].Reason.find("Numero"), std::string::npos);
    EXPECT_NE(validator.Errors()[1].Reason.find("Cnpj"), std::string::npos);
    EXPECT_NE(validator.Errors()[2].Reason.find("Valor"), std::string::npos);
    EXPECT_EQ(validator.ErrorsAsList().size(), 3u);

    validator.LoadXML(R"(<Lote xmlns="http://www.exemplo.gov.br/lote"><Numero>15</Numero>)"
                      R"(<Cnpj>12345678000199</Cnpj><Valor>1.50</Valor></Lote>)");
    EXPECT_TRUE(validator.Validate()) << validator.ErrorsAsText();
    EXPECT_TRUE(validator.Errors().empty());
}

TEST(TmvlSchemaValidator, RefusesAMissingFolderOrSchema)
{
    TmvlSchemaValidator validator;
    try {
        validator.SetSchemaFolder(tests::TempDir() + "naoexiste");
        FAIL() << "no error";
    } catch (const EmvlSchemaValidationException& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Invalid Schema Folder " + tests::TempDir() + "naoexiste. Directory doesn´t exist.");
    }
    validator.SetSchemaFolder(tests::TempDir());
    validator.AddSchema(kNamespace, "Ausente.xsd");
    validator.LoadXML("<Lote/>");
    EXPECT_THROW((void)validator.Validate(), EmvlSchemaValidationException);
}
