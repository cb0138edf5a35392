// notavia-db: the administrator's tool for the program's database.
//
//   notavia-db create PATH           a new database with every schema script applied
//   notavia-db version PATH          the script sets and versions recorded in VERSAO
//   notavia-db backup PATH [FILE]    a .gbk backup (default: PATH-yyyy-mm-dd-hh-mm.gbk)
//   notavia-db upgrade PATH          a backup, then the missing schema scripts
//   notavia-db users PATH            the other connections to the database
//   notavia-db grant PATH USER       lets USER log into this program (module 13)
//
// Exit codes: 0 success, 2 wrong usage, 3 a file is missing or already there, 4 the database
// (or the backup) failed, 5 other users are connected. Messages go to stderr; results and progress to stdout.

#include "framework/data/Attachments.h"
#include "framework/data/BackupService.h"
#include "framework/data/CmDatabase.h"
#include "framework/data/CmLogin.h"
#include "framework/data/CmTransaction.h"
#include "framework/data/DatabaseError.h"
#include "framework/schema/CmCustomVersion.h"
#include "framework/schema/CmIBSQLObj.h"
#include "framework/schema/dmVersaoNotavia.h"
#include "platform/Clock.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFile = 3;
constexpr int kExitDatabase = 4;
constexpr int kExitBusy = 5;
constexpr int kNotaviaModuloID = 13;

const char* const kUsage = "Uso:\n"
                           "  notavia-db create CAMINHO\n"
                           "  notavia-db version CAMINHO\n"
                           "  notavia-db backup CAMINHO [ARQUIVO.gbk]\n"
                           "  notavia-db upgrade CAMINHO\n"
                           "  notavia-db users CAMINHO\n"
                           "  notavia-db grant CAMINHO USUARIO\n"
                           "Códigos de saída: 0 sucesso, 2 uso incorreto, 3 arquivo ausente ou já existente,\n"
                           "4 falha no banco de dados ou no backup, 5 outros usuários conectados.\n";

// "host:path" names a database on a server; its file cannot be checked from here.
bool IsLocal(const std::string& name)
{
    const size_t colon = name.find(':');
    return colon == std::string::npos || colon == 1;
}

// A local database file that is not there is said once, the same way by every command.
bool ReportMissing(const std::string& path)
{
    if (IsLocal(path) && !std::filesystem::exists(path)) {
        std::cerr << "O arquivo " << path << " não existe.\n";
        return true;
    }
    return false;
}

void PrintDatabaseError(const std::string& what, const framework::DatabaseError& error)
{
    std::cerr << what << "\n" << error.what() << "\n";
    if (const auto* script = dynamic_cast<const EISQLException*>(&error); script && !script->Text().empty()) {
        std::cerr << "Comando:\n" << script->Text() << "\n";
    }
    if (error.SQLCode() != 0) {
        std::cerr << "SQLCODE: " << error.SQLCode() << "\n";
    }
}

int Create(const std::string& path)
{
    if (IsLocal(path) && std::filesystem::exists(path)) {
        std::cerr << "O arquivo " << path << " já existe; nada foi alterado.\n";
        return kExitFile;
    }
    bool created = false;
    try {
        {
            TCmDatabase database("notavia-db");
            database.SetDatabaseName(path);
            database.SetSQLDialect(3);
            database.SetParams({"USER 'SYSDBA'", "PASSWORD 'quartzite'", "PAGE_SIZE 4096"});
            database.CreateDatabase();
            created = true;
            database.Close();
        }
        TdmVersaoNotavia module;
        module.SetOnScript([](const TVersion& item) { std::cout << "Aplicando " << item.DisplayName() << "\n"; });
        module.RunAllScripts(path);
    } catch (const framework::DatabaseError& error) {
        PrintDatabaseError("Não foi possível criar o banco de dados " + path + ".", error);
        // Half a schema is worse than none: the file this run created goes away.
        if (created && IsLocal(path)) {
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
        }
        return kExitDatabase;
    }
    std::cout << "Banco de dados criado: " << path << "\n";
    return 0;
}

int Version(const std::string& path)
{
    if (ReportMissing(path)) {
        return kExitFile;
    }
    try {
        TdmVersaoNotavia module;
        for (const auto& [script, number] : module.ReadVersionRows(path)) {
            std::cout << script << " " << number << "\n";
        }
    } catch (const framework::DatabaseError& error) {
        PrintDatabaseError("Não foi possível ler as versões de " + path + ".", error);
        return kExitDatabase;
    }
    return 0;
}

int Backup(const std::string& path, std::string file)
{
    if (ReportMissing(path)) {
        return kExitFile;
    }
    if (file.empty()) {
        file = framework::BackupService::DefaultFileName(path, platform::Clock::Now());
    }
    if (IsLocal(path) && std::filesystem::exists(file)) {
        std::cerr << "O arquivo de backup " << file << " já existe; nada foi alterado.\n";
        return kExitFile;
    }
    try {
        framework::BackupService::Options options;
        options.DatabaseName = path;
        options.BackupFile = file;
        options.Password = "quartzite";
        framework::BackupService::Run(options, [](const std::string& line) { std::cout << line << "\n"; });
    } catch (const framework::DatabaseError& error) {
        PrintDatabaseError("O backup de " + path + " falhou.", error);
        return kExitDatabase;
    }
    std::cout << "Backup gravado: " << file << "\n";
    return 0;
}

