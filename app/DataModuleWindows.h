#pragma once

#include "framework/data/CmDBDataModule.h"

namespace app {

// The desktop program's answers to the main data module: the login-server and login forms, message boxes,
// the database-error dialog, the record history and the wait cursor.
class DataModuleWindows : public framework::DataModuleUi
{
public:
    void ShowMessage(const std::string& text) override;
    bool Question(const std::string& text) override;
    void ShowLoginServer(TClsDBDataModule& module) override;
    bool ShowLogin(TClsDBDataModule& module) override;
    void ShowDatabaseError(const std::vector<TLogErrorDataBase>& errors, size_t current) override;
    void ShowException(const std::string& text) override;
    std::string FormCaptions() override;
    void SetWaitCursor(bool waiting) override;
    void Terminate() override { m_terminated = true; }
    void ShowRecordHistory(TClsDBDataModule& module, const std::string& formName, int recordId) override;

    bool Terminated() const { return m_terminated; }

private:
    bool m_terminated = false;
};

} // namespace app
