// notavia-db: the administrator's tool for the program's database.
//
//   notavia-db create PATH           a new database with every schema script applied
//   notavia-db version PATH          the script sets and versions recorded in VERSAO
//   notavia-db backup PATH [FILE]    a .gbk backup (default: PATH-yyyy-mm-dd-hh-mm.gbk)
//
// Exit codes: 0 success, 2 wrong usage, 3 a file is missing or already there, 4 the database
// (or the backup) failed. Messages go to stderr; results and progress to stdout.

#include "framework/data/BackupService.h"
#include "framework/data/CmDatabase.h"
#include "framework/data/DatabaseError.h"
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

const char* const kUsage = "Uso:\n"
                           "  notavia-db create CAMINHO\n"
                           "  notavia-db version CAMINHO\n"
                           "  notavia-db backup CAMINHO [ARQUIVO.gbk]\n"
                           "Códigos de saída: 0 sucesso, 2 uso incorreto, 3 arquivo ausente ou já existente,\n"
                           "4 falha no banco de dados ou no backup.\n";

// "host:path" names a database on a server; its file cannot be checked from here.
bool IsLocal(const std::string& name)
{
    const size_t colon = name.find(':');
    return colon == std::string::npos || colon == 1;
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
    if (IsLocal(path) && !std::filesystem::exists(path)) {
        std::cerr << "O arquivo " << path << " não existe.\n";
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
    if (IsLocal(path) && !std::filesystem::exists(path)) {
        std::cerr << "O arquivo " << path << " não existe.\n";
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
    if ((args.size() == 2 || args.size() == 3) && args[0] == "backup") {
        return Backup(args[1], args.size() == 3 ? args[2] : "");
    }
    std::cerr << kUsage;
    return kExitUsage;
}
