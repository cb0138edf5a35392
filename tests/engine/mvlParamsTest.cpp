#include "engine/mvlParams.h"

#include "engine/mvlExceptions.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

template <typename Exception>
std::string MessageOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Exception& error) {
        return error.what();
    }
    return "(nenhum erro)";
}

} // namespace

TEST(TmvlParams, RegisteredNamesTheirValuesAndTheirFailures)
{
    TmvlParams params;
    params.Add(" XML ", " ");
    params.Add("Extras", " Delimitador=## ");
    params.Add("NumeroLote", "1");
    EXPECT_EQ(params.Line(0), "XML=");
    EXPECT_EQ(params.Line(1), "Extras=Delimitador=##");

    params.SetValue("xml", "<a b=\"1\"/>");
    EXPECT_EQ(params.Value("XML"), "<a b=\"1\"/>");
    // A value holding "=" keeps it: the name ends at the first one.
    params.SetValue("Extras", "a=1;b=2");
    EXPECT_EQ(params.Value("extras"), "a=1;b=2");
    // Emptied, the name stays registered; required, the default stands in for it.
    params.SetValue("NumeroLote", "");
    EXPECT_TRUE(params.Exists("NumeroLote"));
    EXPECT_EQ(params.Value("NumeroLote"), "");
    EXPECT_EQ(params.Value("NumeroLote", true, "42"), "42");
    EXPECT_EQ(params.Count(), 3);
    EXPECT_EQ(params.DelimitedText(), "XML=<a b=\"1\"/>|Extras=a=1;b=2|NumeroLote=");

    struct Row
    {
        const char* Name;
        std::function<void()> Call;
        const char* Message;
        bool Collection; // EmvlNFSeCollectionException, else EmvlNFSeCheckParams
    };
    const Row rows[] = {
        {"add_twice_other_case", [&] { params.Add("numerolote"); }, "Parâmetro \"numerolote\" já foi registrado.",
         true},
        {"set_unknown", [&] { params.SetValue("Protocolo", "1"); },
         "Não foi encontrado nenhum parâmetro com o nome \"Protocolo\"", true},
        {"value_empty_name", [&] { (void)params.Value(" "); }, "Nome do parâmetro está vazio", false},
        {"value_unknown", [&] { (void)params.Value("Protocolo"); },
         "Parâmetro \"Protocolo\" não foi encontrado ou não possui valor", false},
        {"required_without_default", [&] { (void)params.Value("NumeroLote", true); },
         "Parâmetro \"NumeroLote\" não possui valor", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        if (row.Collection) {
            EXPECT_EQ(MessageOf<EmvlNFSeCollectionException>(row.Call), row.Message);
        } else {
            EXPECT_EQ(MessageOf<EmvlNFSeCheckParams>(row.Call), row.Message);
        }
    }
    EXPECT_EQ(params.Count(), 3);
}
