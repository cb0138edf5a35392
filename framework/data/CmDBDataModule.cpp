#include "framework/data/CmDBDataModule.h"

#include "framework/data/CmDataSet.h"
#include "framework/data/DatabaseError.h"
#include "framework/data/ScopedWaitCursor.h"
#include "framework/data/SilentAbort.h"
#include "framework/data/VersionModule.h"
#include "platform/Clock.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"

#include <filesystem>

namespace {

const char* const kAdministratorPassword = "quartzite";
const char* const kRetryQuestion = "Não foi possível conectar o banco de dados, deseja tentar novamente?";

TClsDBDataModule* s_module = nullptr;
framework::LoginAtStartupFunction s_login = nullptr;
int s_programModuloID = 0;

std::vector<std::string> TransactionParams()
{
    return {"read_committed", "rec_version", "nowait"};
}

void SetUpTransaction(TCmTransaction& transaction, TCmDatabase& database)
{
    transaction.SetParams(TransactionParams());
    transaction.SetDefaultAction(TTransactionAction::TARollbackRetaining);
    transaction.SetAutoStopAction(TAutoStopAction::saCommitRetaining);
    transaction.SetDefaultDatabase(&database);
}

// A name without a host part is a file the embedded engine opens ("C:" style drive letters
// are not hosts either).
bool IsLocalName(const std::string& name)
{
    const size_t colon = name.find(':');
    return colon == std::string::npos || colon == 1;
}

using WaitCursor = framework::ScopedWaitCursor<framework::DataModuleUi>;

} // namespace

namespace framework {

void SetLoginAtStartup(LoginAtStartupFunction login)
{
    s_login = login;
}

LoginAtStartupFunction LoginAtStartup()
{
    return s_login;
}

int ProgramModuloID()
{
    return s_programModuloID;
}

void SetProgramModuloID(int id)
{
    s_programModuloID = id;
}

} // namespace framework

TClsDBDataModule* ClsDBDataModule()
{
    return s_module;
}

TCmSQLGlobals* SQLGlobals()
{
    return s_module ? &s_module->CmSQLGlobals() : nullptr;
}

void TClsDataModule::AfterConstruction()
{
    if (s_module) {
        ConnectDataSets(s_module->dbMain(), s_module->CmSQLGlobals());
    }
}

TClsDBDataModule::TClsDBDataModule(framework::DataModuleUi* ui, std::string programFolder)
    : m_ui(ui)
    , m_programFolder(programFolder.empty() ? platform::ProgramFolder() : std::move(programFolder))
    , m_dbMain(std::make_unique<TCmDatabase>("dbMain"))
    , m_trMain(std::make_unique<TCmTransaction>("trMain"))
    , m_trPARAMETROS(std::make_unique<TCmTransaction>("trPARAMETROS"))
    , m_trIBSQLLOG(std::make_unique<TCmTransaction>("trIBSQLLOG"))
    , m_CmSQLGlobals(std::make_unique<TCmSQLGlobals>())
    , m_log(m_programFolder)
{
    m_dbMain->SetParams({"user_name=SYSDBA", std::string("password=") + kAdministratorPassword});
    m_dbMain->SetLoginPrompt(false);
    m_dbMain->SetSQLDialect(3);
    m_dbMain->SetTraceFlags(framework::kTraceAll);
    for (TCmTransaction* transaction : {m_trMain.get(), m_trPARAMETROS.get(), m_trIBSQLLOG.get()}) {
        SetUpTransaction(*transaction, *m_dbMain);
    }
    m_dbMain->SetDefaultTransaction(m_trMain.get());
    m_CmSQLGlobals->SetModuloID(framework::ProgramModuloID());
    s_module = this;
}

TClsDBDataModule::~TClsDBDataModule()
{
    // One last flush, as the session ends; the windows are gone by now.
    m_log.FlushExceptionLog("");
    m_log.FlushDatabaseLog();
    try {
        m_dbMain->Close();
    } catch (const std::exception&) {
        // The session is over; a failing detach has nobody left to tell.
    }
    if (s_module == this) {
        s_module = nullptr;
    }
}

bool TClsDBDataModule::AfterConstruction()
{
    TClsDataModule::AfterConstruction();
    bool ok = ConnectAtStartup();
    if (ok) {
        if (const framework::LoginAtStartupFunction login = framework::LoginAtStartup()) {
            ok = login(*this);
        }
    }
    if (!ok) {
        m_terminated = true;
        if (m_ui) {
            m_ui->Terminate();
        }
    }
    return ok;
}

bool TClsDBDataModule::ConnectAtStartup()
{
    const std::string name = ReadConnectionName();
    if (name.empty()) {
        if (m_ui) {
            m_ui->ShowLoginServer(*this);
        }
    } else if (!ConnectDatabase(name)) {
        if (m_ui && m_ui->Question(kRetryQuestion)) {
            m_ui->ShowLoginServer(*this);
        }
    }
    return m_dbMain->Connected();
}

