#include "framework/forms/ClsAboutForm.h"

#include "platform/FormatSettings.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include <sys/utsname.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString PhysicalMemoryText()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    const double kilobytes = pages > 0 && pageSize > 0 ? static_cast<double>(pages) * pageSize / 1024.0 : 0.0;
    return QString::fromStdString(
        platform::FormatFloat("###,###,###,##0 KB", kilobytes, platform::BrazilianFormatSettings()));
}

QString SystemVersionText()
{
    utsname info {};
    if (uname(&info) != 0) {
        return {};
    }
    return QString::fromUtf8(info.sysname) + u" "_s + QString::fromUtf8(info.release);
}

} // namespace

TClsAboutForm::TClsAboutForm(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(u"ClsAboutForm"_s);
    setWindowTitle(u"Sobre"_s);
    auto* layout = new QVBoxLayout(this);
    auto addLine = [this, layout](const QString& name, const QString& text) {
        auto* label = new QLabel(text, this);
        label->setObjectName(name);
        layout->addWidget(label);
    };
    addLine(u"lbPrograma"_s, QApplication::applicationName());
    addLine(u"lbVersao"_s, u"Versão: "_s + QApplication::applicationVersion());
    addLine(u"lbMemoria"_s, u"Memória física disponível para Windows: "_s + PhysicalMemoryText());
    addLine(u"lbSistema"_s, SystemVersionText());
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

TClsAboutForm::~TClsAboutForm() = default;
