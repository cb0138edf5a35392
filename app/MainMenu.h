#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

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
    // The module numbers the user may use, in the order the login read them.
    QStringList Modules;
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

    // The folder the family's other programs are looked for in; the program's own by default.
    void SetProgramFolder(const QString& folder) { m_programFolder = folder; }
    // One item per program of the family the user may use that is installed beside this one.
    void BuildModulesMenu();
    // Hands over to another program of the family, with the current user, and closes this one.
    void OpenModule(int moduloId);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    void PlaceAtTop();
    void UpdateStatusBar();
    void ShowAbout();

    app::SessionStatus m_status;
    QString m_programFolder;
    QPointer<QWidget>* m_currentWorkWindow = nullptr;
    QMenu* m_menuModules = nullptr;
    QLabel* m_panelUser = nullptr;
    QLabel* m_panelModule = nullptr;
    QLabel* m_panelDatabase = nullptr;
};
