// nfse: the NFS-e engine from the command line, for integrators and support.

#include "engine/CertificateStore.h"
#include "engine/CityLookup.h"
#include "engine/mvlCollectionItem.h"
#include "engine/mvlExceptions.h"
#include "engine/mvlNFSe.h"
#include "engine/mvlNFSeXmlUtils.h"
#include "engine/mvlProxyNFSe.h"
#include "engine/mvlSchemaValidator.h"
#include "engine/mvlSignerX.h"
#include "engine/mvlXPath.h"
#include "engine/mvlXSDDataset.h"
#include "platform/Clock.h"
#include "platform/Format.h"
#include "platform/FormatSettings.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"
#include "providers/CollectionTable.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

struct Options
{
    std::string ProgramFolder; // empty: the folder of this executable
    std::string LogFolder;     // empty: where the engine's configuration says
};

// The folder asked for on the command line wins over the engine's configuration.
void ApplyLogFolder(const Options& options)
{
    if (!options.LogFolder.empty()) {
        EmvlNFSeException::SetErrorLogFolder(options.LogFolder);
    }
}

struct Command
{
    std::vector<std::string_view> Words;
    std::string_view Arguments;
    std::string_view Description;
    size_t MinArgs;
    size_t MaxArgs;
    std::function<int(const Options&, const std::vector<std::string>&)> Run;
};

std::string Environment(const TmvlNFSe& engine)
{
    switch (engine.Ambiente()) {
    case TAmbienteKind::akProducao:
        return "1 (produção)";
    case TAmbienteKind::akHomologacao:
        return "2 (homologação)";
    }
    return platform::Format("%d (inválido)", static_cast<int>(engine.Ambiente()) + 1);
}

int RunCity(const Options& options, const std::vector<std::string>& args)
{
    TmvlNFSe engine(options.ProgramFolder);
    std::string key = args[0];
    if (args.size() > 1) {
        const engine::TCidadeEngine city = engine::LocalizarCidade(args[0], args[1], engine.BaseFolder());
        if (city.TipoLayout == 0) {
            std::cerr << platform::Format("A cidade \"%s\" do estado \"%s\" não possui layout", args[0], args[1])
                      << '\n';
            return kFailed;
        }
        key = city.CidadeEngine;
    }
    if (platform::FileExists(engine.CaminhoArquivoConfig())) {
        engine.LoadConfig();
        ApplyLogFolder(options);
    } else {
        engine.CarregarLocais();
    }
    engine.SetCidade(key);
    engine.CarregarLocais(); // the city's own section of the locals file

    std::cout << "Cidade: " << engine.Cidade() << '\n'
              << "Código IBGE: " << engine.CodigoIBGECidade() << '\n'
              << "Coleção: " << engine.ConfiguracoesWebService().CollectionName << '\n'
              << "Ambiente: " << Environment(engine) << '\n';
    if (!engine.AmbienteValido()) {
        return kFailed;
    }
    std::cout << "Arquivo de servidores: " << engine.ArquivoServidoresIni().FileName() << '\n';
    static constexpr std::pair<TTipoServico, std::string_view> kServices[] = {
        {TTipoServico::tsRecepcionarLoteRps, "RecepcionarLoteRps"},
        {TTipoServico::tsConsultarSituacaoLoteRps, "ConsultarSituacaoLoteRps"},
        {TTipoServico::tsConsultarLoteRps, "ConsultarLoteRps"},
        {TTipoServico::tsConsultarNfsePorRps, "ConsultarNfsePorRps"},
        {TTipoServico::tsConsultarNfse, "ConsultarNfse"},
        {TTipoServico::tsCancelarNfse, "CancelarNfse"},
    };
    int result = kOk;
    for (const auto& [type, name] : kServices) {
        try {
            const std::string url = engine.ObterUrlServico(type);
            std::cout << name << ": " << url << '\n';
        } catch (const EmvlNFSeAddressException& error) {
            std::cout << name << ": " << error.what() << '\n';
            result = kFailed;
        }
    }
    return result;
}

