#include "framework/data/ClsLogin.h"

#include "framework/data/CmDBDataModule.h"
#include "framework/data/CmLogin.h"
#include "platform/Cp1252.h"
#include "platform/KeyStore.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int kMaxLength = 10;
constexpr int kMinPasswordLength = 3;
constexpr int kMaxAttempts = 3;

QLineEdit* NewEdit(QWidget* parent, const QString& name, bool masked)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setMaxLength(kMaxLength);
    if (masked) {
        edit->setEchoMode(QLineEdit::Password);
    }
    return edit;
}

} // namespace

TClsLogin::TClsLogin(TClsDBDataModule& module, QWidget* parent)
    : QDialog(parent)
    , m_module(module)
{
    setObjectName(u"ClsLogin"_s);
    setWindowTitle(u"Login"_s);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_edtUsuario = NewEdit(this, u"edtUsuario"_s, false);
    m_edtSenha = NewEdit(this, u"edtSenha"_s, true);
    form->addRow(u"Usuário:"_s, m_edtUsuario);
    form->addRow(u"Senha:"_s, m_edtSenha);
    layout->addLayout(form);
    m_chkLembrar = new QCheckBox(u"Lembrar Usuário"_s, this);
    m_chkLembrar->setObjectName(u"chkLembrar"_s);
    layout->addWidget(m_chkLembrar);
    auto* buttons = new QHBoxLayout;
    auto* login = new QPushButton(u"&Login"_s, this);
    login->setObjectName(u"btnLogin"_s);
    login->setDefault(true);
    auto* cancelar = new QPushButton(u"&Cancelar"_s, this);
    cancelar->setObjectName(u"btnCancelar"_s);
    buttons->addStretch();
    buttons->addWidget(login);
    buttons->addWidget(cancelar);
    layout->addLayout(buttons);
    connect(login, &QPushButton::clicked, this, &TClsLogin::Login);
    connect(cancelar, &QPushButton::clicked, this, &QDialog::reject);
    ConfirmPassword = [this](const std::string& user) -> std::optional<std::string> {
        TClsLoginConfirmUser confirm(user, m_module.Ui(), this);
        if (confirm.exec() != QDialog::Accepted) {
            return std::nullopt;
        }
        return confirm.Password();
    };
}

void TClsLogin::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    std::string remembered;
    bool remember = true;
    try {
        const platform::KeyStore keys;
        const std::string flag = keys.ReadString(framework::kRememberedUserKey, "REMEMBER");
        remember = flag.empty() || flag == "True";
        remembered = keys.ReadString(framework::kRememberedUserKey, "USER");
    } catch (const std::exception&) {
        // An unreadable store remembers nobody.
    }
    m_chkLembrar->setChecked(remember);
    if (remember) {
        m_edtUsuario->setText(QString::fromStdString(remembered));
    }
    if (!m_module.trMain().Active()) {
        m_module.trMain().StartTransaction();
    }
    (m_edtUsuario->text().isEmpty() ? m_edtUsuario : m_edtSenha)->setFocus();
}

void TClsLogin::Login()
{
    const std::string user = m_edtUsuario->text().toStdString();
    if (TryLogin(user, m_edtSenha->text().toStdString())) {
        Remember(user);
        hide();
        done(QDialog::Accepted);
        return;
    }
    Refuse();
}

bool TClsLogin::TryLogin(const std::string& user, const std::string& password)
{
    TCmDatabase& database = m_module.dbMain();
    TCmTransaction& transaction = m_module.trMain();
    const std::optional<framework::LoginUser> found =
        framework::FindModuleUser(database, transaction, user, m_ModuloID);
    switch (framework::DecideLogin(found, password)) {
    case framework::LoginDecision::Refused:
        return false;
    case framework::LoginDecision::NeedsPassword: {
        const std::optional<std::string> chosen = ConfirmPassword ? ConfirmPassword(user) : std::nullopt;
        if (!chosen) {
            return false;
        }
        framework::StorePassword(database, transaction, found->ID, *chosen);
        transaction.CommitRetaining();
        break;
    }
    case framework::LoginDecision::Accepted:
        break;
    }
    framework::StartSession(m_module.CmSQLGlobals(), database, transaction, user, *found, m_ModuloID, false);
    return true;
}

void TClsLogin::Remember(const std::string& user)
{
    try {
        platform::KeyStore keys;
        keys.WriteString(framework::kRememberedUserKey, "USER", user);
        keys.WriteString(framework::kRememberedUserKey, "REMEMBER", m_chkLembrar->isChecked() ? "True" : "False");
    } catch (const std::exception&) {
        // Nothing remembered is no reason to refuse a good login.
    }
}

void TClsLogin::Refuse()
{
    framework::ShowMessage(m_module.Ui(), "Login Incorreto.");
    m_edtSenha->setFocus();
    ++m_attempts;
    if (m_attempts > kMaxAttempts) {
        done(QDialog::Rejected);
    }
}

void TClsLogin::done(int result)
{
    if (m_module.trMain().Active()) {
        m_module.trMain().Commit();
    }
    QDialog::done(result);
}

TClsLoginConfirmUser::TClsLoginConfirmUser(const std::string& user, framework::DataModuleUi* ui, QWidget* parent)
    : QDialog(parent)
    , m_ui(ui)
{
    setObjectName(u"ClsLoginConfirmUser"_s);
    setWindowTitle(u"Cadastrar Senha Usuário"_s);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    auto* usuario = new QLabel(QString::fromStdString(user), this);
    usuario->setObjectName(u"lblUsuario"_s);
    m_edtSenha = NewEdit(this, u"edtSenha"_s, true);
    m_edtConfirmar = NewEdit(this, u"edtConfirmarSenha"_s, true);
    form->addRow(u"Usuário:"_s, usuario);
    form->addRow(u"Senha"_s, m_edtSenha);
    form->addRow(u"Confirmar Senha"_s, m_edtConfirmar);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(this);
    auto* ok = buttons->addButton(u"&OK"_s, QDialogButtonBox::AcceptRole);
    ok->setObjectName(u"btnOK"_s);
    ok->setDefault(true);
    buttons->addButton(u"&Cancelar"_s, QDialogButtonBox::RejectRole)->setObjectName(u"btnCancelar"_s);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &TClsLoginConfirmUser::Confirmar);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void TClsLoginConfirmUser::Confirmar()
{
    if (m_edtSenha->text().size() < kMinPasswordLength) {
        framework::ShowMessage(m_ui, "A senha deve ter no mínimo 3 caracteres.");
        return;
    }
    if (m_edtConfirmar->text() != m_edtSenha->text()) {
        framework::ShowMessage(m_ui, "A senha de confirmação está incorreta.");
        return;
    }
    try {
        platform::Utf8ToCp1252(Password());
    } catch (const platform::EncodingError&) {
        // The stored digest is made from the code page's bytes; a character outside it could
        // never be typed back the same way by the family's other programs.
        framework::ShowMessage(m_ui, "A senha contém caracteres não permitidos.");
        return;
    }
    accept();
}

std::string TClsLoginConfirmUser::Password() const
{
    return m_edtSenha->text().toStdString();
}
