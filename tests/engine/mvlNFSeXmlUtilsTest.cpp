#include "engine/mvlNFSeXmlUtils.h"

#include "engine/mvlExceptions.h"
#include "platform/ProgramFolder.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

struct HelperCase
{
    const char* Name;
    std::function<std::string()> Run;
    std::string Expected;
};

std::string Bool(bool value)
{
    return value ? "true" : "false";
}

} // namespace

TEST(mvlNFSeXmlUtils, HelperExamples)
{
    const std::vector<HelperCase> rows {
        {"escaped answer stops at the wrapper's closing tag",
         [] {
             return ExtractEmbeddedXml(
                 "<ns:Return>&lt;Lote&gt;&lt;Numero&gt;1&lt;/Numero&gt;&lt;/Lote&gt;</ns:Return>");
         },
         "<Lote><Numero>1</Numero></Lote>"},
        {"escaped answer without a real tag after it is taken to its end",
         [] { return ExtractEmbeddedXml("&lt;Lote&gt;&lt;Numero&gt;1&lt;/Numero&gt;&lt;/Lote&gt;"); },
         "<Lote><Numero>1</Numero></Lote>"},
        {"CDATA answer keeps the text between the markers",
         [] { return ExtractEmbeddedXml("<r><![CDATA[<Lote a=\"&amp;\"/>]]></r>"); }, "<Lote a=\"&amp;\"/>"},
        {"text without embedded XML is unchanged", [] { return ExtractEmbeddedXml("<r>ok</r>"); }, "<r>ok</r>"},
        {"compact trims lines and keeps one blank before text", [] { return CompactXml("<a>\n  texto\n</a>"); },
         "<a> texto</a>"},
        {"compact drops CR, LF and TAB", [] { return CompactXml("<a>\r\n\t<b>1</b>\r\n</a>"); }, "<a><b>1</b></a>"},
        {"CDATA markers removed ignoring case", [] { return RemoveCData("<x><![cdata[<a/>]]></x>"); }, "<x><a/></x>"},
        {"escape", [] { return EscapeXml("a&b<c>\"d\"'e'"); }, "a&amp;b&lt;c&gt;&quot;d&quot;&apos;e&apos;"},
        {"unescape, bullet included", [] { return UnescapeXml("&lt;a&gt;&amp;lt;&bull;&quot;&apos;"); }, "<a>&lt;•\"'"},
        {"text between tags", [] { return TextBetweenTags("x<Link>http://a?b=1</Link><Link>2</Link>", "Link"); },
         "http://a?b=1"},
        {"text between tags, absent", [] { return TextBetweenTags("<Outro>1</Outro>", "Link"); }, ""},
        {"extra without case", [] { return ReadExtra("Delimitador=##;Cabecalho=true", "cabecalho"); }, "true"},
        {"extra keeps inner blanks", [] { return ReadExtra("Motivo=erro na emissao;X=1", "motivo"); },
         "erro na emissao"},
        {"extra missing", [] { return ReadExtra("X=1", "Y"); }, ""},
        {"Fortaleza CPF", [] { return CnpjOrCpfForCity("FORTALEZA", "12345678901"); }, "CPF12345678901"},
        {"Fortaleza CNPJ", [] { return CnpjOrCpfForCity("FORTALEZA", "12345678000199"); }, "12345678000199"},
        {"other city CPF", [] { return CnpjOrCpfForCity("CURITIBA", "12345678901"); }, "12345678901"},
        {"pad left with zeros", [] { return PadText("123", 6, "0", true); }, "000123"},
        {"pad right counts characters", [] { return PadText("São", 5, ".", false); }, "São.."},
        {"pad never cuts", [] { return PadText("123456", 3, "0", true); }, "123456"},
        {"keep chars", [] { return KeepChars("12.345-67/ç", "0123456789ç"); }, "1234567ç"},
        {"count occurrences", [] { return std::to_string(CountOccurrences("aaaa<Rps>b<Rps>", "<Rps>")); }, "2"},
        {"count without overlap", [] { return std::to_string(CountOccurrences("aaaa", "aa")); }, "2"},
        {"UTF-8 read as single-byte", [] { return Bool(HasUtf8Accents("ServiÃ§o prestado")); }, "true"},
        {"UTF-8 read as single-byte, undefined byte", [] { return Bool(HasUtf8Accents("\xC3\x83\xC2\x81gua")); },
         "true"},
        {"proper accents", [] { return Bool(HasUtf8Accents("Serviço prestado em São José")); }, "false"},
        {"dot decimal", [] { return FloatToDotDecimal(DotDecimalToFloat(" 1234.5 ")); }, "1234.50"},
        {"root outer XML drops the declaration and comments",
         [] { return RootOuterXml("<?xml version=\"1.0\"?><!--c--><a><b/></a>"); }, "<a><b/></a>"},
        {"strip namespaces",
         [] {
             return StripNamespaces(
                 R"(<n:Lote xmlns:n="urn:n" xmlns:x="urn:x" x:Id="1"><x:Numero>5</x:Numero></n:Lote>)");
         },
         R"(<Lote Id="1"><Numero>5</Numero></Lote>)"},
        {"element in the root namespace",
         [] {
             return ElementXmlInRootNamespace(
                 R"(<E xmlns="urn:e"><x:ListaRps xmlns:x="urn:x"/><ListaRps><Rps/></ListaRps></E>)", "ListaRps");
         },
         R"(<ListaRps xmlns="urn:e"><Rps/></ListaRps>)"},
        {"element of a root without namespace",
         [] { return ElementXmlInRootNamespace("<E><A><ListaRps>1</ListaRps></A></E>", "ListaRps"); },
         "<ListaRps>1</ListaRps>"},
        {"element absent", [] { return ElementXmlInRootNamespace("<E/>", "ListaRps"); }, ""},
        {"SOAP body",
         [] {
             return ExtractSoapBody(R"(<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/">)"
                                    R"(<s:Body><R xmlns="urn:r"><Ok>1</Ok></R></s:Body></s:Envelope>)");
         },
         R"(<R xmlns="urn:r" xmlns:s="http://schemas.xmlsoap.org/soap/envelope/"><Ok>1</Ok></R>)"},
        {"SOAP body of a text that is no XML", [] { return ExtractSoapBody("Erro 500 &"); }, "Erro 500 &"},
        {"SOAP body of XML that is no envelope", [] { return ExtractSoapBody("<a xmlns=\"urn:a\"/>"); },
         "<a xmlns=\"urn:a\"/>"},
        {"node text of bad XML",
         [] {
             std::string value = "kept";
             return Bool(SelectNodeText("<a>", "//a", value)) + value;
         },
         "falsekept"},
        {"node text",
         [] {
             std::string value;
             return Bool(SelectNodeText("<a><b>x<c>y</c></b></a>", "//b", value)) + value;
         },
         "truexy"},
        {"format of a text that is not well-formed still splits the tags", [] { return FormatXml("<a><b>1</b><c>"); },
         "<a>\n<b>1</b>\n<c>"},
        {"format of well-formed XML indents it", [] { return FormatXml("<a>\n<b>1</b><c/></a>"); },
         "<a>\n  <b>1</b>\n  <c/>\n</a>"},
    };
    for (const HelperCase& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(row.Run(), row.Expected);
    }
}