int RunXmlValidate(const Options& options, const std::vector<std::string>& args)
{
    engine::GovX16Utility utility(options.ProgramFolder);
    const std::string xml = utility.ReadTextFile(utility.ExpandPath(args[0]));
    const std::string target = utility.ExpandPath(args[1]);
    std::string schema = target;
    if (platform::DirectoryExists(target)) {
        schema = utility.FindSchemaFor(xml, target);
        if (schema.empty()) {
            std::cerr << utility.LastError() << '\n';
            return kFailed;
        }
    }
    TmvlSchemaValidator validator;
    validator.LoadXML(xml);
    validator.SetSchemaFolder(platform::ExtractFilePath(schema));
    validator.AddSchema(validator.DocumentElement().NamespaceURI(), schema);
    if (validator.Validate()) {
        std::cout << "Válido segundo " << schema << '\n';
        return kOk;
    }
    for (const TmvlSchemaValidator::Error& error : validator.Errors()) {
        std::cout << platform::Format("linha %d: %s", error.Line, error.Reason) << '\n';
    }
    std::cout << platform::Format("%d erro(s) segundo %s", static_cast<int>(validator.Errors().size()), schema) << '\n';
    return kFailed;
}

int RunXmlFormat(const Options& options, const std::vector<std::string>& args)
{
    engine::GovX16Utility utility(options.ProgramFolder);
    std::cout << FormatXml(utility.ReadTextFile(utility.ExpandPath(args[0]))) << '\n';
    return kOk;
}

// A name given on the command line is taken in the current folder, as a shell user expects;
// the engine itself takes relative names in the program folder.
std::string CommandLinePath(const std::string& path)
{
    return std::filesystem::absolute(path).lexically_normal().string();
}

// "--name value" options after a command, and the words that are not options.
struct CommandLine
{
    std::vector<std::pair<std::string, std::string>> Options;
    std::vector<std::string> Flags;
    std::vector<std::string> Words;

    const std::string* Option(std::string_view name) const
    {
        for (const auto& [key, value] : Options) {
            if (key == name) {
                return &value;
            }
        }
        return nullptr;
    }
    bool Flag(std::string_view name) const
    {
        for (const std::string& flag : Flags) {
            if (flag == name) {
                return true;
            }
        }
        return false;
    }
};

CommandLine ParseCommandLine(const std::vector<std::string>& args, const std::vector<std::string_view>& withValue)
{
    CommandLine line;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        bool takesValue = false;
        for (std::string_view name : withValue) {
            takesValue = takesValue || arg == name;
        }
        if (takesValue) {
            if (i + 1 >= args.size()) {
                throw std::invalid_argument(platform::Format("A opção %s precisa de um valor.", arg));
            }
            line.Options.emplace_back(arg, args[i + 1]);
            ++i;
        } else if (arg.starts_with("--")) {
            line.Flags.push_back(arg);
        } else {
            line.Words.push_back(arg);
        }
    }
    return line;
}

// A password given on the command line shows in the process list: without --password it is
// read from the first line of the standard input.
std::string Password(const CommandLine& line)
{
    if (const std::string* password = line.Option("--password")) {
        return *password;
    }
    std::string password;
    std::getline(std::cin, password);
    if (!password.empty() && password.back() == '\r') {
        password.pop_back();
    }
    return password;
}

// The engine of a city, configured from the program folder; its logs are named on the error
// output as they are written.
std::unique_ptr<TmvlNFSe> OpenCityEngine(const Options& options, const std::string& city)
{
    providers::RegisterCollections();
    auto engine = std::make_unique<TmvlNFSe>(options.ProgramFolder);
    if (platform::FileExists(engine->CaminhoArquivoConfig())) {
        engine->LoadConfig();
        ApplyLogFolder(options);
    } else {
        engine->CarregarLocais();
    }
    engine->SetCidade(city);
    engine->CarregarLocais();
    engine->SetOnLog([](const std::string& nome, const std::string&, const std::string& fileName) {
        std::cerr << platform::Format("log %s: %s", nome, fileName) << '\n';
    });
    engine->SetOnProgresso([](const std::string& message) { std::cerr << message << '\n'; });
    return engine;
}

