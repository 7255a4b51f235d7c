#pragma once

// Stand-in until the country chooser lands: the interface it will have, with the widgets
// a test drives ("ltCountries", "btnOK").

#include <QDialog>
#include <QString>

class QListWidget;

class CountrySelForm : public QDialog
{
    Q_OBJECT

public:
    explicit CountrySelForm(QWidget* parent);

    QString selectedMmc;

private:
    QListWidget* ltCountries;
};
