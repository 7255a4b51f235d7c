#include "ui/LocalDbSelForm.h"

#include "actions/LocalDbNames.h"
#include "frame/MessageBox.h"
#include "frame/GrowToText.h"
#include "frame/StyleSheet.h"
#include "ui_LocalDbSelForm.h"

#include <QRegularExpression>

namespace {

// The name becomes a folder below the local databases' folder. Besides the characters
// the warning lists, a name of dots alone is refused: "." would be that folder itself and
// ".." the data folder, so saving into it, or deleting it later, would reach every database.
bool isUsableFolderName(const QString& name)
{
    static const QRegularExpression forbidden(QStringLiteral("[\\\\/:*?\"<>|]+"));
    static const QRegularExpression onlyDotsAndBlanks(QStringLiteral("^[.\\s]*\\z"));
    return !forbidden.match(name).hasMatch() && !onlyDotsAndBlanks.match(name).hasMatch();
}

} // namespace

LocalDbSelForm::LocalDbSelForm(const QStringList& names, const QString& initialName, QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::LocalDbSelForm>())
    , movable(this)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(appStyleSheet());
    connect(ui->btnOK, &QPushButton::pressed, this, &LocalDbSelForm::onBtnOkPress);

    ui->cbLocalDbNames->addItem(QString());
    ui->cbLocalDbNames->addItems(names);
    ui->cbLocalDbNames->setCurrentIndex(-1);
    if (!initialName.isEmpty())
        ui->cbLocalDbNames->setEditText(initialName);
    growToText(*this);
}

LocalDbSelForm::~LocalDbSelForm() = default;

QString LocalDbSelForm::select()
{
    if (exec() != QDialog::Accepted)
        return QString();
    return dbName;
}

void LocalDbSelForm::onBtnOkPress()
{
    // "Alpha " would be a second database that reads "Alpha" in the tree.
    dbName = ui->cbLocalDbNames->currentText().trimmed();
    if (dbName.isEmpty()) {
        showWarning(tr("IDS_PLEASE_SELECT_DATABASE_OR_INPUT_NEW_NAME"));
        return;
    }
    if (!isUsableFolderName(dbName)) {
        showWarning(tr("IDS_INVALID_LOCALDB_NAME"));
        return;
    }
    if (!fitsLocalDbFolderName(dbName)) {
        showWarning(tr("IDS_LOCALDB_NAME_TOO_LONG_%1").arg(maxLocalDbNameBytes));
        return;
    }
    accept();
}
