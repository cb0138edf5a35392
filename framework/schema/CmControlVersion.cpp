#include "framework/schema/CmControlVersion.h"

#include "framework/data/BackupService.h"
#include "framework/data/CmDBDataModule.h"
#include "framework/forms/MessageBox.h"
#include "platform/Clock.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cstring>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

const QString kCaption = u"Controle de Versão Banco de Dados"_s;
const char* const kAdministratorPassword = "quartzite";

QString Utf8(const std::string& text)
{
    return QString::fromStdString(text);
}

QLabel* Header(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    font.setPointSize(font.pointSize() + 4);
    label->setFont(font);
    return label;
}

void NoWindowButtons(QDialog* dialog)
{
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
}

// The host name of an IPv4 or IPv6 address; empty when the lookup fails.
std::string HostName(const std::string& address)
{
    sockaddr_storage storage {};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    // Firebird writes "address/port" for TCP attachments.
    const std::string host = address.substr(0, address.find('/'));
    if (inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        length = sizeof(sockaddr_in);
    } else if (inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        length = sizeof(sockaddr_in6);
    } else {
        return {};
    }
    char name[NI_MAXHOST] = {};
    if (getnameinfo(reinterpret_cast<sockaddr*>(&storage), length, name, sizeof(name), nullptr, 0, NI_NAMEREQD) != 0) {
        return {};
    }
    return name;
}

} // namespace

TClsBackupAuth::TClsBackupAuth(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(u"ClsBackupAuth"_s);
    setWindowTitle(kCaption);
    NoWindowButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Header(u"Banco de Dados"_s, this));
    auto* warning = Header(u"ATENÇÃO!"_s, this);
    warning->setStyleSheet(u"color: red"_s);
    layout->addWidget(warning);
    auto* text = new QPlainTextEdit(this);
    text->setReadOnly(true);
    text->setPlainText(u"O banco de dados será atualizado para a versão deste programa.\n"
                       "É altamente recomendável fazer um backup antes da atualização, a não ser que "
                       "você tenha certeza de que a empresa mantém backups próprios em dia."_s);
    layout->addWidget(text);
    m_chkBackup = new QCheckBox(u"Sim, desejo realizar o backup da \"Base de Dados\"."_s, this);
    m_chkBackup->setObjectName(u"chkBackup"_s);
    m_chkBackup->setChecked(true);
    layout->addWidget(m_chkBackup);
    auto* button = new QPushButton(u"&Continuar"_s, this);
    button->setObjectName(u"btnContinuar"_s);
    connect(button, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(button, 0, Qt::AlignRight);
}

bool TClsBackupAuth::BackupWanted() const
{
    return m_chkBackup->isChecked();
}

TClsControlVersionBackup::TClsControlVersionBackup(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(u"ClsControlVersionBackup"_s);
    setWindowTitle(kCaption);
    NoWindowButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Header(u"Aguarde enquanto o backup é realizado..."_s, this));
    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName(u"mmBackup"_s);
    m_memo->setReadOnly(true);
    layout->addWidget(m_memo);
    resize(560, 360);
}

void TClsControlVersionBackup::AddLine(const std::string& line)
{
    m_memo->appendPlainText(Utf8(line));
}

