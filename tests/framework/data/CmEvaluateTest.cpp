#include "framework/data/CmEvaluate.h"

#include <gtest/gtest.h>

namespace {

// Checks NOME (an error when called) and CODIGO (nothing to say), in that order.
class ClienteChecks : public framework::Evaluator
{
public:
    explicit ClienteChecks(std::vector<std::string>* calls)
    {
        AddCheck("nome", [calls](const TEvalInfo& info, TCmErrors& errors) {
            calls->push_back("check NOME");
            EXPECT_EQ(info.Field, nullptr); // no dataset here
            errors.AddError("O nome é obrigatório.", "edtNome");
        });
        AddCheck("CODIGO", [calls](const TEvalInfo&, TCmErrors&) { calls->push_back("check CODIGO"); });
    }
};

} // namespace

TEST(TCmEvaluate, RunsHooksAroundEachCheckAndKeepsOnlyFieldsWithMessages)
{
    std::vector<std::string> calls;
    TCmEvaluate evaluate;
    TEvalItem& nome = evaluate.Evals().Add("Nome");
    EXPECT_EQ(nome.FieldName(), "NOME");
    EXPECT_EQ(evaluate.Evals().Find("nome"), &nome);
    nome.OnBeforeEvaluate = [&](const TEvalInfo&, TCmErrors& errors) {
        calls.push_back("before NOME");
        errors.AddWarning("Nome curto.");
    };
    nome.OnAfterEvaluate = [&](const TEvalInfo&, TCmErrors&) { calls.push_back("after NOME"); };
    evaluate.Evals().Add("CODIGO").OnAfterEvaluate = [&](const TEvalInfo&, TCmErrors&) {
        calls.push_back("after CODIGO");
    };
    evaluate.GetEvalClass = [&](TCmEvaluate&) -> TEvalClass {
        return [&] { return std::make_unique<ClienteChecks>(&calls); };
    };

    evaluate.Evaluate();
    EXPECT_EQ(calls,
              std::vector<std::string>({"before NOME", "check NOME", "after NOME", "check CODIGO", "after CODIGO"}));
    ASSERT_EQ(evaluate.ErrorList().Count(), 1);
    const TCmErrors& errors = evaluate.ErrorList().Items(0);
    EXPECT_EQ(errors.FieldName(), "NOME");
    ASSERT_EQ(errors.Count(), 2);
    EXPECT_EQ(errors.Items(1).Message, "O nome é obrigatório.");
    EXPECT_EQ(errors.Items(1).FocusControl, "edtNome");
    EXPECT_EQ(evaluate.ErrorList().CountOfKind(2), 1);
    EXPECT_EQ(evaluate.ErrorList().CountOfKind(1), 1);

    // Without an evaluator class nothing runs and the last messages stay.
    evaluate.GetEvalClass = [](TCmEvaluate&) { return TEvalClass(); };
    evaluate.Evaluate();
    EXPECT_EQ(evaluate.ErrorList().Count(), 1);
}