void PrintAnswer(const std::string& answer)
{
    std::cout << answer;
    if (!answer.empty() && answer.back() != '\n') {
        std::cout << '\n';
    }
}

std::string Extras(const CommandLine& line)
{
    const std::string* extras = line.Option("--extras");
    return extras ? *extras : std::string();
}

int RunTx2Xml(const Options& options, const std::vector<std::string>& args)
{
    const CommandLine line = ParseCommandLine(args, {"--mapping", "--schema-dir", "--section", "--city", "--extras"});
    if ((!line.Option("--mapping") == !line.Option("--city")) || line.Words.size() != 1 || !line.Flags.empty()) {
        throw std::invalid_argument("Informe --mapping ARQUIVO ou --city CIDADE, e o arquivo TX2.");
    }
    if (const std::string* city = line.Option("--city")) {
        // The city's own conversion, as the batch window runs it.
        const std::unique_ptr<TmvlNFSe> engine = OpenCityEngine(options, *city);
        TmvlProxyNFSe proxy(engine.get());
        PrintAnswer(proxy.GerarXMLPorTX2(CommandLinePath(line.Words[0]), Extras(line)));
        return kOk;
    }
    TmvlXSDDataset tree;
    tree.SetConfigSection(line.Option("--section") ? *line.Option("--section") : "ENVIAR");
    if (const std::string* schemaDir = line.Option("--schema-dir")) {
        tree.SetSchemaDirectory(platform::IncludeTrailingSeparator(CommandLinePath(*schemaDir)));
    }
    tree.SetMappingFileName(CommandLinePath(*line.Option("--mapping")));
    tree.LoadFromTx2File(CommandLinePath(line.Words[0]));
    std::cout << tree.GetXml() << '\n';
    return kOk;
}

int RunSign(const Options& options, const std::vector<std::string>& args)
{
    const CommandLine line = ParseCommandLine(args, {"--pfx", "--password", "--cert", "--id", "--city", "--extras"});
    if (const std::string* city = line.Option("--city"); city && line.Words.size() == 1) {
        // As the city's collection signs: its settings and the certificate of the configuration,
        // or the one given.
        const std::unique_ptr<TmvlNFSe> engine = OpenCityEngine(options, *city);
        if (const std::string* pfx = line.Option("--pfx")) {
            engine->SetCaminhoCertificado(CommandLinePath(*pfx));
            engine->SetSenhaCertificado(Password(line));
        } else if (const std::string* name = line.Option("--cert")) {
            engine->SetNomesCertificado({*name});
        }
        TmvlProxyNFSe proxy(engine.get());
        PrintAnswer(proxy.AssinarXML(engine->Utility().ReadTextFile(CommandLinePath(line.Words[0])), Extras(line)));
        return kOk;
    }
    if (line.Words.size() != 1 || (line.Option("--pfx") == nullptr) == (line.Option("--cert") == nullptr)) {
        throw std::invalid_argument("Informe o XML e um certificado: --pfx ARQUIVO ou --cert NOME.");
    }
    engine::GovX16Utility utility(options.ProgramFolder);
    // A file named on the command line is the user's, relative to where the command runs.
    const std::string xml = utility.ReadTextFile(CommandLinePath(line.Words[0]));

    TmvlSignerX signer;
    signer.SetRemoveAccents(false);
    signer.SetSecondOption(3);
    signer.SetSignatureOption(line.Flag("--sha256") ? 1 : 0);
    if (const std::string* pfx = line.Option("--pfx")) {
        signer.SetCaminhoCertificado(*pfx);
        signer.SetSenhaCertificado(Password(line));
    } else {
        signer.SetNomesCertificado(*line.Option("--cert"));
    }

    std::string result;
    if (const std::string* id = line.Option("--id")) {
        TmvlXPath document;
        document.LoadXML(xml);
        const std::string name =
            document.Evaluate(platform::Format("local-name(//*[@Id=%s])", engine::XPathLiteral(*id)));
        if (name.empty()) {
            throw std::invalid_argument(platform::Format("Nenhum elemento com Id=\"%s\" no XML.", *id));
        }
        signer.Component().SetElementName(name);
        signer.SetIdAttribute("Id");
        result = signer.Component().Sign(xml, *id);
    } else {
        TmvlXPath document;
        document.LoadXML(xml);
        const std::string root = document.Evaluate("local-name(/*)");
        engine::SigningSettings settings;
        if (engine::IsLotDocument(root)) {
            // RPS that already carry an Id keep it.
            settings.IdRpsAutomatico = document.Evaluate(R"(count(//*[local-name()="InfRps"][not(@Id)]))") != "0";
            result = engine::SignDocumentWithSignerX(xml, settings, signer);
        } else {
            signer.Component().SetElementName(root);
            signer.SetIdAttribute({});
            result = signer.Component().Sign(xml, {});
        }
    }
    std::cout << result;
    if (!result.empty() && result.back() != '\n') {
        std::cout << '\n';
    }
    return kOk;
}