TClsControlVersion::TClsControlVersion(TCmDatabase& database, bool skipBackup, QWidget* parent)
    : QDialog(parent)
    , m_database(database)
    , m_skipBackup(skipBackup)
{
    setObjectName(u"ClsControlVersion"_s);
    setWindowTitle(kCaption);
    NoWindowButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Header(u"Banco de Dados"_s, this));
    auto* text = new QPlainTextEdit(this);
    text->setReadOnly(true);
    text->setPlainText(u"Para continuar a executar o programa é necessário atualizar a \n"
                       "base de dados, certifique-se que não tenha nenhum usuário \n"
                       "utilizando o sistema ou conectado a base dados. Para atualizar \n"
                       "clique no botão \"Atualizar\"."_s);
    text->setMaximumHeight(100);
    layout->addWidget(text);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* atualizar = new QPushButton(u"&Atualizar"_s, this);
    atualizar->setObjectName(u"btnAtualizar"_s);
    auto* fechar = new QPushButton(u"&Fechar"_s, this);
    fechar->setObjectName(u"btnFechar"_s);
    buttons->addWidget(atualizar);
    buttons->addWidget(fechar);
    layout->addLayout(buttons);
    m_lvConexoes = new QTreeWidget(this);
    m_lvConexoes->setObjectName(u"lvConexoes"_s);
    m_lvConexoes->setRootIsDecorated(false);
    m_lvConexoes->setHeaderLabels({u"Nome Computador"_s, u"IP"_s, u"Nome Aplicativo"_s});
    m_lvConexoes->setColumnWidth(0, 150);
    m_lvConexoes->setColumnWidth(1, 100);
    m_lvConexoes->setColumnWidth(2, 250);
    m_lvConexoes->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_actEncerrar = new QAction(u"Encerrar conexão deste usuário..."_s, m_lvConexoes);
    m_actEncerrar->setObjectName(u"actEncerrarConexao"_s);
    m_lvConexoes->addAction(m_actEncerrar);
    layout->addWidget(m_lvConexoes);
    m_lvConexoes->hide();

    connect(atualizar, &QPushButton::clicked, this, &TClsControlVersion::Atualizar);
    connect(fechar, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_actEncerrar, &QAction::triggered, this, &TClsControlVersion::EndSelectedConnection);
    resize(560, sizeHint().height());
}

TClsControlVersion::~TClsControlVersion() = default;

void TClsControlVersion::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_skipBackup && !m_backupDone && !event->spontaneous()) {
        m_backupDone = true;
        // The backup keeps the interface alive; "Atualizar" must wait until it has ended.
        const QList<QPushButton*> buttons = findChildren<QPushButton*>();
        for (QPushButton* button : buttons) {
            button->setEnabled(false);
        }
        m_backupFile = BackupDatabase(m_database.DatabaseName(), this);
        for (QPushButton* button : buttons) {
            button->setEnabled(true);
        }
    }
}

std::string TClsControlVersion::BackupDatabase(const std::string& databaseName, QWidget* parent)
{
    try {
        framework::WaitCursor cursor;
        TClsControlVersionBackup window(parent);
        window.show();
        framework::BackupService::Options options;
        options.DatabaseName = databaseName;
        options.BackupFile = framework::BackupService::DefaultFileName(databaseName, platform::Clock::Now());
        options.Password = kAdministratorPassword;
        options.Verbose = true;
        framework::BackupService::Run(options, [&](const std::string& line) {
            window.AddLine(line);
            QApplication::processEvents();
        });
        window.close();
        return options.BackupFile;
    } catch (...) {
        // Any failure, the service's own included, means no backup.
        return {};
    }
}

void TClsControlVersion::Atualizar()
{
    const std::vector<framework::Attachment> others = framework::OtherAttachments(m_database);
    QString refusal;
    if (!others.empty()) {
        refusal = u"Processo não pode continuar pois existem usuários conectados a Base de Dados.\r\nExiste(m) "_s +
            QString::number(others.size()) + u" usuário(s) conectados."_s;
    } else if (!m_skipBackup && m_backupFile.empty()) {
        refusal = u"Backup não efetuado. Não será possível efetuar a atualização do banco de dados."_s;
    }
    if (refusal.isEmpty()) {
        accept();
        return;
    }
    framework::MessageBox::Warning(this, refusal);
    ShowConnections(true);
    RefreshConnections();
}

void TClsControlVersion::ShowConnections(bool visible)
{
    if (m_lvConexoes->isHidden() != visible) {
        return;
    }
    m_lvConexoes->setVisible(visible);
    resize(width(), visible ? height() + 160 : sizeHint().height());
}