bool TClsDBDataModule::ConnectDatabase(const std::string& name)
{
    if (platform::Trim(name).empty()) {
        if (m_ui) {
            m_ui->ShowMessage("Digite o Servidor.");
        }
        return false;
    }
    if (m_dbMain->Connected() && m_dbMain->DatabaseName() == name) {
        return true;
    }
    std::string previous;
    std::vector<TCmTransaction*> transactions;
    std::vector<TCmDataSet*> dataSets;
    bool result = false;
    try {
        if (m_dbMain->Connected()) {
            previous = m_dbMain->DatabaseName();
            for (int i = 0; i < m_CmSQLGlobals->DataSetCount(); ++i) {
                if (m_CmSQLGlobals->DataSets(i)->Active()) {
                    dataSets.push_back(m_CmSQLGlobals->DataSets(i));
                }
            }
            for (int i = 0; i < m_dbMain->TransactionCount(); ++i) {
                if (m_dbMain->Transactions(i)->Active()) {
                    transactions.push_back(m_dbMain->Transactions(i));
                }
            }
            for (TCmTransaction* transaction : transactions) {
                transaction->SetActive(false);
            }
            m_dbMain->Close();
        }
        m_dbMain->SetDatabaseName(name);
        bool checked = true;
        if (const framework::VersionModuleFactory factory = framework::VersionModuleClass()) {
            WaitCursor cursor(m_ui);
            const std::unique_ptr<framework::VersionModule> module = factory();
            checked = module->CheckAndUpgrade(name);
        }
        if (checked) {
            ConnectAndRestore(name, transactions, dataSets);
            result = m_dbMain->Connected();
        }
    } catch (const std::exception&) {
        result = false;
    }
    // A refused or failed switch goes back to the database the session was using, with its
    // transactions and datasets; the caller then asks whether to try again.
    if (!result) {
        try {
            m_dbMain->Close();
        } catch (const std::exception&) {
        }
        if (!previous.empty()) {
            try {
                m_dbMain->SetDatabaseName(previous);
                ConnectAndRestore(previous, transactions, dataSets);
            } catch (const std::exception&) {
                // Still unconnected: the caller sees the failure either way.
            }
        }
        return false;
    }
    WriteConnectionName(name);
    return true;
}

void TClsDBDataModule::ConnectAndRestore(const std::string& name, const std::vector<TCmTransaction*>& transactions,
                                         const std::vector<TCmDataSet*>& dataSets)
{
    if (m_dbMain->DatabaseName() != name) {
        m_dbMain->SetDatabaseName(name);
    }
    m_dbMain->Open();
    for (TCmTransaction* transaction : transactions) {
        transaction->SetActive(true);
    }
    for (TCmDataSet* dataSet : dataSets) {
        dataSet->SetActive(true);
    }
}

bool TClsDBDataModule::CreateDatabaseFile(const std::string& server, const std::string& fileName)
{
    WaitCursor cursor(m_ui);
    const framework::VersionModuleFactory factory = framework::VersionModuleClass();
    if (!factory) {
        throw framework::DatabaseError("Nenhum módulo de versão do banco de dados foi registrado.");
    }
    const std::string name = platform::Trim(server).empty() ? fileName : server + ":" + fileName;
    if (IsLocalName(name) && platform::FileExists(name)) {
        throw framework::DatabaseError("O arquivo " + name + " já existe.");
    }
    bool created = false;
    try {
        {
            TCmDatabase database("dbCreate");
            database.SetDatabaseName(name);
            database.SetSQLDialect(3);
            database.SetParams(
                {"USER 'SYSDBA'", std::string("PASSWORD '") + kAdministratorPassword + "'", "PAGE_SIZE 4096"});
            database.CreateDatabase();
            created = true;
            database.Close();
        }
        factory()->RunAllScripts(name);
    } catch (...) {
        // Half a schema is worse than none: a file this call created goes away with the error.
        if (created && IsLocalName(name)) {
            std::error_code ignored;
            std::filesystem::remove(name, ignored);
        }
        throw;
    }
    return true;
}

std::string TClsDBDataModule::ReadConnectionName() const
{
    try {
        const platform::IniFile ini(platform::JoinPath(m_programFolder, "connection.ini"));
        return ini.ReadString("CONNECTION", "DATABASENAME", "");
    } catch (const std::exception&) {
        return {};
    }
}

void TClsDBDataModule::WriteConnectionName(const std::string& name)
{
    platform::IniFile ini(platform::JoinPath(m_programFolder, "connection.ini"));
    ini.WriteString("CONNECTION", "DATABASENAME", name);
    ini.UpdateFile();
}

std::string TClsDBDataModule::Forms() const
{
    return m_ui ? m_ui->FormCaptions() : std::string();
}

void TClsDBDataModule::RecordException(const TLogError& record)
{
    m_log.RecordException(record, Forms());
}

void TClsDBDataModule::RecordDatabaseError(const TLogErrorDataBase& record)
{
    m_log.RecordDatabaseError(record);
}

void TClsDBDataModule::HandleException(std::exception_ptr error) noexcept
{
    try {
        try {
            std::rethrow_exception(error);
        } catch (const framework::SilentAbort&) {
            // The operation has shown its own message.
        } catch (const framework::DatabaseError& e) {
            TLogErrorDataBase record;
            record.SQLCode = e.SQLCode();
            record.Message = e.what();
            record.DateTime = platform::Clock::Now();
            record.ServerName = m_dbMain->DatabaseName();
            record.ComputerName = framework::ComputerName();
            RecordDatabaseError(record);
            if (m_ui) {
                m_ui->ShowDatabaseError(m_log.DatabaseErrors(), m_log.DatabaseErrors().size() - 1);
            }
        } catch (const std::exception& e) {
            TLogError record;
            record.Message = e.what();
            record.DateTime = platform::Clock::Now();
            record.ComputerName = framework::ComputerName();
            RecordException(record);
            if (m_ui) {
                m_ui->ShowException(record.Message);
            }
        } catch (...) {
            TLogError record;
            record.Message = "Erro desconhecido.";
            record.DateTime = platform::Clock::Now();
            record.ComputerName = framework::ComputerName();
            RecordException(record);
            if (m_ui) {
                m_ui->ShowException(record.Message);
            }
        }
    } catch (...) {
        // The handler is the last stop: a failing window or log must not end the program.
    }
}
