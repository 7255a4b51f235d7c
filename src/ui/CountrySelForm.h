#pragma once

#include "frame/WinMovable.h"

#include <QDialog>
#include <QList>
#include <QPair>
#include <QString>

#include <memory>

namespace Ui {
class CountrySelForm;
}

// Asks for the user's country when a phone reports no usable mobile country code. Usage,
// on the caller's stack:
//   CountrySelForm form(mainWindow);
//   if (form.exec() == QDialog::Accepted) code = form.selectedMmc;  // e.g. "310"
// While it lists countries it ends only with a confirmed country: Escape and closing do
// nothing. When no country could be loaded (the error box has said why), Escape and OK
// end it Rejected, and the caller keeps the code it had.
class CountrySelForm : public QDialog
{
    Q_OBJECT

public:
    // Reads the country database; a failure is shown in an error box.
    explicit CountrySelForm(QWidget* parent);
    ~CountrySelForm() override;

    // The first mobile country code of the confirmed country; empty until accepted.
    QString selectedMmc;

public slots:
    // Shows the countries whose "Name (+code)" text contains kw, ignoring case.
    void kwinput(const QString& kw);
    // Asks for confirmation of the current country.
    void accept() override;
    void reject() override;

private:
    void loadCountries();

    std::unique_ptr<Ui::CountrySelForm> ui;
    WinMovable movable;
    // (mobile country code, "Name (+calling code)"), in the database's name order.
    QList<QPair<QString, QString>> countries;
};