void PrintAttachments(const std::vector<framework::Attachment>& attachments)
{
    for (const framework::Attachment& a : attachments) {
        std::cout << a.Id << "\t" << (a.RemoteAddress.empty() ? "-" : a.RemoteAddress) << "\t"
                  << (a.RemoteProcess.empty() ? "-" : a.RemoteProcess) << "\t" << a.User << "\n";
    }
}

// The upgrade's questions answered for the command line: always a backup, and no update while
// anybody else is connected or when the backup did not finish.
class ConsoleUpgradeUi : public framework::VersionUpgradeUi
{
public:
    bool AskBackup() override { return true; }

    bool ApproveUpdate(TCmDatabase& database, bool skipBackup) override
    {
        const std::vector<framework::Attachment> others = framework::OtherAttachments(database);
        if (!others.empty()) {
            std::cerr << "Processo não pode continuar pois existem usuários conectados a Base de Dados.\n"
                      << "Existe(m) " << others.size() << " usuário(s) conectados.\n";
            PrintAttachments(others);
            Busy = true;
            return false;
        }
        if (skipBackup) {
            return true;
        }
        framework::BackupService::Options options;
        options.DatabaseName = database.DatabaseName();
        options.BackupFile = framework::BackupService::DefaultFileName(options.DatabaseName, platform::Clock::Now());
        options.Password = "quartzite";
        try {
            framework::BackupService::Run(options, [](const std::string& line) { std::cout << line << "\n"; });
        } catch (const framework::DatabaseError& error) {
            PrintDatabaseError("Backup não efetuado. Não será possível efetuar a atualização do banco de dados.",
                               error);
            return false;
        }
        std::cout << "Backup gravado: " << options.BackupFile << "\n";
        return true;
    }

    void ShowMessage(const std::string& text) override { std::cout << text << "\n"; }

    void ReportScriptFailure(const std::string& text, const framework::DatabaseError& error) override
    {
        std::cerr << text << "\n";
        if (error.SQLCode() != 0) {
            std::cerr << "SQLCODE: " << error.SQLCode() << "\n";
        }
    }

    bool Busy = false;
};

int Upgrade(const std::string& path)
{
    if (ReportMissing(path)) {
        return kExitFile;
    }
    ConsoleUpgradeUi ui;
    TdmVersaoNotavia module;
    // The upgrade itself fails without detail on a database it cannot read; here the reason is
    // worth saying (a file another program holds, a wrong path on the server).
    try {
        module.ReadVersionRows(path);
    } catch (const framework::DatabaseError& error) {
        PrintDatabaseError("Não foi possível ler as versões de " + path + ".", error);
        return kExitDatabase;
    }
    module.SetUi(&ui);
    module.SetOnScript([](const TVersion& item) { std::cout << "Aplicando " << item.DisplayName() << "\n"; });
    if (module.CheckAndUpgrade(path)) {
        return 0;
    }
    if (ui.Busy) {
        return kExitBusy;
    }
    std::cerr << "O banco de dados " << path << " não está na versão deste programa.\n";
    return kExitDatabase;
}

void Attach(TCmDatabase& database, const std::string& path)
{
    database.SetDatabaseName(path);
    database.SetParams({"user_name=SYSDBA", "password=quartzite"});
    database.Open();
}

int Users(const std::string& path)
{
    if (ReportMissing(path)) {
        return kExitFile;
    }
    try {
        TCmDatabase database("notavia-db");
        Attach(database, path);
        const std::vector<framework::Attachment> others = framework::OtherAttachments(database);
        if (others.empty()) {
            std::cout << "Nenhum outro usuário conectado.\n";
        } else {
            PrintAttachments(others);
        }
        database.Close();
    } catch (const framework::DatabaseError& error) {
        PrintDatabaseError("Não foi possível ler as conexões de " + path + ".", error);
        return kExitDatabase;
    }
    return 0;
}

// A new database lets its administrator use only the family's user administration; this grant
// is what lets a user into this program.
int Grant(const std::string& path, const std::string& user)
{
    if (ReportMissing(path)) {
        return kExitFile;
    }
    try {
        TCmDatabase database("notavia-db");
        Attach(database, path);
        TCmTransaction transaction("grant");
        transaction.SetDefaultDatabase(&database);
        transaction.StartTransaction();
        framework::GrantModule(database, transaction, user, kNotaviaModuloID);
        transaction.Commit();
        database.Close();
    } catch (const framework::DatabaseError& error) {
        PrintDatabaseError("Não foi possível liberar o módulo para " + user + ".", error);
        return kExitDatabase;
    }
    std::cout << "Usuário " << user << " liberado para o Notavia NFSe (módulo " << kNotaviaModuloID << ").\n";
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "create") {
        return Create(args[1]);
    }
    if (args.size() == 2 && args[0] == "version") {
        return Version(args[1]);
    }
    if (args.size() == 2 && args[0] == "upgrade") {
        return Upgrade(args[1]);
    }
    if (args.size() == 2 && args[0] == "users") {
        return Users(args[1]);
    }
    if (args.size() == 3 && args[0] == "grant") {
        return Grant(args[1], args[2]);
    }
    if ((args.size() == 2 || args.size() == 3) && args[0] == "backup") {
        return Backup(args[1], args.size() == 3 ? args[2] : "");
    }
    std::cerr << kUsage;
    return kExitUsage;
}
