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

// Both USUARIO_LOG.TELA and USUARIO_LOG.LOG hold 255 characters; the database keeps one byte per
// character, so a cut on a character boundary always fits.
constexpr size_t kLogColumnSize = 255;

const char* const kInsertUserLog = "insert into USUARIO_LOG (USUARIOID,MODULOID,TABLEID,FORMNAME,TELA,LOG) values "
                                   "(:USUARIOID,:MODULOID,:TABLEID,:FORMNAME,:TELA,:LOG)";

void RollbackQuietly(TCmTransaction& transaction)
{
    try {
        if (transaction.InTransaction()) {
            transaction.Rollback();
        }
    } catch (...) {
        // The connection may be the thing that failed; the work is lost either way.
    }
}

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
    , m_PARAMETROS(std::make_unique<TCmIBSQL>(m_dbMain.get(), m_trPARAMETROS.get()))
    , m_IBSQLLOG(std::make_unique<TCmIBSQL>(m_dbMain.get(), m_trIBSQLLOG.get()))
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
        framework::ShowMessage(m_ui, "Digite o Servidor.");
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

std::string TClsDBDataModule::ReadParam(const std::vector<std::string>& values)
{
    try {
        if (!m_trPARAMETROS->InTransaction()) {
            m_trPARAMETROS->StartTransaction();
        }
        m_PARAMETROS->ExecProcedureLiteral("GETPARAMS", values);
        std::string value = m_PARAMETROS->FieldByName("VALOR").AsString();
        m_PARAMETROS->Close();
        m_trPARAMETROS->Commit();
        return value;
    } catch (...) {
        // Callers compare the result with what they expect, so a failure reads as "different".
        RollbackQuietly(*m_trPARAMETROS);
        return std::string(framework::kParamReadFailure);
    }
}

bool TClsDBDataModule::WriteParam(const std::vector<std::string>& values)
{
    try {
        if (!m_trPARAMETROS->InTransaction()) {
            m_trPARAMETROS->StartTransaction();
        }
        m_PARAMETROS->ExecProcedureLiteral("SETPARAMS", values);
        m_PARAMETROS->Close();
        m_trPARAMETROS->Commit();
        return true;
    } catch (...) {
        RollbackQuietly(*m_trPARAMETROS);
        return false;
    }
}

std::string TClsDBDataModule::GetParam(const std::string& name)
{
    return ReadParam({"", "", "", platform::UpperCp1252(name), "0", "0"});
}

std::string TClsDBDataModule::GetUserParam(const std::string& name, const std::string& user, const std::string& module)
{
    return ReadParam(
        {"", platform::UpperCp1252(user), platform::UpperCp1252(module), platform::UpperCp1252(name), "0", "0"});
}

bool TClsDBDataModule::SetParam(const std::string& name, const std::string& value)
{
    return WriteParam({"", "", "", platform::UpperCp1252(name), "0", "0", value});
}

bool TClsDBDataModule::SetUserParam(const std::string& name, const std::string& value, const std::string& module,
                                    const std::string& user)
{
    return WriteParam(
        {"", platform::UpperCp1252(user), platform::UpperCp1252(module), platform::UpperCp1252(name), "0", "0", value});
}

void TClsDBDataModule::WriteUserLog(TCmTransaction* transaction, const std::string& title, int recordId,
                                    const std::string& description, const std::string& formName)
{
    if (platform::Trim(description).empty()) {
        return;
    }
    // The working-date suffix " - (dd/mm/yyyy)" and anything else after the first " - " is not
    // part of the screen's name.
    std::string_view tela = title;
    if (const size_t dash = tela.find(" - "); dash != std::string_view::npos) {
        tela = tela.substr(0, dash);
    }
    // A long caption or description must not make the insert fail: that would block the user's
    // save along with it.
    tela = platform::Utf8Left(tela, kLogColumnSize);
    const std::string_view log = platform::Utf8Left(description, kLogColumnSize);

    const bool own = transaction == nullptr;
    TCmTransaction& target = own ? *m_trIBSQLLOG : *transaction;
    TCmIBSQL& statement = *m_IBSQLLOG;
    try {
        if (own && !target.InTransaction()) {
            target.StartTransaction();
        }
        if (statement.SQL() != kInsertUserLog) {
            statement.SetSQL(kInsertUserLog);
        }
        statement.SetTransaction(&target);
        statement.SetParam("USUARIOID", framework::SqlValue::Integer(m_CmSQLGlobals->UsuarioID()));
        statement.SetParam("MODULOID", framework::SqlValue::Integer(m_CmSQLGlobals->ModuloID()));
        statement.SetParam("TABLEID", recordId > 0 ? framework::SqlValue::Integer(recordId) : framework::SqlValue());
        statement.SetParam("FORMNAME", framework::SqlValue::Text(formName));
        statement.SetParam("TELA", framework::SqlValue::Text(std::string(tela)));
        statement.SetParam("LOG", framework::SqlValue::Text(std::string(log)));
        statement.ExecQuery();
        // The caller's transaction may go before the module does.
        statement.SetTransaction(m_trIBSQLLOG.get());
        if (own) {
            target.Commit();
        }
    } catch (...) {
        statement.SetTransaction(m_trIBSQLLOG.get());
        // The module's own transaction must not carry a failed attempt into the next entry; a
        // caller's transaction is the caller's to end.
        if (own) {
            RollbackQuietly(target);
        }
        throw;
    }
}

void TClsDBDataModule::ShowRecordHistory(const std::string& formName, int recordId)
{
    if (m_ui) {
        m_ui->ShowRecordHistory(*this, formName, recordId);
    }
}
