#pragma once

#include <QMainWindow>
#include <QPointer>

#include <functional>

class QAction;
class QLabel;
class QMenu;

namespace app {

// What the status bar shows about the session.
struct SessionStatus
{
    QString Login;
    QString FirstName;
    QString LastName;
    QString Module;
    QString DatabaseName;
};

} // namespace app

// The program's main window: a strip across the top of the screen with the menus, below
// which one work window at a time is opened.
class TfrmMainMenu : public QMainWindow
{
    Q_OBJECT

public:
    using WorkWindowFactory = std::function<QWidget*(QWidget* owner)>;

    explicit TfrmMainMenu(QWidget* parent = nullptr);
    ~TfrmMainMenu() override;

    TfrmMainMenu(const TfrmMainMenu&) = delete;
    TfrmMainMenu& operator=(const TfrmMainMenu&) = delete;

    void SetSessionStatus(const app::SessionStatus& status);

    // Opens the work window kept in `variable`, closing the current one first. A window whose
    // close is refused stays current and nothing else opens; a hidden current window is shown
    // again as it was, never recreated.
    void OpenWorkWindow(QPointer<QWidget>& variable, const WorkWindowFactory& create);
    QWidget* CurrentWorkWindow() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    void PlaceAtTop();
    void UpdateStatusBar();
    void ShowAbout();

    app::SessionStatus m_status;
    QPointer<QWidget>* m_currentWorkWindow = nullptr;
    QMenu* m_menuModules = nullptr;
    QLabel* m_panelUser = nullptr;
    QLabel* m_panelModule = nullptr;
    QLabel* m_panelDatabase = nullptr;
};
