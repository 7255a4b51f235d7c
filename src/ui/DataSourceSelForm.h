#pragma once

#include "frame/AbsTreeItemModel.h"
#include "frame/WinMovable.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <memory>

namespace Ui {
class DataSourceSelForm;
}

// One entry of the device chooser. The dialog never touches the node: it only hands the
// pointer back, so the caller must check that the node still exists when select() returns
// (a device may have left while the dialog was open).
struct DataSourceItem
{
    DataSourceItem(const QString& iconPath, const QString& name, AbsTreeItemModel::_ItemNode* node);

    QString iconPath; // a resource path such as ":res/iphone.png"
    QString name;
    AbsTreeItemModel::_ItemNode* node;
};

// Asks which of the caller's devices to use. Usage, on the caller's stack:
//   DataSourceSelForm form(mainWindow);
//   _ItemNode* node = form.select(tr("IDS_SEL_ONE_IOS_DEVICE"), items, noneText);  // null: cancelled
// A single entry starts chosen; with two or more the user must choose before OK; with
// none the list says noneText, so that the user sees why there is nothing to choose.
class DataSourceSelForm : public QDialog
{
    Q_OBJECT

public:
    explicit DataSourceSelForm(QWidget* parent);
    ~DataSourceSelForm() override;

    // Runs the dialog modally, once per form.
    AbsTreeItemModel::_ItemNode* select(const QString& prompt, const QList<DataSourceItem>& items,
                                        const QString& noneText);

private slots:
    void onBtnOkPressed();

private:
    std::unique_ptr<Ui::DataSourceSelForm> ui;
    WinMovable movable;
};
