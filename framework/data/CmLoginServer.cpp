#include "framework/data/CmLoginServer.h"

#include "framework/data/CmDBDataModule.h"
#include "framework/data/VersionModule.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QString Utf8(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string Text(const QLineEdit* edit)
{
    return edit->text().trimmed().toStdString();
}

} // namespace

TClsLoginServer::TClsLoginServer(TClsDBDataModule& module, QWidget* parent)
    : QDialog(parent)
    , m_module(module)
{
    setObjectName(u"ClsLoginServer"_s);
    setWindowTitle(u"Login"_s);
    auto* layout = new QVBoxLayout(this);
    m_lblServidor = new QLabel(this);
    m_lblServidor->setObjectName(u"lblServidor"_s);
    layout->addWidget(m_lblServidor);
    m_edtServidor = new QLineEdit(this);
    m_edtServidor->setObjectName(u"edtServidor"_s);
    m_edtServidor->setPlaceholderText(u"<nome servidor>:<caminho do bando de dados>"_s);
    m_edtServidor->setToolTip(m_edtServidor->placeholderText());
    m_edtServidor->setMinimumWidth(420);
    layout->addWidget(m_edtServidor);
    auto* buttons = new QHBoxLayout;
    m_btnCriarBanco = new QPushButton(u"Criar Banco de Dados..."_s, this);
    m_btnCriarBanco->setObjectName(u"btnCriarBanco"_s);
    auto* conectar = new QPushButton(u"C&onectar"_s, this);
    conectar->setObjectName(u"btnConectar"_s);
    conectar->setDefault(true);
    auto* cancelar = new QPushButton(u"&Cancelar"_s, this);
    cancelar->setObjectName(u"btnCancelar"_s);
    buttons->addWidget(m_btnCriarBanco);
    buttons->addStretch();
    buttons->addWidget(conectar);
    buttons->addWidget(cancelar);
    layout->addLayout(buttons);
    connect(conectar, &QPushButton::clicked, this, &TClsLoginServer::Conectar);
    connect(cancelar, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_btnCriarBanco, &QPushButton::clicked, this, &TClsLoginServer::CriarBancoDeDados);
}

void TClsLoginServer::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    const QString name = Utf8(m_module.ReadConnectionName());
    m_edtServidor->setText(name);
    m_lblServidor->setText(u"Servidor: "_s + name);
    m_wasConnected = m_module.dbMain().Connected();
    m_previousName = m_module.dbMain().DatabaseName();
    m_btnCriarBanco->setVisible(framework::VersionModuleClass() != nullptr);
}

void TClsLoginServer::Conectar()
{
    if (m_module.ConnectDatabase(m_edtServidor->text().toStdString())) {
        accept();
        return;
    }
    if (m_module.Ui() &&
        m_module.Ui()->Question("Não foi possível conectar o banco de dados, deseja tentar novamente?")) {
        m_edtServidor->setFocus();
    } else {
        reject();
    }
}

void TClsLoginServer::done(int result)
{
    // Leaving the form must not leave the session without the database it had.
    if (m_wasConnected && !m_module.dbMain().Connected()) {
        try {
            if (m_module.dbMain().DatabaseName() != m_previousName) {
                m_module.dbMain().SetDatabaseName(m_previousName);
            }
            m_module.dbMain().Open();
        } catch (const std::exception&) {
            // The caller sees the session unconnected.
        }
    }
    QDialog::done(result);
}

void TClsLoginServer::CriarBancoDeDados()
{
    TClsCreateDataBase form(m_module, this);
    form.exec();
    if (form.Created()) {
        m_edtServidor->setText(Utf8(form.DatabaseName()));
    }
}

TClsCreateDataBase::TClsCreateDataBase(TClsDBDataModule& module, QWidget* parent)
    : QDialog(parent)
    , m_module(module)
{
    setObjectName(u"ClsCreateDataBase"_s);
    setWindowTitle(u"Criar Banco de Dados"_s);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_edtServidor = new QLineEdit(this);
    m_edtServidor->setObjectName(u"edtServidor"_s);
    m_edtServidor->setToolTip(u"Vazio: o banco fica neste computador, sem servidor."_s);
    m_edtArquivo = new QLineEdit(this);
    m_edtArquivo->setObjectName(u"edtArquivo"_s);
    m_edtArquivo->setMinimumWidth(360);
    form->addRow(u"Nome Servidor"_s, m_edtServidor);
    form->addRow(u"Arquivo Base de Dados Firebird ( *.gdb )"_s, m_edtArquivo);
    layout->addLayout(form);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* criar = new QPushButton(u"&Criar"_s, this);
    criar->setObjectName(u"btnCriar"_s);
    auto* fechar = new QPushButton(u"&Fechar"_s, this);
    fechar->setObjectName(u"btnFechar"_s);
    buttons->addWidget(criar);
    buttons->addWidget(fechar);
    layout->addLayout(buttons);
    connect(criar, &QPushButton::clicked, this, &TClsCreateDataBase::Criar);
    connect(fechar, &QPushButton::clicked, this, &QDialog::reject);
}

std::string TClsCreateDataBase::DatabaseName() const
{
    const std::string server = Text(m_edtServidor);
    return server.empty() ? Text(m_edtArquivo) : server + ":" + Text(m_edtArquivo);
}

void TClsCreateDataBase::Criar()
{
    // Without a server name the file is created for the embedded engine, so only the file is
    // required.
    if (Text(m_edtArquivo).empty()) {
        framework::ShowMessage(m_module.Ui(), "Digite o nome do arquivo (*.gdb)");
        return;
    }
    if (m_module.CreateDatabaseFile(Text(m_edtServidor), Text(m_edtArquivo))) {
        framework::ShowMessage(m_module.Ui(), "Banco de Dados criado com sucesso.");
        m_created = true;
        accept();
    } else {
        framework::ShowMessage(m_module.Ui(),
                               "Não foi possível criar o banco de dados. Tente novamente.\r\n"
                               "Caso o problema persistir contate o fabricante do software.");
    }
}
