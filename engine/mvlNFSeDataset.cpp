#include "engine/mvlNFSeDataset.h"

#include "engine/mvlExceptions.h"
#include "engine/mvlNFSeXmlUtils.h"
#include "platform/Format.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"

#include <string_view>

namespace {

struct FolderFallback
{
    const char* CityFolder;
    const char* ProviderFolder;
};

// The mapping files live in one folder per provider; a city folder without its own file
// borrows its provider's. Keys compare without case, the value is used as written.
constexpr FolderFallback kFolderFallbacks[] = {
    // GINFES
    {"ARAXA", "GINFES"},
    {"ITABIRAMG", "GINFES"},
    {"ITU", "GINFES"},
    {"FORTALEZA", "GINFES"},
    {"COTIA", "GINFES"},
    {"UMUARAMA", "GINFES"},
    {"SANTOANDRE", "GINFES"},
    {"BETIM", "GINFES"},
    {"RIBEIRAOPRETO", "GINFES"},
    {"GUARULHOS", "GINFES"},
    {"SAOBERNARDODOCAMPO", "GINFES"},
    {"SAOJOSEDOSCAMPOS", "GINFES"},
    {"MACEIO", "GINFES"},
    {"SAOJOSEDORIOPRETO", "GINFES"},
    {"SANTOS", "GINFES"},
    {"FRANCA", "GINFES"},
    {"ITABORAI", "GINFES"},
    {"DIADEMA", "GINFES"},
    {"SAOCARLOSSP", "GINFES"},
    {"PELOTAS", "GINFES"},
    {"JUNDIAI", "GINFES"},
    {"PAULINIA", "GINFES"},
    {"MAUA", "GINFES"},
    {"GUARUJA", "GINFES"},
    {"SAOCAETANODOSUL", "GINFES"},
    {"ARARAQUARA", "GINFES"},
    {"MANAUS", "GINFES"},
    {"AMPAROSP", "GINFES"},
    {"CARAGUATATUBASP", "GINFES"},
    {"ITAJUBAMG", "GINFES"},
    {"RIOCLAROSP", "GINFES"},
    {"CARUARU", "GINFES"},
    {"RIBEIRAOPIRES", "GINFES"},
    {"ARAPIRACA", "GINFES"},
    {"VOTUPORANGASP", "GINFES"},
    {"SUZANOSP", "GINFES"},
    {"GUARATINGUETASP", "GINFES"},
    {"CAPIVARISP", "GINFES"},
    {"OLIMPIASP", "GINFES"},
    {"CATAGUASESMG", "GINFES"},
    {"GUAIBARS", "GINFES"},
    {"JARDINOPOLISSP", "GINFES"},
    {"MURIAEMG", "GINFES"},
    {"UBAMG", "GINFES"},
    {"HORTOLANDIASP", "GINFES"},
    {"LAGOASANTAMG", "GINFES"},
    {"SAOROQUESP", "GINFES"},
    {"JAUSP", "GINFES"},
    {"SALTOSP", "GINFES"},
    {"SANTARITADOPASSAQUATROSP", "GINFES"},
    {"EUSEBIOCE", "GINFES"},
    {"RIBEIRAODASNEVESMG", "GINFES"},
    {"UBATUBASP", "GINFES"},
    {"PORTOFERREIRASP", "GINFES"},
    {"ITAUNAMG", "GINFES"},
    {"POCOSDECALDASMG", "GINFES"},
    {"POUSOALEGREMG", "GINFES"},
    {"TAQUARITINGASP", "GINFES"},
    {"MORROAGUDOSP", "GINFES"},
    {"JABOTICABALSP", "GINFES"},
    {"BELFORDROXORJ", "GINFES"},
    {"SENADORCANEDOGO", "GINFES"},
    {"SARZEDOMG", "GINFES"},
    // BETHA
    {"CAPINZALSC", "BETHA"},
    {"BENTOGONCALVES", "BETHA"},
    {"MANDIRITUBA", "BETHA"},
    {"GOIOERE", "BETHA"},
    {"CRICIUMA", "BETHA"},
    {"PARANAVAI", "BETHA"},
    {"BOMBINHAS", "BETHA"},
    {"VARZEAGRANDE", "BETHA"},
    {"SAOJOSE", "BETHA"},
    {"LAGES", "BETHA"},
    {"SAOMATEUSDOSUL", "BETHA"},
    {"ALMIRANTETAMANDARE", "BETHA"},
    {"URUSSANGA", "BETHA"},
    {"NAVEGANTES", "BETHA"},
    {"UNIAODAVITORIA", "BETHA"},
    {"CORNELIOPROCOPIO", "BETHA"},
    {"AGUABOAMT", "BETHA"},
    {"MANDAGUACUPR", "BETHA"},
    {"BRACODONORTESC", "BETHA"},
    {"CHAPECOSC", "BETHA"},
    {"FAZENDARIOGRANDEPR", "BETHA"},
    {"BARRACAOPR", "BETHA"},
    {"GENERALCARNEIROPR", "BETHA"},
    {"JOACABASC", "BETHA"},
    {"NOVAANDRADINAMS", "BETHA"},
    {"XANXERESC", "BETHA"},
    {"ORLANDIASP", "BETHA"},
    {"SAOMIGUELDOOESTESC", "BETHA"},
    {"TIJUCASSC", "BETHA"},
    {"IMBITUBASC", "BETHA"},
    {"XAXIMSC", "BETHA"},
    {"ITAPIRANGASC", "BETHA"},
    {"SOMBRIOSC", "BETHA"},
    {"ITAUDEMINASMG", "BETHA"},
    {"JUTIMS", "BETHA"},
    {"MOCOCASP", "BETHA"},
    {"LAGUNASC", "BETHA"},
    {"CONGONHASMG", "BETHA"},
    {"MORRODAFUMACASC", "BETHA"},
    {"SAOJOAQUIMSC", "BETHA"},
    {"ORLEANSSC", "BETHA"},
    {"MARAVILHASC", "BETHA"},
    {"SANTAROSADEVITERBOSP", "BETHA"},
    {"ALFENASMG", "BETHA"},
    {"MARIANAMG", "BETHA"},
    {"DIONISIOCERQUEIRASC", "BETHA"},
    {"CATANDUVASSC", "BETHA"},
    {"COCALDOSULSC", "BETHA"},
    {"TORRESRS", "BETHA"},
    {"PINHALZINHOSC", "BETHA"},
    {"PALMASPR", "BETHA"},
    {"SANTOAMARODAIMPERATRIZSC", "BETHA"},
    {"CAPAODACANOARS", "BETHA"},
    {"PALMEIRADASMISSOESRS", "BETHA"},
    {"SACRAMENTOMG", "BETHA"},
    {"CAMPOSNOVOSSC", "BETHA"},
    // WebIss
    {"LAGARTOSE", "WebIss"},
    {"ARACAJU", "WebIss"},
    {"VITORIADACONQUISTA", "WebIss"},
    {"TANGARADASERRA", "WebIss"},
    {"NITEROI", "WebIss"},
    {"FEIRADESANTANA", "WebIss"},
    {"CALDASNOVAS", "WebIss"},
    {"UBERABA", "WebIss"},
    {"BAGE", "WebIss"},
    {"CANDEIASBA", "WebIss"},
    {"MAFRASC", "WebIss"},
    {"LUCASDORIOVERDEMT", "WebIss"},
    {"SAOGOTARDOMG", "WebIss"},
    {"ARCOSMG", "WebIss"},
    {"FORMIGAMG", "WebIss"},
    {"NOVASERRANAMG", "WebIss"},
    {"CAMPOBELOMG", "WebIss"},
    {"ITABUNABA", "WebIss"},
    {"CORONELFABRICIANOMG", "WebIss"},
    {"BARBACENAMG", "WebIss"},
    {"PASSOSMG", "WebIss"},
    {"GUANAMBIBA", "WebIss"},
    {"SANTARITADOSAPUCAIMG", "WebIss"},
    {"PORTONACIONALTO", "WebIss"},
    {"PALMASTO", "WebIss"},
    {"EXTREMAMG", "WebIss"},
    {"TERESOPOLISRJ", "WebIss"},
    {"CASSIAMG", "WebIss"},
    {"ESTANCIASE", "WebIss"},
    {"ITAPETINGABA", "WebIss"},
    {"LUISEDUARDOMAGALHAESBA", "WebIss"},
    {"SAOLOURENCOMG", "WebIss"},
    {"BRUMADOBA", "WebIss"},
    {"ITABAIANASE", "WebIss"},
    {"ICARASC", "WebIss"},
    // FIORILLI
    {"OUROPRETODOOESTE", "FIORILLI"},
    {"NOVOHORIZONTESP", "FIORILLI"},
    {"JIPARANA", "FIORILLI"},
    {"PEDREIRASP", "FIORILLI"},
    {"MIRANDOPOLISSP", "FIORILLI"},
    {"IBITINGASP", "FIORILLI"},
    {"IBATESP", "FIORILLI"},
    {"BRODOWSKISP", "FIORILLI"},
    {"BARIRISP", "FIORILLI"},
    {"AVARESP", "FIORILLI"},
    {"FERNANDOPOLISSP", "FIORILLI"},
    {"PARAGUACUPAULISTASP", "FIORILLI"},
    {"PONTALSP", "FIORILLI"},
    {"SAQUAREMA", "FIORILLI"},
    {"ASSISSP", "FIORILLI"},
    {"GUAIRASP", "FIORILLI"},
    {"GUARASP", "FIORILLI"},
    {"SAOJOAQUIMDABARRASP", "FIORILLI"},
    {"MORUNGABASP", "FIORILLI"},
    {"LAPAPR", "FIORILLI"},
    {"IGARAPAVASP", "FIORILLI"},
    {"GARCASP", "FIORILLI"},
    {"MONTEAPRAZIVELSP", "FIORILLI"},
    {"TIMONMA", "FIORILLI"},
    {"FLORIANOPI", "FIORILLI"},
    {"PIRAPOZINHOSP", "FIORILLI"},
    {"GUARARAPESSP", "FIORILLI"},
    {"SERRANEGRASP", "FIORILLI"},
    {"HOLAMBRASP", "FIORILLI"},
    // GOVBR
    {"JULIODECASTILHOSRS", "GOVBR"},
    {"CATANDUVA", "GOVBR"},
    {"IJUI", "GOVBR"},
    {"PATOBRANCO", "GOVBR"},
    {"MARMELEIRO", "GOVBR"},
    {"NOVASANTARITARS", "GOVBR"},
    {"APUCARANAPR", "GOVBR"},
    {"SANTOANTONIODAPLATINAPR", "GOVBR"},
    {"MEDIANEIRAPR", "GOVBR"},
    {"BOAESPERANCAMG", "GOVBR"},
    {"JACAREZINHOPR", "GOVBR"},
    {"ASSISCHATEAUBRIANDPR", "GOVBR"},
    {"SANTATEREZINHADEITAIPUPR", "GOVBR"},
    {"ROSANASP", "GOVBR"},
    {"MATINHOSPR", "GOVBR"},
    {"BARRINHASP", "GOVBR"},
    {"ROLANDIA", "GOVBR"},
    {"SAOGABRIELRS", "GOVBR"},
    {"JANDAIADOSULPR", "GOVBR"},
    {"CAMAQUARS", "GOVBR"},
    {"COLINASP", "GOVBR"},
    {"NAVIRAIMS", "GOVBR"},
    {"ITAIPULANDIAPR", "GOVBR"},
    // Simpliss
    {"VARGEMGRANDEDOSUL", "Simpliss"},
    {"PIRACICABA", "Simpliss"},
    {"PRESIDENTEPRUDENTE", "Simpliss"},
    {"TUPASP", "Simpliss"},
    {"CASABRANCASP", "Simpliss"},
    {"DOISCORREGOSSP", "Simpliss"},
    {"LAGOADAPRATAMG", "Simpliss"},
    {"OSVALDOCRUZSP", "Simpliss"},
    {"PATROCINIOMG", "Simpliss"},
    {"CARAPICUIBASP", "Simpliss"},
    {"BANDEIRANTESPR", "Simpliss"},
    {"ARAGUARIMG", "Simpliss"},
    {"SAOJOSEDORIOPARDO", "Simpliss"},
    {"SAOJOAODABOAVISTASP", "Simpliss"},
    {"IRACEMAPOLISSP", "Simpliss"},
    {"EMBUDASARTESSP", "Simpliss"},
    {"ESPIRITOSANTODOPINHALSP", "Simpliss"},
    {"JOAOMONLEVADEMG", "Simpliss"},
    {"COLORADOPR", "Simpliss"},
    {"NOVALONDRINAPR", "Simpliss"},
    {"BALNEARIOCAMBORIUSC", "Simpliss"},
    {"ANDIRAPR", "Simpliss"},
    {"SANTACRUZDASPALMEIRASSP", "Simpliss"},
    // IPM
    {"BIGUACU", "IPM"},
    {"PINHAIS", "IPM"},
    {"MARECHALCANDIDORONDON", "IPM"},
    {"CAMPOMOURAO", "IPM"},
    {"ARAPONGAS", "IPM"},
    {"GUAIRAPR", "IPM"},
    {"CAMPOLARGOPR", "IPM"},
    {"SANTAROSARS", "IPM"},
    {"VIDEIRASC", "IPM"},
    {"CASTROPR", "IPM"},
    {"PALHOCA", "IPM"},
    {"CONCORDIASC", "IPM"},
    {"COLOMBOPR", "IPM"},
    {"GRAVATAIRS", "IPM"},
    {"BALNEARIOPICARRASSC", "IPM"},
    {"SANTAHELENAPR", "IPM"},
    {"BRUSQUESC", "IPM"},
    {"SAOFRANCISCODOSULSC", "IPM"},
    {"TELEMACOBORBAPR", "IPM"},
    {"PARANAGUA", "IPM"},
    {"GUARAMIRIMSC", "IPM"},
    {"TIMBOSC", "IPM"},
    // ISSNETONLINE
    {"APARECIDADEGOIANIA", "ISSNETONLINE"},
    {"CASCAVEL", "ISSNETONLINE"},
    {"CUIABA", "ISSNETONLINE"},
    {"SORRISOMT", "ISSNETONLINE"},
    {"SAOVICENTE", "ISSNETONLINE"},
    {"DOURADOS", "ISSNETONLINE"},
    {"SANTAMARIARS", "ISSNETONLINE"},
    {"NOVOHAMBURGO", "ISSNETONLINE"},
    {"PRAIAGRANDESP", "ISSNETONLINE"},
    {"ANAPOLIS", "ISSNETONLINE"},
    {"TRESCORACOESMG", "ISSNETONLINE"},
    {"JACAREISP", "ISSNETONLINE"},
    {"PARANAIBAMS", "ISSNETONLINE"},
    // SIL
    {"CARIACICA", "SIL"},
    {"SERRA", "SIL"},
    {"BIRIGUI", "SIL"},
    {"SERTAOZINHOSP", "SIL"},
    {"MOGIDASCRUZESSP", "SIL"},
    {"ITAPEVISP", "SIL"},
    {"OURINHOSSP", "SIL"},
    {"ARUJASP", "SIL"},
    {"CUBATAOSP", "SIL"},
    {"ITAQUAQUECETUBASP", "SIL"},
    {"MATAOSP", "SIL"},
    {"FRANCODAROCHASP", "SIL"},
    {"ITAPOLISSP", "SIL"},
    // ISSONLINE
    {"ARACATUBA", "ISSONLINE"},
    {"TAMBAU", "ISSONLINE"},
    {"BARRETOSSP", "ISSONLINE"},
    {"DRACENASP", "ISSONLINE"},
    {"AGUDOSSP", "ISSONLINE"},
    {"PAICANDUPR", "ISSONLINE"},
    {"LINSSP", "ISSONLINE"},
    {"PRESIDENTEVENCESLAUSP", "ISSONLINE"},
    {"BROTASSP", "ISSONLINE"},
    {"IPOJUCAPE", "ISSONLINE"},
    // SAATRI
    {"IPIAUBA", "SAATRI"},
    {"BOMJESUSDALAPABA", "SAATRI"},
    {"BOAVISTARR", "SAATRI"},
    {"BARREIRASBA", "SAATRI"},
    {"JACOBINABA", "SAATRI"},
    {"EUNAPOLISBA", "SAATRI"},
    {"CATUBA", "SAATRI"},
    {"DIASDAVILABA", "SAATRI"},
    {"SAOSEBASTIAODOPASSEBA", "SAATRI"},
    // THEMA
    {"SAOLEOPOLDO", "THEMA"},
    {"MONTENEGRO", "THEMA"},
    {"LAJEADORS", "THEMA"},
    {"VENANCIOAIRESRS", "THEMA"},
    {"ESTEIORS", "THEMA"},
    {"SANTACRUZDOSULRS", "THEMA"},
    {"PASSOFUNDORS", "THEMA"},
    {"CACHOEIRINHARS", "THEMA"},
    {"TAQUARARS", "THEMA"},
    // DSF
    {"CAMPINAS", "DSF"},
    {"SOROCABA", "DSF"},
    {"UBERLANDIA", "DSF"},
    {"CAMPOGRANDE", "DSF"},
    {"SAOLUISMA", "DSF"},
    {"BELEM", "DSF"},
    {"TERESINA", "DSF"},
    // EQUIPLANO
    {"TOLEDO", "EQUIPLANO"},
    {"FRANCISCOBELTRAO", "EQUIPLANO"},
    {"DOISVIZINHOSPR", "EQUIPLANO"},
    {"IBIPORAPR", "EQUIPLANO"},
    {"IBAITIPR", "EQUIPLANO"},
    {"LARANJEIRASDOSULPR", "EQUIPLANO"},
    {"IVAIPR", "EQUIPLANO"},
    // INTERSOL
    {"MARACANAUCE", "INTERSOL"},
    {"JIJOCADEJERICOACOARACE", "INTERSOL"},
    {"PETROLINAPE", "INTERSOL"},
    {"CRATOCE", "INTERSOL"},
    {"ARACATICE", "INTERSOL"},
    {"TIANGUACE", "INTERSOL"},
    {"JUAZEIRODONORTECE", "INTERSOL"},
    // MaisIss
    {"PONTAGROSSA", "MaisIss"},
    {"MANDAGUARIPR", "MaisIss"},
    {"NOVAESPERANCAPR", "MaisIss"},
    {"QUATROBARRASPR", "MaisIss"},
    {"PALOTINAPR", "MaisIss"},
    {"PIRAQUARAPR", "MaisIss"},
    {"IPIRANGAPR", "MaisIss"},
    // SIGISS
    {"BAURU", "SIGISS"},
    {"MARILIASP", "SIGISS"},
    {"BOTUCATUSP", "SIGISS"},
    {"SAPIRANGARS", "SIGISS"},
    {"RIOGRANDERS", "SIGISS"},
    {"CIANORTEPR", "SIGISS"},
    {"ROLIMDEMOURARO", "SIGISS"},
    // EL
    {"SAOMATEUSES", "EL"},
    {"VIANAES", "EL"},
    {"BAIXOGUANDUES", "EL"},
    {"ALFREDOCHAVESES", "EL"},
    {"MANHUACUMG", "EL"},
    // GovDigital
    {"DIVINOPOLISMG", "GovDigital"},
    {"TEIXEIRADEFREITASBA", "GovDigital"},
    {"PEDROLEOPOLDOMG", "GovDigital"},
    {"TEOFILOOTONIMG", "GovDigital"},
    {"BRAGANCAPAULISTASP", "GovDigital"},
    // ABACO
    {"PRIMAVERADOLESTE", "ABACO"},
    {"CANOAS", "ABACO"},
    {"RONDONOPOLISMT", "ABACO"},
    {"CACHOEIRODEITAPEMIRIMES", "ABACO"},
    // FGMAISS
    {"PENAPOLIS", "FGMAISS"},
    {"BURITAMA", "FGMAISS"},
    {"BILACSP", "FGMAISS"},
    {"VALPARAISOSP", "FGMAISS"},
    // GovBR20
    {"JOSEBONIFACIOSP", "GovBR20"},
    {"GUARAPUAVAPR", "GovBR20"},
    {"VIAMAORS", "GovBR20"},
    {"CANDIDOMOTASP", "GovBR20"},
    // TecnoSistemas
    {"PORTAORS", "TecnoSistemas"},
    {"SERAFINACORREARS", "TecnoSistemas"},
    {"FLORESDACUNHARS", "TecnoSistemas"},
    {"VERANOPOLISRS", "TecnoSistemas"},
    // Tinus
    {"CABODESANTOAGOSTINHOPE", "Tinus"},
    {"MOSSORORN", "Tinus"},
    {"OLINDAPE", "Tinus"},
    {"JABOATAODOSGUARARAPESPE", "Tinus"},
    // TIPLAN
    {"DUQUEDECAXIAS", "TIPLAN"},
    {"MACAE", "TIPLAN"},
    {"AMERICANA", "TIPLAN"},
    {"RECIFE", "TIPLAN"},
    // BELOHORIZONTE
    {"BELOHORIZONTE", "BELOHORIZONTE"},
    {"JUIZDEFORA", "BELOHORIZONTE"},
    {"PORTOALEGRERS", "BELOHORIZONTE"},
    // INFISC
    {"CAMPOBOM", "INFISC"},
    {"CAXIASDOSULRS", "INFISC"},
    {"SAPUCAIADOSULRS", "INFISC"},
    // ISSDIGITAL
    {"ARARUAMARJ", "ISSDIGITAL"},
    {"CABOFRIORJ", "ISSDIGITAL"},
    {"NOVALIMAMG", "ISSDIGITAL"},
    // ABRASF21
    {"VITORIA", "ABRASF21"},
    {"VILAVELHAES", "ABRASF21"},
    // ACTCON
    {"LEOPOLDINAMG", "ACTCON"},
    {"GOVERNADORVALADARESMG", "ACTCON"},
    // AGILI
    {"ITAMBEPE", "AGILI"},
    {"ARIQUEMESRO", "AGILI"},
    // AUAD
    {"HIDROLANDIAGO", "AUAD"},
    {"CHAPADAODOSUL", "AUAD"},
    // FissLex
    {"VILHENA", "FissLex"},
    {"JUINAMT", "FissLex"},
    // ISSINTEL
    {"VARZEADAPALMAMG", "ISSINTEL"},
    {"PIRAPORAMG", "ISSINTEL"},
    // ISSSIMPLES
    {"CAJAZEIRASPB", "ISSSIMPLES"},
    {"IMPERATRIZMA", "ISSSIMPLES"},
    // LEXSOM
    {"FOZDOIGUACU", "LEXSOM"},
    {"ARAUCARIAPR", "LEXSOM"},
    // PRODATA
    {"RIOVERDEGO", "PRODATA"},
    {"MORRINHOSGO", "PRODATA"},
    // Publica
    {"ITAJAI", "Publica"},
    {"CACADOR", "Publica"},
    // SATURNO
    {"CACERESMT", "SATURNO"},
    {"PONTESELACERDAMT", "SATURNO"},
    // ABRASF22
    {"JOAOPESSOA", "ABRASF22"},
    // Betha
    {"GAROPABA", "Betha"},
    // BLUMENAU
    {"BLUMENAU", "BLUMENAU"},
    // CONAM
    {"LIMEIRASP", "CONAM"},
    // CONSIST
    {"PATOSDEMINASMG", "CONSIST"},
    // CSM
    {"ARARAS", "CSM"},
    // CURITIBA
    {"CURITIBA", "CURITIBA"},
    // DEVEL
    {"SAOJOSEDOSPINHAIS", "DEVEL"},
    // eReceita
    {"MONTESCLAROS", "eReceita"},
    // GOIANIA
    {"GOIANIA", "GOIANIA"},
    // GovBR
    {"REGENTEFEIJO", "GovBR"},
    // GovBr
    {"CONTAGEM", "GovBr"},
    // GOVERNA
    {"VALPARAISODEGOIASGO", "GOVERNA"},
    // IssWeb
    {"JATAIGO", "IssWeb"},
    // Londrina
    {"LONDRINA", "Londrina"},
    // MakerPlanet
    {"IPIGUASP", "MakerPlanet"},
    // MARINGA
    {"MARINGA", "MARINGA"},
    // METROPOLIS
    {"LAURODEFREITASBA", "METROPOLIS"},
    // NATAL
    {"NATAL", "NATAL"},
    // OSASCO
    {"OSASCO", "OSASCO"},
    // RIODEJANEIRO
    {"RIODEJANEIRO", "RIODEJANEIRO"},
    // SALVADOR
    {"SALVADOR", "SALVADOR"},
    // SAOPAULO
    {"SAOPAULO", "SAOPAULO"},
    // SEMFAZONLINE
    {"PORTOVELHORO", "SEMFAZONLINE"},
    // SIM
    {"FREDERICOWESTPHALENRS", "SIM"},
    // SISTEMAS4R
    {"ITAPETININGASP", "SISTEMAS4R"},
    // TECSYSTEM
    {"MATIASBARBOSAMG", "TECSYSTEM"},
};

struct FieldSize
{
    const char* Field;
    size_t Size;
    // The rule applies only in a dataset of this name (without case); null: in any.
    const char* OnlyInDataSet;
};

// Descriptions run longer than the 255 characters the schemas' plain strings get.
constexpr FieldSize kFieldSizes[] = {
    {"Discriminacao", 2000, nullptr},
    {"DescricaoRPS", 1500, nullptr},
    {"dsDiscriminacaoServico", 1500, nullptr},
    {"DiscriminacaoServico", 2000, nullptr},
    {"descservico_txt", 2000, nullptr},
    {"descricao", 2000, "servico"},
    {"Descricao", 2000, "Servicos"},
    {"OBSERVACAO", 1000, nullptr},
    {"OBSSERVICO", 1000, nullptr},
    {"descricaoNF", 1400, nullptr},
    {"InformacoesAdicionais", 2300, nullptr},
    {"descritivo", 1000, nullptr},
    {"tsObs", 500, nullptr},
    {"DiscrSrv", 4000, nullptr},
};

bool IsDataField(const ImvlXSDField& field)
{
    return field.Role() == ImvlXSDField::TRole::Data;
}

// The row of a section as written, to tell a missing entry from an empty one.
const TmvlMappingFile::Row* FindRow(const TmvlMappingFile& mapping, std::string_view section, std::string_view name)
{
    for (const TmvlMappingFile::Row& row : mapping.Rows()) {
        if (platform::EqualsIgnoreCase(row.Section, section) && platform::EqualsIgnoreCase(row.Name, name)) {
            return &row;
        }
    }
    return nullptr;
}

std::string WithCustomBeforeExtension(const std::string& path)
{
    const std::string name = platform::ExtractFileName(path);
    const size_t dot = name.rfind('.');
    const size_t cut = path.size() - name.size() + (dot == std::string::npos ? name.size() : dot);
    return path.substr(0, cut) + "Custom" + path.substr(cut);
}

} // namespace