int RunCertImport(const Options&, const std::vector<std::string>& args)
{
    const CommandLine line = ParseCommandLine(args, {"--password"});
    if (line.Words.size() != 1) {
        throw std::invalid_argument("Informe o arquivo .pfx do certificado.");
    }
    engine::CertificateStore store;
    const engine::Certificate certificate = store.Import(line.Words[0], Password(line));
    std::cout << "Certificado instalado: " << certificate.SubjectName() << '\n'
              << "Válido até: "
              << platform::FormatDateTime("dd/mm/yyyy", certificate.ValidTo(), platform::BrazilianFormatSettings())
              << '\n'
              << "Impressão digital (SHA-1): " << certificate.Thumbprint() << '\n';
    return kOk;
}

int RunCertList(const Options&, const std::vector<std::string>&)
{
    engine::CertificateStore store;
    const platform::DateTime now = platform::Clock::Now();
    for (const engine::Certificate& certificate : store.Certificates()) {
        std::cout << certificate.SubjectName() << " | válido até "
                  << platform::FormatDateTime("dd/mm/yyyy", certificate.ValidTo(), platform::BrazilianFormatSettings())
                  << (certificate.IsValidAt(now) ? "" : " (fora da validade)") << " | série "
                  << certificate.SerialNumber() << " | SHA-1 " << certificate.Thumbprint() << '\n';
    }
    return kOk;
}

// The six services every city's servers file may name; any other name is a service of the
// provider's own (its address key and its SOAP action).
TTipoServico ServiceType(std::string_view name)
{
    static constexpr std::pair<std::string_view, TTipoServico> kTypes[] = {
        {"RecepcionarLoteRps", TTipoServico::tsRecepcionarLoteRps},
        {"ConsultarSituacaoLoteRps", TTipoServico::tsConsultarSituacaoLoteRps},
        {"ConsultarLoteRps", TTipoServico::tsConsultarLoteRps},
        {"ConsultarNfsePorRps", TTipoServico::tsConsultarNfsePorRps},
        {"ConsultarNfse", TTipoServico::tsConsultarNfse},
        {"CancelarNfse", TTipoServico::tsCancelarNfse},
    };
    for (const auto& [service, type] : kTypes) {
        if (platform::EqualsIgnoreCase(service, name)) {
            return type;
        }
    }
    return TTipoServico::tsOutro;
}

