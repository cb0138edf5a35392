#pragma once

#include <QDialog>

// The framework's about box: program version, physical memory and operating system.
class TClsAboutForm : public QDialog
{
    Q_OBJECT

public:
    explicit TClsAboutForm(QWidget* parent = nullptr);
    ~TClsAboutForm() override;

    TClsAboutForm(const TClsAboutForm&) = delete;
    TClsAboutForm& operator=(const TClsAboutForm&) = delete;
};
