#include "providers/mvlCollectionUtils.h"

#include "engine/mvlExceptions.h"
#include "engine/mvlMappingFile.h"
#include "engine/mvlNFSe.h"
#include "engine/mvlNFSeXmlUtils.h"
#include "engine/mvlSchemaValidator.h"
#include "engine/mvlXPath.h"
#include "platform/Format.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"

std::string TmvlCollectionUtils::ValidarXmlEnvio(TmvlNFSeAbrasf& engine, std::string_view xml)
{
    if (!engine.ValidarEsquemaAntesEnvio()) {
        return {};
    }
    TmvlXPath document;
    if (!document.TryLoadXML(xml)) {
        throw EmvlSchemaValidationException("XML de envio não é um XML válido");
    }
    const std::string nameSpace = document.Evaluate("namespace-uri(/*)");
    const std::string& collection = engine.ConfiguracoesWebService().CollectionName;
    TmvlMappingFile mapping;
    const std::string mappingFile =
        FindEngineFile(engine.DiretorioTemplates(), engine.DiretorioEsquemas(), engine.Cidade(),
                       TEngineFileKind::efkSchema, engine.MappingFileName(), collection, engine.BaseFolder());
    try {
        mapping.LoadFromFile(mappingFile);
    } catch (const std::exception&) {
        throw EmvlNFSeException(platform::Format("Erro ao carregar arquivo de Mapping: %s", mappingFile));
    }
    const std::string schema(platform::Trim(mapping.ReadString("ENVIAR", "XSDFile")));
    if (schema.empty()) {
        throw EmvlSchemaValidationException("Não foi possível encontrar a arquivo XSD a partir do mapping");
    }
    const std::string folder =
        platform::IncludeTrailingSeparator(platform::JoinPath(engine.DiretorioEsquemas(), engine.Cidade()));
    TmvlSchemaValidator validator;
    validator.SetSchemaFolder(folder);
    validator.AddSchema(nameSpace, folder + schema);
    validator.LoadXML(xml);
    const bool valid = validator.Validate();
    const std::vector<std::string> errors = validator.ErrorsAsList();
    std::string text;
    for (const std::string& error : errors) {
        text += error + "\r\n";
    }
    if (!valid && !errors.empty()) {
        throw EmvlSchemaValidationException(
            platform::Format("O arquivo contém 1 ou mais erros na validação de esquema:\r\n%s", errors.front()));
    }
    return text;
}

void TmvlObterLinkImpressao::Executar(TmvlNFSeAbrasf&)
{
    const std::string xml = Parametros().Value("XML", true);
    std::string link;
    if (XmlIsWellFormed(xml)) {
        TmvlXPath document;
        document.LoadXML(xml);
        link = document.SelectText(XPathLink());
    } else {
        link = TextBetweenTags(xml, TagLink());
    }
    if (platform::Trim(link).empty()) {
        throw EmvlNFSeCheckParams("Erro ao obter o link da nfse. Verifique o parâmetro Xml.");
    }
    SetResponse(link);
}