void TClsControlVersion::RefreshConnections()
{
    ++m_generation;
    m_lvConexoes->clear();
    for (const framework::Attachment& attachment : framework::OtherAttachments(m_database)) {
        auto* item = new QTreeWidgetItem(m_lvConexoes);
        item->setText(1, Utf8(attachment.RemoteAddress));
        item->setText(2, Utf8(attachment.RemoteProcess));
        item->setData(0, Qt::UserRole, QVariant::fromValue<qlonglong>(attachment.Id));
        if (!attachment.RemoteAddress.empty()) {
            LookUpHostName(m_lvConexoes->topLevelItemCount() - 1, attachment.RemoteAddress);
        }
    }
    if (m_lvConexoes->topLevelItemCount() == 0) {
        ShowConnections(false);
    }
}

void TClsControlVersion::LookUpHostName(int row, const std::string& address)
{
    // A reverse lookup can take seconds; it runs beside the window and its answer is applied on
    // the window's thread, only to the list it was asked for.
    QPointer<TClsControlVersion> self(this);
    const int generation = m_generation;
    std::thread([self, generation, row, address] {
        const std::string name = HostName(address);
        if (name.empty()) {
            return;
        }
        QMetaObject::invokeMethod(
            qApp,
            [self, generation, row, name] {
                if (!self || self->m_generation != generation) {
                    return;
                }
                if (QTreeWidgetItem* item = self->m_lvConexoes->topLevelItem(row)) {
                    item->setText(0, Utf8(name));
                }
            },
            Qt::QueuedConnection);
    }).detach();
}

void TClsControlVersion::EndSelectedConnection()
{
    QTreeWidgetItem* item = m_lvConexoes->currentItem();
    if (!item) {
        framework::MessageBox::Warning(this, u"Selecione uma máquina para encerrar a conexão!"_s, u"Atenção!"_s);
        return;
    }
    if (!framework::MessageBox::Question(this,
                                         u"Atenção!\nEsse encerramento é realizado sem o consentimento do usuário.\n"
                                         "Se possível, peça ao usuário que encerre as aplicações da Brevant.\n\n"
                                         "Deseja realmente encerrar a conexão sem consentimento deste usuário?"_s)) {
        return;
    }
    const qlonglong id = item->data(0, Qt::UserRole).toLongLong();
    if (id > 0) {
        framework::EndAttachment(m_database, id);
    }
    RefreshConnections();
}

namespace framework {

bool ControlVersionUi::AskBackup()
{
    TClsBackupAuth form(QApplication::activeWindow());
    form.exec();
    return form.BackupWanted();
}

bool ControlVersionUi::ApproveUpdate(TCmDatabase& database, bool skipBackup)
{
    TClsControlVersion form(database, skipBackup, QApplication::activeWindow());
    return form.exec() == QDialog::Accepted;
}

void ControlVersionUi::ShowMessage(const std::string& text)
{
    MessageBox::Information(QApplication::activeWindow(), Utf8(text));
}

void ControlVersionUi::SetWaitCursor(bool waiting)
{
    if (waiting) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void ControlVersionUi::ReportScriptFailure(const std::string& text, const DatabaseError& error)
{
    if (TClsDBDataModule* module = ClsDBDataModule()) {
        TLogErrorDataBase record;
        record.SQLCode = error.SQLCode();
        record.Message = text;
        record.DateTime = platform::Clock::Now();
        record.ServerName = module->dbMain().DatabaseName();
        record.ComputerName = ComputerName();
        module->RecordDatabaseError(record);
    }
    MessageBox::Error(QApplication::activeWindow(), Utf8(text));
}

ControlVersionUi& ControlVersionUi::Instance()
{
    static ControlVersionUi s_instance;
    return s_instance;
}

} // namespace framework
