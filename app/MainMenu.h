#pragma once

#include <QMainWindow>

// The program's main window. It opens one work window at a time below itself.
class TfrmMainMenu : public QMainWindow
{
    Q_OBJECT

public:
    explicit TfrmMainMenu(QWidget* parent = nullptr);
    ~TfrmMainMenu() override;

    TfrmMainMenu(const TfrmMainMenu&) = delete;
    TfrmMainMenu& operator=(const TfrmMainMenu&) = delete;
};
