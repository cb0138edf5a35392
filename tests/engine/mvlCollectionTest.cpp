#include "engine/mvlCollection.h"

#include "engine/mvlCollectionFactory.h"
#include "engine/mvlExceptions.h"
#include "engine/mvlNFSe.h"
#include "tests/engine/CollectionTestSupport.h"
#include "tools/citysim/CitySim.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::ElementsAre;

namespace {

template <typename Exception, typename Call>
std::string MessageOf(Call call)
{
    try {
        call();
    } catch (const Exception& error) {
        return error.what();
    }
    return "(nenhum erro)";
}

class Vazia : public TmvlNFSeCollection
{
public:
    const char* ClassName() const override { return "Vazia"; }
};

std::unique_ptr<TmvlNFSeCollection> MakeVazia()
{
    return std::make_unique<Vazia>();
}

} // namespace

TEST(TmvlCollectionFactory, NamesAreUniqueWithoutRegardToCase)
{
    TmvlCollectionFactory& factory = TmvlCollectionFactory::Instance();
    factory.Registrar(" TesteFabrica ", &MakeVazia);
    EXPECT_EQ(MessageOf<EmvlNFSeCollectionException>([&] { factory.Registrar("TESTEFABRICA", &MakeVazia); }),
              "Coleção \"TESTEFABRICA\" já foi registrada.");
    EXPECT_EQ(MessageOf<EmvlNFSeCollectionException>([&] { factory.Registrar("  ", &MakeVazia); }),
              "Nome da coleção está vazio");
    EXPECT_EQ(MessageOf<EmvlNFSeCollectionException>([&] { (void)factory.Criar("Inexistente"); }),
              "Coleção \"Inexistente\" não foi encontrada.");

    // Made anew each time, named as asked.
    auto first = factory.Criar("testefabrica");
    auto second = factory.Criar("TesteFabrica");
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(first->Name(), "testefabrica");
    EXPECT_STREQ(first->ClassName(), "Vazia");
}

TEST(TmvlCollection, AliasesReplacementAndLookup)
{
    tests::TesteColecaoUm collection;
    collection.RegistrarItens();
    EXPECT_THAT(collection.Itens().Aliases(),
                ElementsAre("CorrigirXml", "ExtractEscapedContent", "AssinarXML_ViaProxy", "Enviar_ViaProxy",
                            "ConsultarLote_ViaProxy"));

    // An unnamed operation goes by its class name; a named one by its trimmed alias.
    collection.Registrar(std::make_unique<tests::TesteCorrigirXml>(), "  ");
    collection.Registrar(std::make_unique<tests::TesteCorrigirXml>(), " Outra ");
    EXPECT_NE(collection.Itens().Find("TesteCorrigirXml"), nullptr);
    EXPECT_NE(collection.Itens().Find("outra"), nullptr);

    EXPECT_EQ(MessageOf<EmvlNFSeCollectionException>(
                  [&] { collection.Registrar(std::make_unique<tests::TesteCorrigirXml>(), "ENVIAR_VIAPROXY"); }),
              "O apelido \"ENVIAR_VIAPROXY\" já está em uso");
    EXPECT_EQ(MessageOf<EmvlNFSeCollectionException>([&] { (void)collection.Item("Inexistente"); }),
              "Comando \"Inexistente\" não foi encontrado");

    // The same object twice is refused, and still belongs to the list once.
    TmvlCollectionItem& existing = collection.Item("Outra");
    EXPECT_EQ(MessageOf<EmvlNFSeCollectionException>(
                  [&] { collection.Registrar(std::unique_ptr<TmvlCollectionItem>(&existing), "Terceira"); }),
              "Item \"Terceira (TesteCorrigirXml)\" já foi registrado anteriormente com o apelido \"Outra\"");

    // Each object registers its parameters once, when it joins the list.
    EXPECT_EQ(collection.Item("enviar_viaproxy").Parametros().DelimitedText(), "XML=|Extras=");

    tests::TesteColecaoDois derived;
    derived.RegistrarItens();
    EXPECT_EQ(derived.Itens().Count(), 5u);
    auto& replaced = dynamic_cast<tests::TesteSOAPItem&>(derived.Item("Enviar_ViaProxy"));
    EXPECT_EQ(replaced.RetornaNomeServico(), "EnviarLoteDois");
    EXPECT_EQ(replaced.Collection(), &derived);
}

TEST(TmvlNFSeAbrasf, TheCityChoosesTheCollectionBeforeEveryOperation)
{
    tools::CitySim sim;
    sim.UseAbrasfDialect("/nfse");
    sim.Start();
    const std::string root = tests::MakeCollectionEngineFolder(sim.BaseUrl() + "/nfse");
    TmvlNFSe engine(root);

    EXPECT_EQ(MessageOf<EmvlNFSeException>([&] { (void)engine.ExecutarComando("Enviar_ViaProxy"); }),
              "É necessário selecionar uma Cidade antes de executar uma operação.");

    engine.CarregarLocais();
    engine.SetCidade("CIDADEUMXX");
    TmvlCollectionItem& first = engine.ObterComando("Enviar_ViaProxy");
    ASSERT_NE(engine.Colecao(), nullptr);
    EXPECT_STREQ(engine.Colecao()->ClassName(), "TesteColecaoUm");
    // Kept while the city's collection stays the same.
    EXPECT_EQ(&engine.ObterComando("ENVIAR_VIAPROXY"), &first);

    engine.SetCidade("CIDADEDOISXX");
    first.Parametros().SetValue("XML",
                                "<EnviarLoteRpsEnvio><LoteRps><NumeroLote>7</NumeroLote></LoteRps>"
                                "</EnviarLoteRpsEnvio>");
    TmvlCollectionItem& second = engine.ObterComando("Enviar_ViaProxy");
    EXPECT_STREQ(engine.Colecao()->ClassName(), "TesteColecaoDois");
    EXPECT_EQ(engine.Colecao()->Name(), "testecolecaodois");
    second.Parametros().SetValue("XML",
                                 "<EnviarLoteRpsEnvio><LoteRps><NumeroLote>7</NumeroLote></LoteRps>"
                                 "</EnviarLoteRpsEnvio>");
    engine.ExecutarComando("Enviar_ViaProxy");
    EXPECT_EQ(sim.LastRequest().SoapAction, "http://www.abrasf.org.br/nfse/EnviarLoteDois");

    EXPECT_EQ(MessageOf<EmvlNFSeCollectionException>([&] { (void)engine.ExecutarComando("CancelarNota_ViaProxy"); }),
              "Comando \"CancelarNota_ViaProxy\" não foi encontrado");

    // A city whose collection is not registered.
    tests::WriteFile(root + "nfseLocais.ini",
                     "[LOCAIS]\nCIDADETRESXX=9999993\n[CIDADETRESXX]\nCollectionName=Desconhecida\n");
    engine.CarregarLocais();
    engine.SetCidade("CIDADETRESXX");
    try {
        (void)engine.ObterComando("Enviar_ViaProxy");
        FAIL() << "nenhum erro";
    } catch (const EmvlNFSeException& error) {
        EXPECT_STREQ(error.ClassName(), "EmvlNFSeException");
        EXPECT_STREQ(error.what(), "Coleção \"Desconhecida\" não foi encontrada.");
    }
}
