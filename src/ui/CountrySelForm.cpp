#include "ui/CountrySelForm.h"

#include "frame/ErrorMarkup.h"
#include "frame/MessageBox.h"
#include "frame/GrowToText.h"
#include "frame/StyleSheet.h"
#include "model/CountryLibDb.h"
#include "ui_CountrySelForm.h"

#include <stdexcept>

CountrySelForm::CountrySelForm(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::CountrySelForm>())
    , movable(this)
{
    ui->setupUi(this);
    connect(ui->txtKW, &QLineEdit::textChanged, this, &CountrySelForm::kwinput);
    connect(ui->btnOK, &QPushButton::pressed, this, &CountrySelForm::accept);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(appStyleSheet());
    loadCountries();
    kwinput(QString());
    growToText(*this);
}

CountrySelForm::~CountrySelForm() = default;

void CountrySelForm::loadCountries()
{
    try {
        CountryLibDb db{QString()};
        db.initDb();
        // The mmc column may list several codes separated by commas; a start of 0 makes
        // substr take the first three characters, the first code.
        Sqlite3Cursor cursor = db.queryThrow("select pnum, n, substr(mmc,0,4) as mmc from countries order by n asc");
        while (cursor.moveNext()) {
            countries.append({cursor.getText(QStringLiteral("mmc")),
                              QStringLiteral("%1 (+%2)").arg(cursor.getText(QStringLiteral("n")),
                                                             cursor.getText(QStringLiteral("pnum")))});
        }
    } catch (const std::exception& e) {
        showError(errorMarkup(e));
    }
}

void CountrySelForm::kwinput(const QString& kw)
{
    ui->ltCountries->clear();
    for (const auto& [code, text] : std::as_const(countries)) {
        if (!text.contains(kw, Qt::CaseInsensitive))
            continue;
        auto* item = new QListWidgetItem(text, ui->ltCountries);
        item->setData(Qt::UserRole, code);
    }
}

void CountrySelForm::accept()
{
    // With nothing to choose from, OK, the only button, leaves as Escape does.
    if (countries.isEmpty()) {
        reject();
        return;
    }
    QListWidgetItem* item = ui->ltCountries->currentItem();
    if (!item) {
        showWarning(tr("IDS_CANT_CONTINUE_WITHOUT_SEL_ONE_COUNTRY"));
        return;
    }
    if (!askYesNo(tr("IDS_CONFIRM_SEL_COUNTRY_%1").arg(item->text().toHtmlEscaped())))
        return;
    selectedMmc = item->data(Qt::UserRole).toString();
    QDialog::accept();
}

void CountrySelForm::reject()
{
    // A country must be chosen, unless there is none to choose from.
    if (countries.isEmpty())
        QDialog::reject();
}
