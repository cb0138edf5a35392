#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class TClsDBDataModule;

// The form that asks for the database name ("server:path", or a bare path for the embedded
// engine) and connects the main data module to it.
class TClsLoginServer : public QDialog
{
    Q_OBJECT

public:
    explicit TClsLoginServer(TClsDBDataModule& module, QWidget* parent = nullptr);

    void Conectar();
    void CriarBancoDeDados();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    TClsDBDataModule& m_module;
    QLabel* m_lblServidor;
    QLineEdit* m_edtServidor;
    QPushButton* m_btnCriarBanco;
    bool m_wasConnected = false;
    std::string m_previousName;
};

// Creates a database file and runs every schema script on it. An empty server name creates the
// file with the embedded engine.
class TClsCreateDataBase : public QDialog
{
    Q_OBJECT

public:
    explicit TClsCreateDataBase(TClsDBDataModule& module, QWidget* parent = nullptr);

    void Criar();
    bool Created() const { return m_created; }
    // What the login form puts in its edit: "server:file", or the file alone.
    std::string DatabaseName() const;

private:
    TClsDBDataModule& m_module;
    QLineEdit* m_edtServidor;
    QLineEdit* m_edtArquivo;
    bool m_created = false;
};
