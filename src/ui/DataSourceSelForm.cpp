#include "ui/DataSourceSelForm.h"

#include "frame/MessageBox.h"
#include "frame/GrowToText.h"
#include "frame/StyleSheet.h"
#include "ui_DataSourceSelForm.h"

#include <QIcon>

DataSourceItem::DataSourceItem(const QString& iconPath, const QString& name, AbsTreeItemModel::_ItemNode* node)
    : iconPath(iconPath)
    , name(name)
    , node(node)
{
}

DataSourceSelForm::DataSourceSelForm(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::DataSourceSelForm>())
    , movable(this)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(appStyleSheet());
    connect(ui->btnOK, &QPushButton::pressed, this, &DataSourceSelForm::onBtnOkPressed);
}

DataSourceSelForm::~DataSourceSelForm() = default;

AbsTreeItemModel::_ItemNode* DataSourceSelForm::select(const QString& prompt, const QList<DataSourceItem>& items,
                                                       const QString& noneText)
{
    ui->lbSelDevice->setText(prompt);
    growToText(*this);
    // With nothing to choose, Confirm could only say that a device is needed, under the
    // text saying there is none.
    if (items.isEmpty())
        ui->cbDevice->setPlaceholderText(noneText);
    ui->btnOK->setEnabled(!items.isEmpty());
    for (const DataSourceItem& item : items)
        ui->cbDevice->addItem(QIcon(item.iconPath), item.name, QVariant::fromValue(reinterpret_cast<quintptr>(item.node)));
    // With several devices nothing is chosen, so that OK cannot pick one by accident.
    ui->cbDevice->setCurrentIndex(items.size() <= 1 ? 0 : -1);
    if (exec() != QDialog::Accepted)
        return nullptr;
    return reinterpret_cast<AbsTreeItemModel::_ItemNode*>(ui->cbDevice->currentData().value<quintptr>());
}

void DataSourceSelForm::onBtnOkPressed()
{
    if (ui->cbDevice->currentIndex() == -1) {
        showWarning(tr("IDS_PLEASE_SELECT_ONE_DATASOURCE"));
        return;
    }
    accept();
}
