#pragma once

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

class QCheckBox;
class QLineEdit;
class TClsDBDataModule;

namespace framework {
class DataModuleUi;
}

// Asks who is at the desk. Three wrong attempts close it; the session is filled on success.
class TClsLogin : public QDialog
{
    Q_OBJECT

public:
    explicit TClsLogin(TClsDBDataModule& module, QWidget* parent = nullptr);

    int ModuloID() const { return m_ModuloID; }
    void SetModuloID(int moduloId) { m_ModuloID = moduloId; }
    // Asks a user without a password for a new one; the password dialog unless replaced.
    std::function<std::optional<std::string>(const std::string& user)> ConfirmPassword;

    void Login();
    int Attempts() const { return m_attempts; }

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    bool TryLogin(const std::string& user, const std::string& password);
    void Remember(const std::string& user);
    void Refuse();

    TClsDBDataModule& m_module;
    int m_ModuloID = 0;
    int m_attempts = 1;
    QLineEdit* m_edtUsuario;
    QLineEdit* m_edtSenha;
    QCheckBox* m_chkLembrar;
};

// Lets a user without a password choose one, typed twice.
class TClsLoginConfirmUser : public QDialog
{
    Q_OBJECT

public:
    TClsLoginConfirmUser(const std::string& user, framework::DataModuleUi* ui, QWidget* parent = nullptr);

    void Confirmar();
    std::string Password() const;

private:
    framework::DataModuleUi* m_ui;
    QLineEdit* m_edtSenha;
    QLineEdit* m_edtConfirmar;
};
