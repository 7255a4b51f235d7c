#pragma once

#include "frame/WinMovable.h"

#include <QDialog>

#include <memory>

class QGraphicsScene;

namespace Ui {
class AboutUsForm;
}

// The about box: product and version, logo, the maker's home page (opened in the browser)
// and the copyright notice of the current year. Usage: AboutUsForm(mainWindow).exec().
class AboutUsForm : public QDialog
{
    Q_OBJECT

public:
    explicit AboutUsForm(QWidget* parent);
    ~AboutUsForm() override;

private:
    WinMovable movable;
    std::unique_ptr<Ui::AboutUsForm> ui;
    QGraphicsScene* logoScene;
};