int RunSend(const Options& options, const std::vector<std::string>& args)
{
    const CommandLine line = ParseCommandLine(args, {"--city", "--operation", "--service", "--extras"});
    const std::string* city = line.Option("--city");
    const std::string* operation = line.Option("--operation");
    const std::string* service = line.Option("--service");
    if (!city || line.Words.size() != 1 || (operation == nullptr) == (service == nullptr)) {
        throw std::invalid_argument(
            "Informe --city CIDADE, --operation OPERACAO ou --service SERVICO, e o arquivo XML.");
    }
    const std::unique_ptr<TmvlNFSe> opened = OpenCityEngine(options, *city);
    TmvlNFSe& engine = *opened;
    // A file named on the command line is the user's, relative to where the command runs.
    const std::string xml = engine.Utility().ReadTextFile(CommandLinePath(line.Words[0]));

    std::string answer;
    if (service) {
        // The request as it stands, in the city's envelope, logged like every provider request.
        const std::string request = CompactXml(engine.MontarEnvelopeSoap(CompactXml(xml)));
        engine.SalvarLog(request, *service + "-envio");
        answer = engine.ChamarWebService(ServiceType(*service), request, *service, *service);
        engine.SalvarLog(answer, *service + "-resposta");
    } else {
        TmvlCollectionItem& item = engine.ObterComando(*operation);
        if (item.Parametros().Exists("XML")) {
            item.Parametros().SetValue("XML", xml);
        }
        if (item.Parametros().Exists("Extras")) {
            item.Parametros().SetValue("Extras", line.Option("--extras") ? *line.Option("--extras") : "");
        }
        answer = engine.ExecutarComando(*operation);
    }
    std::cout << answer;
    if (!answer.empty() && answer.back() != '\n') {
        std::cout << '\n';
    }
    return kOk;
}

int RunConsult(const Options& options, const std::vector<std::string>& args)
{
    const CommandLine line = ParseCommandLine(args, {"--city", "--extras"});
    const std::string* city = line.Option("--city");
    const std::string kind = line.Words.empty() ? std::string() : line.Words.front();
    const size_t values = line.Words.size() - (line.Words.empty() ? 0 : 1);
    const bool fits =
        (kind == "lot" && values == 1) || (kind == "rps" && values == 3) || (kind == "nfse" && values == 1);
    if (!city || !fits) {
        throw std::invalid_argument("Informe --city CIDADE e lot PROTOCOLO, rps NUMERO SERIE TIPO ou nfse NUMERO.");
    }
    const std::unique_ptr<TmvlNFSe> engine = OpenCityEngine(options, *city);
    TmvlProxyNFSe proxy(engine.get());
    if (kind == "lot") {
        PrintAnswer(proxy.ConsultarLote(line.Words[1], Extras(line)));
    } else if (kind == "rps") {
        PrintAnswer(proxy.ConsultarNFSePorRPS(line.Words[1], line.Words[2], line.Words[3], Extras(line)));
    } else {
        PrintAnswer(proxy.ConsultarNota(line.Words[1], Extras(line)));
    }
    return kOk;
}

int RunCancel(const Options& options, const std::vector<std::string>& args)
{
    const CommandLine line = ParseCommandLine(args, {"--city", "--extras"});
    const std::string* city = line.Option("--city");
    if (!city || line.Words.size() != 1) {
        throw std::invalid_argument("Informe --city CIDADE e a chave da nota (número da NFS-e, \"_\" e o resto).");
    }
    const std::unique_ptr<TmvlNFSe> engine = OpenCityEngine(options, *city);
    TmvlProxyNFSe proxy(engine.get());
    PrintAnswer(proxy.CancelarNota(line.Words[0], Extras(line)));
    return kOk;
}