TmvlNFSeDataSet::TmvlNFSeDataSet()
    : m_tree(std::make_unique<TmvlXSDDataset>())
{
    m_tree->OnBeforeCreateNewDataSet = [this](TMvlXSDClientDataSet& dataSet) { BeforeCreateNewDataSet(dataSet); };
    m_tree->OnBeforeReadRecord = [this](TMvlXSDClientDataSet& dataSet) { BeforeReadRecord(dataSet); };
}

TmvlNFSeDataSet::~TmvlNFSeDataSet() = default;

std::string TmvlNFSeDataSet::ProviderFolderOf(std::string_view cityFolder)
{
    for (const FolderFallback& fallback : kFolderFallbacks) {
        if (platform::EqualsIgnoreCase(fallback.CityFolder, cityFolder)) {
            return fallback.ProviderFolder;
        }
    }
    return {};
}

size_t TmvlNFSeDataSet::FieldSizeFor(std::string_view dataSetName, std::string_view fieldName)
{
    for (const FieldSize& rule : kFieldSizes) {
        // "descricao" and "Descricao" are two rules: the field name compares as written.
        if (fieldName != rule.Field) {
            continue;
        }
        if (rule.OnlyInDataSet == nullptr || platform::EqualsIgnoreCase(dataSetName, rule.OnlyInDataSet)) {
            return rule.Size;
        }
    }
    return 0;
}

