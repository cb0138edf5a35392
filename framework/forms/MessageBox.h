#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

namespace framework {

// Whether windows can be seen: not on the offscreen and minimal platforms, where a modal window
// nobody can see would wait forever.
bool HasScreen();

// Every message box of the program goes through here, so tests can answer them: queued
// answers are taken in order, and without a display a box is never shown (it is recorded and
// gets its default answer), because a modal box nobody can see would hang the run.
class MessageBox
{
public:
    static void Information(QWidget* parent, const QString& text, const QString& caption = {});
    static void Warning(QWidget* parent, const QString& text, const QString& caption = {});
    static void Error(QWidget* parent, const QString& text, const QString& caption = {});
    // Yes/No with No preselected; true for Yes.
    static bool Question(QWidget* parent, const QString& text, const QString& caption = QStringLiteral("Confirmar"));

    static void SetNextAnswer(QMessageBox::StandardButton answer);
    static void ClearAnswers();
    // The texts of the boxes shown (or answered) since the last call, for tests.
    static QStringList TakeShownTexts();

private:
    static QMessageBox::StandardButton Show(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                            const QString& caption, QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton defaultButton);
};

// The wait cursor for the length of a scope.
class WaitCursor
{
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace framework
