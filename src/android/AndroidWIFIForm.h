#pragma once

#include "android/AndroidDevice.h"

#include "frame/WinMovable.h"

#include <QDialog>

#include <memory>

namespace Ui {
class AndroidWIFIForm;
}

// Asks for the IPv4 address the companion app shows and connects to the phone over Wi-Fi.
// A failed attempt keeps the dialog open for another.
class AndroidWIFIForm : public QDialog
{
    Q_OBJECT

public:
    explicit AndroidWIFIForm(QWidget* parent);
    ~AndroidWIFIForm() override;

    // The connected phone; meaningful only after exec() returned Accepted.
    AndroidDevice device;

private slots:
    void onBtnConnect();

private:
    std::unique_ptr<Ui::AndroidWIFIForm> ui;
    WinMovable movable;
};

// The IPv4 address in what the user typed, blanks around it ignored; empty when the text
// is not four groups of one to three digits, each at most 255.
QString wifiHostFromInput(const QString& typed);