const std::vector<Command>& Commands()
{
    static const std::vector<Command> kCommands {
        {{"city"},
         "NOME [UF]",
         "a cidade do motor (chave, apelido ou nome e UF): chave, código IBGE, coleção e endereços",
         1,
         2,
         RunCity},
        {{"xml", "validate"}, "ARQUIVO PASTA_OU_XSD", "valida o XML e lista todos os erros", 2, 2, RunXmlValidate},
        {{"xml", "format"}, "ARQUIVO", "o XML com uma marca por linha, indentado", 1, 1, RunXmlFormat},
        {{"send"},
         "--city CIDADE (--operation OPERACAO [--extras EXTRAS] | --service SERVICO) ARQUIVO.xml",
         "envia o XML ao serviço da cidade (pela operação da coleção, ou direto ao serviço) e mostra a resposta; os "
         "caminhos dos logs saem na saída de erros",
         5,
         7,
         RunSend},
        {{"tx2", "xml"},
         "(--mapping ARQUIVO [--schema-dir PASTA] [--section SECAO] | --city CIDADE [--extras EXTRAS]) LOTE.tx2",
         "o XML do lote TX2 segundo o mapeamento e o schema do provedor (seção padrão ENVIAR), ou como a coleção da "
         "cidade o gera",
         3,
         7,
         RunTx2Xml},
        {{"sign"},
         "(--pfx ARQUIVO [--password SENHA] | --cert NOME) [--id ID] [--sha256] XML  ou  --city CIDADE [--extras "
         "EXTRAS] [--pfx ARQUIVO [--password SENHA] | --cert NOME] XML",
         "assina o elemento de Id ID, ou as RPS e o lote, ou o documento; o XML assinado na saída (sem --password, "
         "a senha vem da entrada padrão)",
         1,
         9,
         RunSign},
        {{"consult"},
         "--city CIDADE [--extras EXTRAS] (lot PROTOCOLO | rps NUMERO SERIE TIPO | nfse NUMERO)",
         "consulta o lote, a NFS-e de um RPS ou a NFS-e pelo número e mostra a resposta",
         4,
         8,
         RunConsult},
        {{"cancel"},
         "--city CIDADE [--extras EXTRAS] CHAVE",
         "cancela a NFS-e da chave (o número antes do primeiro \"_\") e mostra a resposta",
         3,
         5,
         RunCancel},
        {{"cert", "import"},
         "ARQUIVO.pfx [--password SENHA]",
         "instala o certificado A1 na pasta de certificados do usuário",
         1,
         3,
         RunCertImport},
        {{"cert", "list"},
         "",
         "os certificados instalados: nome, validade, série e impressão digital",
         0,
         0,
         RunCertList},
    };
    return kCommands;
}

void Usage(std::ostream& out)
{
    out << "Uso: nfse [--pasta PASTA_DO_PROGRAMA] [--log PASTA_DO_LOG] COMANDO\n"
           "  --log: onde fica nfse_exception.log (padrão: a pasta do programa)\n";
    for (const Command& command : Commands()) {
        std::string words;
        for (std::string_view word : command.Words) {
            words += std::string(word) + " ";
        }
        out << "  nfse " << words << command.Arguments << "\n      " << command.Description << '\n';
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    Options options;
    while (!args.empty() && args.front().starts_with("--")) {
        if (args.front() == "--pasta" && args.size() > 1) {
            options.ProgramFolder = args[1];
            args.erase(args.begin(), args.begin() + 2);
        } else if (args.front() == "--log" && args.size() > 1) {
            options.LogFolder = args[1];
            args.erase(args.begin(), args.begin() + 2);
        } else if (args.front() == "--help") {
            Usage(std::cout);
            return kOk;
        } else {
            Usage(std::cerr);
            return kUsage;
        }
    }
    // Errors of another program folder are logged there, not beside this executable.
    EmvlNFSeException::SetErrorLogFolder(options.LogFolder.empty() ? options.ProgramFolder : options.LogFolder);
    for (const Command& command : Commands()) {
        if (args.size() < command.Words.size()) {
            continue;
        }
        bool matches = true;
        for (size_t i = 0; i < command.Words.size(); ++i) {
            matches = matches && args[i] == command.Words[i];
        }
        if (!matches) {
            continue;
        }
        const std::vector<std::string> rest(args.begin() + static_cast<long>(command.Words.size()), args.end());
        if (rest.size() < command.MinArgs || rest.size() > command.MaxArgs) {
            Usage(std::cerr);
            return kUsage;
        }
        try {
            return command.Run(options, rest);
        } catch (const std::exception& error) {
            std::cerr << error.what() << '\n';
            return kFailed;
        }
    }
    Usage(std::cerr);
    return kUsage;
}
