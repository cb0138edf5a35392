#pragma once

#include "framework/data/CmDatabase.h"
#include "framework/data/CmTransaction.h"
#include "framework/data/SqlStatement.h"
#include "framework/data/VersionModule.h"
#include "framework/schema/CmIBSQLObj.h"
#include "framework/schema/CmScriptsSQL.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace framework {

// The questions and messages of an upgrade. The desktop program answers them with its dialogs
// (backup question, control-version dialog, message boxes); without one nothing is approved.
class VersionUpgradeUi
{
public:
    virtual ~VersionUpgradeUi() = default;
    // The backup question; true when the user keeps "make a backup" checked.
    virtual bool AskBackup() = 0;
    // The control-version dialog over the version module's own connection; true to update.
    virtual bool ApproveUpdate(TCmDatabase& database, bool skipBackup) = 0;
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void SetWaitCursor(bool /*waiting*/) { }
};

} // namespace framework

// The base of each program's schema-version module: its own connection to the database, the
// framework's common script set, and the program's set that a descendant fills.
class TClsCustomVersion : public framework::VersionModule
{
public:
    using VersionRow = std::pair<std::string, std::string>; // SCRIPT, NUMERO

    TClsCustomVersion();
    ~TClsCustomVersion() override;
    TClsCustomVersion(const TClsCustomVersion&) = delete;
    TClsCustomVersion& operator=(const TClsCustomVersion&) = delete;

    TCmDatabase& DataBase() { return *m_DataBase; }
    TCmTransaction& DefaultTrans() { return *m_DefaultTrans; }
    TCmTransaction& DDLTrans() { return *m_DDLTrans; }
    framework::SqlStatement& SQL() { return *m_SQL; }
    TCmIBSQLObj& IBSQLObj() { return m_IBSQLObj; }
    TCmScriptsSQL& ScriptsCommon() { return m_ScriptsCommon; }
    TCmScriptsSQL& Scripts() { return m_Scripts; }

    void SetUi(framework::VersionUpgradeUi* ui) { m_ui = ui; }
    // Told before each script runs (creation and upgrade), for progress output.
    void SetOnScript(std::function<void(const TVersion&)> onScript) { m_onScript = std::move(onScript); }

    // Every common item followed by every program item, resource scripts resolved.
    std::unique_ptr<TCmScriptsSQL> MergeScripts() const;
    std::vector<VersionRow> ReadVersionRows(const std::string& databaseName);
    bool CheckAndUpgrade(const std::string& databaseName) override;
    bool RunAllScripts(const std::string& databaseName) override;

protected:
    // The scripts of one set as the program carries them, in order.
    static void LoadEmbeddedSet(TCmScriptsSQL& scripts, std::string_view set);

private:
    void RunScript(const TVersion& item);
    // Switches the database's synchronous writes through a short connection of its own.
    void SetForcedWrites(bool on);
    void ShowMessage(const std::string& text);

    // Declared in this order so that the statement and the transactions go before the database.
    std::unique_ptr<TCmDatabase> m_DataBase;
    std::unique_ptr<TCmTransaction> m_DefaultTrans;
    std::unique_ptr<TCmTransaction> m_DDLTrans;
    std::unique_ptr<framework::SqlStatement> m_SQL;
    TCmIBSQLObj m_IBSQLObj;
    TCmScriptsSQL m_ScriptsCommon;
    TCmScriptsSQL m_Scripts;
    framework::VersionUpgradeUi* m_ui = nullptr;
    std::function<void(const TVersion&)> m_onScript;
};
