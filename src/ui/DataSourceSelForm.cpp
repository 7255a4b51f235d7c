#include "ui/DataSourceSelForm.h"

#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

DataSourceSelForm::DataSourceSelForm(QWidget* parent)
    : QDialog(parent)
    , cbDevice(new QComboBox(this))
{
    setObjectName(QStringLiteral("DataSourceSelForm"));
    auto* layout = new QVBoxLayout(this);
    auto* prompt = new QLabel(this);
    prompt->setObjectName(QStringLiteral("lbSelDevice"));
    cbDevice->setObjectName(QStringLiteral("cbDevice"));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("btnOK"));
    auto* close = new QPushButton(QStringLiteral("Cancel"), this);
    close->setObjectName(QStringLiteral("btnClose"));
    layout->addWidget(prompt);
    layout->addWidget(cbDevice);
    layout->addWidget(ok);
    layout->addWidget(close);
    connect(ok, &QPushButton::pressed, this, [this] {
        if (cbDevice->currentIndex() != -1)
            accept();
    });
    connect(close, &QPushButton::pressed, this, &QDialog::reject);
}

void* DataSourceSelForm::select(const QString& prompt, const QList<DataSourceItem>& items)
{
    findChild<QLabel*>(QStringLiteral("lbSelDevice"))->setText(prompt);
    for (const DataSourceItem& item : items)
        cbDevice->addItem(QIcon(item.iconPath), item.name, QVariant::fromValue(quintptr(item.node)));
    cbDevice->setCurrentIndex(items.size() <= 1 ? 0 : -1);
    if (exec() != QDialog::Accepted)
        return nullptr;
    return reinterpret_cast<void*>(cbDevice->currentData().value<quintptr>());
}
