#pragma once

#include "framework/data/Attachments.h"
#include "framework/schema/CmCustomVersion.h"

#include <QDialog>

#include <string>

class QAction;
class QCheckBox;
class QPlainTextEdit;
class QTreeWidget;

// The question asked once before an upgrade: make a backup first or not.
class TClsBackupAuth : public QDialog
{
    Q_OBJECT

public:
    explicit TClsBackupAuth(QWidget* parent = nullptr);
    bool BackupWanted() const;

private:
    QCheckBox* m_chkBackup;
};

// The window that shows the verbose output of a backup while it runs.
class TClsControlVersionBackup : public QDialog
{
    Q_OBJECT

public:
    explicit TClsControlVersionBackup(QWidget* parent = nullptr);
    void AddLine(const std::string& line);

private:
    QPlainTextEdit* m_memo;
};

// The upgrade's approval: makes the backup when asked, refuses while other users are connected
// (listing them, with a way to end a connection) or when a wanted backup did not finish.
class TClsControlVersion : public QDialog
{
    Q_OBJECT

public:
    TClsControlVersion(TCmDatabase& database, bool skipBackup, QWidget* parent = nullptr);
    ~TClsControlVersion() override;

    // The backup of `databaseName` beside the database; empty when it failed for any reason.
    static std::string BackupDatabase(const std::string& databaseName, QWidget* parent = nullptr);

    const std::string& BackupFile() const { return m_backupFile; }
    void Atualizar();
    void RefreshConnections();
    void EndSelectedConnection();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ShowConnections(bool visible);
    void LookUpHostName(int row, const std::string& address);

    TCmDatabase& m_database;
    bool m_skipBackup;
    bool m_backupDone = false;
    std::string m_backupFile;
    QTreeWidget* m_lvConexoes;
    QAction* m_actEncerrar;
    // Host-name answers for an earlier filling of the list are dropped.
    int m_generation = 0;
};

namespace framework {

// The desktop program's answers to an upgrade's questions: its dialogs and message boxes. A
// failing script also goes to the main data module's database log.
class ControlVersionUi : public VersionUpgradeUi
{
public:
    bool AskBackup() override;
    bool ApproveUpdate(TCmDatabase& database, bool skipBackup) override;
    void ShowMessage(const std::string& text) override;
    void SetWaitCursor(bool waiting) override;
    void ReportScriptFailure(const std::string& text, const DatabaseError& error) override;

    static ControlVersionUi& Instance();
};

} // namespace framework
