#pragma once

// Stand-in until the device chooser lands: the interface it will have, with the widgets
// a test drives ("cbDevice", "btnOK", "btnClose").

#include <QDialog>
#include <QList>
#include <QString>

class QComboBox;

struct DataSourceItem
{
    DataSourceItem(const QString& iconPath, const QString& name, void* node)
        : iconPath(iconPath)
        , name(name)
        , node(node)
    {
    }
    QString iconPath;
    QString name;
    void* node;
};

class DataSourceSelForm : public QDialog
{
    Q_OBJECT

public:
    explicit DataSourceSelForm(QWidget* parent);
    // The chosen entry's node, or null.
    void* select(const QString& prompt, const QList<DataSourceItem>& items);

private:
    QComboBox* cbDevice;
};
