#pragma once

#include "ui/RowPictures.h"

#include <QAbstractItemModel>
#include <QList>
#include <QStringList>

struct _MsgMessage;

// The flat four-column message list (date, direction, correspondent, text) over records
// it does not own: they belong to the message set of a tree node, and whoever frees that
// set replaces this list first. Sorting happens before a list is handed in. GUI thread.
class ItemModelSms : public QAbstractItemModel
{
    Q_OBJECT

public:
    explicit ItemModelSms(QObject* parent);

    void setMessages(const QList<_MsgMessage*>& list);
    void clear();
    const QList<_MsgMessage*>& messages() const { return list; }
    // Column 0 of the row, carrying its record; invalid outside the list.
    QModelIndex indexOfRow(int row) const;
    // Each text the Contact column shows, once.
    QStringList contactTexts() const;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QList<_MsgMessage*> list;
    mutable RowPictures pictures;
};

// Local date and time in the system locale's short format, as lists and pages show them.
QString shortDateTimeText(qint32 appleSeconds);
// The dates of a year as shortDateTimeText writes them, one of each month at its widest
// (a two-digit day, the last minute of the day): the widest text any date takes is among them.
QStringList widestDateTexts();