std::string TmvlNFSeDataSet::ResolveMappingFile(const std::string& fileName)
{
    if (platform::FileExists(fileName)) {
        return fileName;
    }
    // Both separators: configured names keep the backslashes of the installation's habits.
    std::vector<std::string> parts;
    std::string part;
    for (const char c : fileName) {
        if (c == '/' || c == '\\') {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    if (parts.size() < 2) {
        return fileName;
    }
    const std::string provider = ProviderFolderOf(parts[parts.size() - 2]);
    if (provider.empty()) {
        return fileName;
    }
    parts[parts.size() - 2] = provider;
    std::string joined;
    for (size_t i = 0; i < parts.size(); ++i) {
        joined += i == 0 ? parts[i] : "/" + parts[i];
    }
    if (!platform::FileExists(joined)) {
        return fileName;
    }
    const std::string custom = WithCustomBeforeExtension(joined);
    return platform::FileExists(custom) ? custom : joined;
}

void TmvlNFSeDataSet::Prepare()
{
    m_tree->SetConfigSection(m_ConfigSection);
    m_tree->SetMappingFileName(ResolveMappingFile(m_MappingFileName));
    m_tree->SetXMLHeader({});
    m_tree->GenerateDataSets();
}

void TmvlNFSeDataSet::LoadTx2File(const std::string& fileName)
{
    if (!platform::FileExists(fileName)) {
        throw EmvlNFSeDatasetException(platform::Format("Arquivo \"%s\" não foi encontrado.", fileName));
    }
    m_tree->LoadFromTx2File(fileName);
}

void TmvlNFSeDataSet::LoadTx2Text(std::string_view text)
{
    m_tree->LoadFromTx2Text(text);
}

std::string TmvlNFSeDataSet::GetXml()
{
    RewriteGinfesCpf();
    return m_tree->GetXml();
}

void TmvlNFSeDataSet::BeforeCreateNewDataSet(TMvlXSDClientDataSet& dataSet)
{
    for (const auto& field : dataSet.Fields()) {
        if (const size_t size = FieldSizeFor(dataSet.Name(), field->FieldName()); size > 0) {
            field->SetSize(size);
        }
    }
    const TmvlMappingFile& mapping = m_tree->Mapping();
    if (!mapping.SectionExists("OBRIGATORIEDADE")) {
        return;
    }
    const auto apply = [&](TMvlXSDClientDataSet& each) {
        for (const auto& field : each.Fields()) {
            if (!IsDataField(*field)) {
                continue;
            }
            const TmvlMappingFile::Row* row = FindRow(mapping, "OBRIGATORIEDADE", field->FieldName());
            if (row == nullptr && !field->XPath().empty()) {
                row = FindRow(mapping, "OBRIGATORIEDADE", field->XPath().front());
            }
            if (row == nullptr) {
                field->SetGeraTagVazia(false);
            } else if (row->Value == "true" || row->Value == "1") {
                field->SetGeraTagVazia(true);
            } else if (row->Value == "false" || row->Value == "0") {
                field->SetGeraTagVazia(false);
            } else {
                throw EmvlNFSeDatasetException("Obrigatoriedade inválida para o campo " + field->FieldName());
            }
        }
    };
    for (const auto& each : m_tree->DataSets()) {
        apply(*each);
    }
    // The dataset being created may not be in the list yet.
    if (m_tree->FindDataSet(dataSet.Name()) != &dataSet) {
        apply(dataSet);
    }
}

void TmvlNFSeDataSet::BeforeReadRecord(TMvlXSDClientDataSet& dataSet)
{
    for (const auto& field : dataSet.Fields()) {
        if (!IsDataField(*field)) {
            continue;
        }
        const std::string& value = field->AsString();
        if (platform::EqualsIgnoreCase(platform::Trim(value), "NULL")) {
            dataSet.Edit();
            field->SetAsString({});
            dataSet.Post();
            field->SetGenerateFieldInXML(false);
        } else if (!value.empty()) {
            field->SetGenerateFieldInXML(true);
        } else {
            field->SetGenerateFieldInXML(field->GeraTagVazia());
        }
    }
}

void TmvlNFSeDataSet::RewriteGinfesCpf()
{
    TMvlXSDClientDataSet* lote = m_tree->FindDataSet("EnviarLoteRpsEnvio");
    TMvlXSDClientDataSet* rps = m_tree->FindDataSet("Rps");
    if (lote == nullptr || rps == nullptr ||
        platform::FoldCase(m_tree->MappingFileName()).find("ginfes") == std::string::npos) {
        return;
    }
    // That provider's schema has no Cpf for the issuer: a CPF travels in the Cnpj element.
    const auto moveCpf = [](TMvlXSDClientDataSet& dataSet, std::string_view cpfName, std::string_view cnpjName) {
        ImvlXSDField* cpf = dataSet.FindField(cpfName);
        ImvlXSDField* cnpj = dataSet.FindField(cnpjName);
        if (cpf == nullptr || cnpj == nullptr || cpf->AsString().empty()) {
            return;
        }
        const std::string value = cpf->AsString();
        dataSet.Edit();
        cnpj->SetAsString("CPF" + value);
        cpf->SetAsString({});
        dataSet.Post();
    };
    lote->First();
    rps->First();
    for (; !lote->Eof(); lote->Next()) {
        moveCpf(*lote, "Cpf", "Cnpj");
        for (rps->First(); !rps->Eof(); rps->Next()) {
            moveCpf(*rps, "CpfPrestador", "CnpjPrestador");
        }
    }
}

TMvlXSDClientDataSet& TmvlNFSeDataSet::Principal() const
{
    TMvlXSDClientDataSet* dataSet = m_tree->FindDataSet(m_DataSetPrincipal);
    if (dataSet == nullptr) {
        throw EmvlNFSeDatasetException(platform::Format("DataSet %s não foi encontrado", m_DataSetPrincipal));
    }
    return *dataSet;
}

void TmvlNFSeDataSet::RequireOpen() const
{
    if (m_editMode == Mode::Closed) {
        throw EmvlNFSeDatasetException("O Dataset principal ainda não foi aberto, é necessário abrí-lo para inclusão "
                                       "ou edição antes de continuar.");
    }
}

void TmvlNFSeDataSet::OpenForEditing()
{
    if (m_editMode != Mode::Closed) {
        throw EmvlNFSeDatasetException("Edição não permitida. O Dataset está aberto, salve-o antes de continuar.");
    }
    TMvlXSDClientDataSet& principal = Principal();
    principal.First();
    principal.Edit();
    m_editMode = Mode::Editing;
}

void TmvlNFSeDataSet::OpenForInserting()
{
    if (m_editMode != Mode::Closed) {
        throw EmvlNFSeDatasetException("Edição não permitida. O Dataset está aberto, salve-o antes de continuar.");
    }
    Principal().InsertRecord();
    m_editMode = Mode::Inserting;
}

void TmvlNFSeDataSet::EditDataSet(std::string_view name)
{
    if (m_editMode == Mode::Closed) {
        throw EmvlNFSeDatasetException(
            "Edição não permitida. Abra o dataset principal para edição antes de continuar.");
    }
    Handler(name).Edit();
}

ImvlXSDField& TmvlNFSeDataSet::FieldByName(std::string_view name)
{
    for (const auto& dataSet : m_tree->DataSets()) {
        const auto& fields = dataSet->Fields();
        // Position 0 is Handle: only the fields after it are searched.
        for (size_t i = 1; i < fields.size(); ++i) {
            if (!platform::EqualsIgnoreCase(fields[i]->FieldName(), name)) {
                continue;
            }
            if (m_editMode == Mode::Editing) {
                dataSet->Edit();
            } else if (m_editMode == Mode::Inserting &&
                       dataSet->Table().CurrentState() == engine::MemoryTable::State::Browse) {
                dataSet->InsertRecord();
            }
            return *fields[i];
        }
    }
    throw EmvlNFSeDatasetException(platform::Format("Campo \"%s\" não encontrado", name));
}

void TmvlNFSeDataSet::First()
{
    Principal().First();
}

void TmvlNFSeDataSet::Next()
{
    Principal().Next();
}

bool TmvlNFSeDataSet::Eof() const
{
    return Principal().Eof();
}

void TmvlNFSeDataSet::PostDataSet(std::string_view name)
{
    RequireOpen();
    Handler(name).Post();
}

void TmvlNFSeDataSet::PostPrincipal()
{
    RequireOpen();
    Principal().Post();
    m_editMode = Mode::Closed;
}

TmvlXsdClientDatasetHandler TmvlNFSeDataSet::Handler(std::string_view name) const
{
    return m_tree->GetDataSetHandler(name);
}
