#pragma once

#include "framework/data/CmDatabase.h"
#include "framework/data/CmIBSQL.h"
#include "framework/data/CmSQLGlobals.h"
#include "framework/data/CmTransaction.h"
#include "framework/data/ErrorLog.h"

#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TClsDBDataModule;
class TCmDataSet;

namespace framework {

// What a parameter read gives when it fails: the single byte FF. Stored values come back from
// the database decoded to UTF-8, where that byte never stands alone, so no stored value (not
// even "ÿ") can look like a failure; and a write of it is refused for the same reason.
inline constexpr std::string_view kParamReadFailure = "\xFF";

// What the opening sequence and the exception handler show. The desktop program answers with
// its windows and message boxes; tests answer with a fake. Nothing here may throw out of the
// exception handler's calls.
class DataModuleUi
{
public:
    virtual ~DataModuleUi() = default;
    virtual void ShowMessage(const std::string& text) = 0;
    // Yes/No with No preselected, caption "Confirmar"; true for Yes.
    virtual bool Question(const std::string& text) = 0;
    // The login-server form, modal; it connects through the module or is cancelled.
    virtual void ShowLoginServer(TClsDBDataModule& module) = 0;
    // The login dialog, modal; true when a user logged in and the session was filled.
    virtual bool ShowLogin(TClsDBDataModule& /*module*/) { return false; }
    // The database-error dialog over the session's list, opened on record `current`.
    virtual void ShowDatabaseError(const std::vector<TLogErrorDataBase>& errors, size_t current) = 0;
    virtual void ShowException(const std::string& text) = 0;
    // The caption of every window on screen, in screen order, each followed by "|".
    virtual std::string FormCaptions() = 0;
    virtual void SetWaitCursor(bool waiting) = 0;
    // The opening sequence failed: no main window, and the program ends.
    virtual void Terminate() = 0;
    // The user-log history of one record (recordId > 0) or of a whole screen, modal. A program
    // without windows has no history to show.
    virtual void ShowRecordHistory(TClsDBDataModule& /*module*/, const std::string& /*formName*/, int /*recordId*/) { }
};

// Shows a message when there is someone to show it to.
inline void ShowMessage(DataModuleUi* ui, const std::string& text)
{
    if (ui) {
        ui->ShowMessage(text);
    }
}

// The login step of the opening sequence. Until a login is registered the sequence ends with
// the connection (the user then stays the session's empty user).
using LoginAtStartupFunction = bool (*)(TClsDBDataModule& module);
void SetLoginAtStartup(LoginAtStartupFunction login);
LoginAtStartupFunction LoginAtStartup();

// The module number of the running program; set by the program entry before any module exists.
int ProgramModuloID();
void SetProgramModuloID(int id);

} // namespace framework

// The base of every data module: wires its framework datasets to the main module's connection
// and session once the module is built.
class TClsDataModule
{
public:
    TClsDataModule() = default;
    virtual ~TClsDataModule() = default;
    TClsDataModule(const TClsDataModule&) = delete;
    TClsDataModule& operator=(const TClsDataModule&) = delete;

    // Gives each of the module's datasets the main connection and the session, when the main
    // module exists.
    void AfterConstruction();

protected:
    virtual void ConnectDataSets(TCmDatabase& /*database*/, TCmSQLGlobals& /*globals*/) { }
};

// The program's one main data module: the connection dbMain, the session, the opening sequence
// (database name, schema check and upgrade, connection, login) and the application-wide
// exception handler with its log files under the program folder.
class TClsDBDataModule : public TClsDataModule
{
public:
    explicit TClsDBDataModule(framework::DataModuleUi* ui, std::string programFolder = {});
    ~TClsDBDataModule() override;

    TCmDatabase& dbMain() { return *m_dbMain; }
    TCmTransaction& trMain() { return *m_trMain; }
    TCmTransaction& trPARAMETROS() { return *m_trPARAMETROS; }
    TCmTransaction& trIBSQLLOG() { return *m_trIBSQLLOG; }
    TCmIBSQL& PARAMETROS() { return *m_PARAMETROS; }
    TCmIBSQL& IBSQLLOG() { return *m_IBSQLLOG; }
    TCmSQLGlobals& CmSQLGlobals() { return *m_CmSQLGlobals; }
    framework::ErrorLog& Log() { return m_log; }
    framework::DataModuleUi* Ui() const { return m_ui; }
    const std::string& ProgramFolder() const { return m_programFolder; }

    // The opening sequence, run once right after construction: publishes the session, connects
    // and logs in. False (and the application told to end) when a step failed.
    bool AfterConstruction();
    bool Terminated() const { return m_terminated; }

    bool ConnectAtStartup();
    bool ConnectDatabase(const std::string& name);
    // An empty server creates the file with the embedded engine. Raises on failure.
    bool CreateDatabaseFile(const std::string& server, const std::string& fileName);

    std::string ReadConnectionName() const;
    void WriteConnectionName(const std::string& name);

    // The application's handler for exceptions nobody caught. Never throws.
    void HandleException(std::exception_ptr error) noexcept;
    void RecordException(const TLogError& record);
    void RecordDatabaseError(const TLogErrorDataBase& record);

    // Settings kept in PARAMETROS: global ones, and ones scoped to a user and a module (the
    // caller chooses the texts that name them). Name, user and module are compared upper-cased;
    // the value is stored as given. A name never stored reads as empty; a failed read gives
    // framework::kParamReadFailure, a failed write false, and neither leaves work pending.
    [[nodiscard]] std::string GetParam(const std::string& name);
    [[nodiscard]] std::string GetUserParam(const std::string& name, const std::string& user, const std::string& module);
    [[nodiscard]] bool SetParam(const std::string& name, const std::string& value);
    [[nodiscard]] bool SetUserParam(const std::string& name, const std::string& value, const std::string& module,
                                    const std::string& user);

    // Appends one USUARIO_LOG row for the session's user and module. With a transaction the row
    // lives or dies with the caller's change; without one it is committed at once. A blank
    // description writes nothing. A failing insert raises.
    void WriteUserLog(TCmTransaction* transaction, const std::string& title, int recordId,
                      const std::string& description, const std::string& formName);
    // The log of one record (recordId > 0) or of every record of a screen, newest first.
    void ShowRecordHistory(const std::string& formName, int recordId);

private:
    std::string ReadParam(const std::vector<std::string>& values);
    bool WriteParam(const std::vector<std::string>& values);
    void ConnectAndRestore(const std::string& name, const std::vector<TCmTransaction*>& transactions,
                           const std::vector<TCmDataSet*>& dataSets);
    std::string Forms() const;

    framework::DataModuleUi* m_ui;
    std::string m_programFolder;
    // Declared after the connection, so that they go before it.
    std::unique_ptr<TCmDatabase> m_dbMain;
    std::unique_ptr<TCmTransaction> m_trMain;
    std::unique_ptr<TCmTransaction> m_trPARAMETROS;
    std::unique_ptr<TCmTransaction> m_trIBSQLLOG;
    // Declared after their transactions and connection, so that they go first.
    std::unique_ptr<TCmIBSQL> m_PARAMETROS;
    std::unique_ptr<TCmIBSQL> m_IBSQLLOG;
    std::unique_ptr<TCmSQLGlobals> m_CmSQLGlobals;
    framework::ErrorLog m_log;
    bool m_terminated = false;
};

// The running program's main data module and its session; null before it exists.
TClsDBDataModule* ClsDBDataModule();
TCmSQLGlobals* SQLGlobals();
