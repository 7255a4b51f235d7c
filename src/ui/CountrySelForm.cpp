#include "ui/CountrySelForm.h"

#include "model/CountryLibDb.h"

#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

CountrySelForm::CountrySelForm(QWidget* parent)
    : QDialog(parent)
    , ltCountries(new QListWidget(this))
{
    setObjectName(QStringLiteral("CountrySelForm"));
    auto* layout = new QVBoxLayout(this);
    ltCountries->setObjectName(QStringLiteral("ltCountries"));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("btnOK"));
    layout->addWidget(ltCountries);
    layout->addWidget(ok);
    CountryLibDb countries{QString()};
    countries.initDb();
    Sqlite3Cursor cursor = countries.queryThrow("select pnum, n, substr(mmc,0,4) as mmc from countries order by n asc");
    while (cursor.moveNext()) {
        auto* item = new QListWidgetItem(
            QStringLiteral("%1 (+%2)").arg(cursor.getText(QStringLiteral("n")), cursor.getText(QStringLiteral("pnum"))),
            ltCountries);
        item->setData(Qt::UserRole, cursor.getText(QStringLiteral("mmc")));
    }
    connect(ok, &QPushButton::pressed, this, [this] {
        if (QListWidgetItem* item = ltCountries->currentItem()) {
            selectedMmc = item->data(Qt::UserRole).toString();
            accept();
        }
    });
}