TEST(mvlNFSeXmlUtils, RequiredExtraWithoutValueNamesIt)
{
    try {
        (void)ReadExtra("Senha=;Usuario=x", "Senha", true);
        FAIL() << "no error";
    } catch (const EmvlNFSeCheckParams& error) {
        EXPECT_STREQ(error.what(), "Parâmetro Extra \"Senha\" não possui valor");
    }
}

TEST(mvlNFSeXmlUtils, ParsesXsdDateTimes)
{
    struct Row
    {
        const char* Text;
        platform::DateTime Expected;
    };
    const std::vector<Row> rows {
        {"2024-03-05T14:07:09", {2024, 3, 5, 14, 7, 9, 0}},
        {"2024-03-05T14:07:09.1234567-03:00", {2024, 3, 5, 14, 7, 9, 123}},
        {"2024-03-05T14:07:09.5Z", {2024, 3, 5, 14, 7, 9, 500}},
        {"05/03/2024 14:07:09", {2024, 3, 5, 14, 7, 9, 0}},
        {"05/03/2024 02:07:09 PM", {2024, 3, 5, 14, 7, 9, 0}},
        {"05/03/2024 12:00:00 AM", {2024, 3, 5, 0, 0, 0, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Text);
        EXPECT_EQ(ParseXsdDateTime(row.Text), row.Expected);
    }
    for (const char* bad :
         {"", "2024-02-30T10:00:00", "2024-03-05 14:07:09", "05/03/2024 13:00:00 PM", "-2024-01-01T00:00:00"}) {
        SCOPED_TRACE(bad);
        try {
            (void)ParseXsdDateTime(bad);
            ADD_FAILURE() << "accepted";
        } catch (const EmvlException& error) {
            EXPECT_STREQ(error.what(),
                         "xsdDateTime não está no formato \"[-]YYYY-MM-DDThh:mm:ss.zzzzzzz[Z|(+|-)hh:mm]\".");
        }
    }
    EXPECT_THROW((void)DotDecimalToFloat("1,50"), EmvlException);
}

TEST(mvlNFSeXmlUtils, FindEngineFileTriesItsCandidatesInOrder)
{
    const std::string root = tests::TempDir();
    const std::string templates = root + "Engine.v2/Templates/";
    const std::string schemas = root + "Engine.v2/Esquemas/";
    auto put = [&](const std::string& path) {
        platform::ForceDirectories(platform::ExtractFilePath(path));
        tests::WriteFile(path, path);
    };
    put(schemas + "Mapping.txt");
    EXPECT_EQ(FindEngineFile(templates, schemas, "CURITIBA", TEngineFileKind::efkSchema, "Mapping.txt", "ABRASF", root),
              schemas + "Mapping.txt");
    put(schemas + "ABRASF/Mapping.txt");
    EXPECT_EQ(FindEngineFile(templates, schemas, "CURITIBA", TEngineFileKind::efkSchema, "Mapping.txt", "ABRASF", root),
              schemas + "ABRASF/Mapping.txt");
    put(schemas + "CURITIBA/Mapping.txt");
    EXPECT_EQ(FindEngineFile(templates, schemas, "CURITIBA", TEngineFileKind::efkSchema, "Mapping.txt", "ABRASF", root),
              schemas + "CURITIBA/Mapping.txt");
    // The Custom file beside it wins, even under a folder whose name has a dot.
    put(schemas + "CURITIBA/MappingCustom.txt");
    EXPECT_EQ(FindEngineFile(templates, schemas, "CURITIBA", TEngineFileKind::efkSchema, "Mapping.txt", "ABRASF", root),
              schemas + "CURITIBA/MappingCustom.txt");
    // A file named as it stands comes first; the city's folder is matched without case.
    put(root + "Mapping.txt");
    EXPECT_EQ(FindEngineFile(templates, schemas, "CURITIBA", TEngineFileKind::efkSchema, "Mapping.txt", "ABRASF", root),
              root + "Mapping.txt");
    put(templates + "Impressao/curitiba/Modelo.rtm");
    EXPECT_EQ(FindEngineFile(templates, schemas, "CURITIBA", TEngineFileKind::efkPrintTemplate, "Modelo.rtm", "", root),
              templates + "Impressao/curitiba/Modelo.rtm");

    EXPECT_EQ(FindEngineFile(templates, schemas, "CURITIBA", TEngineFileKind::efkTemplate, "  ", "ABRASF", root), "");
    struct Missing
    {
        TEngineFileKind Kind;
        const char* Message;
    };
    for (const Missing& row : {Missing {TEngineFileKind::efkTemplate, "Arquivo de template não encontrado: \"x.xml\""},
                               Missing {TEngineFileKind::efkSchema, "Arquivo não encontrado: \"x.xml\""},
                               Missing {TEngineFileKind::efkPrintTemplate, "Arquivo não encontrado: \"x.xml\""}}) {
        try {
            (void)FindEngineFile(templates, schemas, "CURITIBA", row.Kind, "x.xml", "ABRASF", root);
            ADD_FAILURE() << "found";
        } catch (const EmvlNFSeFileNotFoundException& error) {
            EXPECT_STREQ(error.what(), row.Message);
        }
    }
}

TEST(mvlNFSeXmlUtils, ResolvePathKeepsConfiguredFoldersUnderTheProgramFolder)
{
    const std::string base = tests::TempDir();
    platform::ForceDirectories(base + "NFSe/Engine/Log");
    tests::WriteFile(base + "nfseLocais.ini", "");
    struct Row
    {
        const char* Name;
        std::string Path;
        std::string Expected;
    };
    const std::vector<Row> rows {
        {"leading backslash means the program folder", "\\Log", base + "Log"},
        {"existing folder gets its separator, case ignored", "nfse\\engine\\log", base + "NFSe/Engine/Log/"},
        {"relative file", "NFSELOCAIS.INI", base + "nfseLocais.ini"},
        {"absolute path kept", base + "NFSe/Engine", base + "NFSe/Engine/"},
        {"missing absolute path unchanged", "/nao/existe/x.ini", "/nao/existe/x.ini"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(ResolvePath(row.Path, base), row.Expected);
    }
    EXPECT_THROW((void)ResolvePath("Log", base + "naoexiste/"), EmvlNFSeFileNotFoundException);
}

TEST(mvlNFSeXmlUtils, ClassicMethodsServeTheirCitiesOnly)
{
    EXPECT_NO_THROW(CheckClassicCity("belohorizonte"));
    try {
        CheckClassicCity("SAOPAULO");
        FAIL() << "accepted";
    } catch (const EmvlNFSeException& error) {
        EXPECT_STREQ(
            error.what(),
            "O método utilizado não é compatível com SAOPAULO. Favor utilizar o componente ProxyNFSe ou Comandos.");
    }
}

TEST(mvlNFSeXmlUtils, BareAmpersandsAreEscapedAndEntitiesKept)
{
    struct Row
    {
        const char* Text;
        const char* Expected;
    };
    const Row rows[] = {
        {"A & B", "A &amp; B"},
        {"A &amp; B", "A &amp; B"},
        {"x &lt; y &gt; z", "x &lt; y &gt; z"},
        {"servi&#231;o servi&#xE7;o", "servi&#231;o servi&#xE7;o"},
        {"&#; &#x; &; & ;", "&amp;#; &amp;#x; &amp;; &amp; ;"},
        {"fim &", "fim &amp;"},
        {"&amp", "&amp;amp"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Text);
        EXPECT_EQ(EscapeBareAmpersands(row.Text), row.Expected);
    }
}

TEST(mvlNFSeXmlUtils, ADocumentWhoseTextHoldsAnEscapedLessThanIsNoEmbeddedDocument)
{
    EXPECT_EQ(ExtractEmbeddedXml("<Nota><D>x &lt; y</D></Nota>"), "<Nota><D>x &lt; y</D></Nota>");
    EXPECT_EQ(ExtractEmbeddedXml("<r><x>&lt;Nota/&gt;</x></r>"), "<Nota/>");
}
