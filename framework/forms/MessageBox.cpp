#include "framework/forms/MessageBox.h"

#include <QApplication>
#include <QGuiApplication>

#include <deque>

using namespace Qt::StringLiterals;

namespace framework {
namespace {

std::deque<QMessageBox::StandardButton> s_answers;
QStringList s_shown;

} // namespace

bool HasScreen()
{
    return QGuiApplication::platformName() != u"offscreen"_s && QGuiApplication::platformName() != u"minimal"_s;
}

QMessageBox::StandardButton MessageBox::Show(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                             const QString& caption, QMessageBox::StandardButtons buttons,
                                             QMessageBox::StandardButton defaultButton)
{
    s_shown << text;
    if (!s_answers.empty()) {
        const QMessageBox::StandardButton answer = s_answers.front();
        s_answers.pop_front();
        return answer;
    }
    if (!HasScreen()) {
        return defaultButton;
    }
    QMessageBox box(icon, caption.isEmpty() ? QApplication::applicationName() : caption, text, buttons, parent);
    box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void MessageBox::Information(QWidget* parent, const QString& text, const QString& caption)
{
    Show(parent, QMessageBox::Information, text, caption, QMessageBox::Ok, QMessageBox::Ok);
}

void MessageBox::Warning(QWidget* parent, const QString& text, const QString& caption)
{
    Show(parent, QMessageBox::Warning, text, caption, QMessageBox::Ok, QMessageBox::Ok);
}

void MessageBox::Error(QWidget* parent, const QString& text, const QString& caption)
{
    Show(parent, QMessageBox::Critical, text, caption, QMessageBox::Ok, QMessageBox::Ok);
}

bool MessageBox::Question(QWidget* parent, const QString& text, const QString& caption)
{
    return Show(parent, QMessageBox::Question, text, caption, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
        QMessageBox::Yes;
}

void MessageBox::SetNextAnswer(QMessageBox::StandardButton answer)
{
    s_answers.push_back(answer);
}

void MessageBox::ClearAnswers()
{
    s_answers.clear();
}

QStringList MessageBox::TakeShownTexts()
{
    QStringList shown;
    shown.swap(s_shown);
    return shown;
}

WaitCursor::WaitCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor()
{
    QApplication::restoreOverrideCursor();
}

} // namespace framework
