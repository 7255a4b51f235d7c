#include "ui/ItemModelSms.h"

#include "frame/PlainToolTip.h"
#include "model/AppleTime.h"
#include "model/MsgChat.h"
#include "model/MsgMessage.h"

#include <QBrush>
#include <QColor>
#include <QImage>
#include <QLocale>
#include <QPixmap>
#include <QSize>

#include <set>
#include <tuple>

namespace {

constexpr int columns = 4;

const char* directionPicture(const _MsgMessage& m)
{
    const bool imessage = m.service.compare(QLatin1String("iMessage"), Qt::CaseInsensitive) == 0;
    return imessage ? (m.is_from_me ? ":/res/imsg-send.png" : ":/res/imsg-rec.png")
                    : (m.is_from_me ? ":/res/icon_sms-sent.png" : ":/res/icon_sms-receive.png");
}

QString cellText(const _MsgMessage& m, int column)
{
    switch (column) {
    case 0:
        return shortDateTimeText(m.date);
    case 1:
        if (m.item_type != 0)
            return QString();
        return m.is_from_me ? QStringLiteral("To") : QStringLiteral("From");
    case 2:
        if (m.item_type != 0)
            return m.chat ? m.chat->displayName(false) : QString();
        return m.senderName();
    default:
        return m.displayText();
    }
}

} // namespace

QString shortDateTimeText(qint32 appleSeconds)
{
    const QDateTime when = dateTimeFromAppleTime(appleSeconds);
    const QLocale locale = QLocale::system();
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ')
           + locale.toString(when.time(), QLocale::ShortFormat);
}

QStringList widestDateTexts()
{
    QStringList texts;
    for (int month = 1; month <= 12; ++month) {
        const QDateTime when(QDate(2026, month, 28), QTime(23, 59, 59));
        texts << shortDateTimeText(qint32(when.toSecsSinceEpoch() - appleEpochUnixSeconds));
    }
    return texts;
}

ItemModelSms::ItemModelSms(QObject* parent)
    : QAbstractItemModel(parent)
{
}

void ItemModelSms::setMessages(const QList<_MsgMessage*>& messages)
{
    beginResetModel();
    list = messages;
    endResetModel();
}

void ItemModelSms::clear()
{
    setMessages({});
}

QModelIndex ItemModelSms::indexOfRow(int row) const
{
    if (row < 0 || row >= list.size())
        return QModelIndex();
    return createIndex(row, 0, list.at(row));
}

QStringList ItemModelSms::contactTexts() const
{
    // The text depends on the chat, the sender and whether the row is a message only.
    std::set<std::tuple<const void*, const void*, bool>> seen;
    QStringList texts;
    for (const _MsgMessage* m : list) {
        if (seen.insert({m->chat, m->handle, m->item_type != 0}).second)
            texts << cellText(*m, 2);
    }
    return texts;
}

QModelIndex ItemModelSms::index(int row, int column, const QModelIndex& parent) const
{
    // A flat list: rows exist only at the top level.
    if (parent.isValid() || !hasIndex(row, column, parent))
        return QModelIndex();
    return createIndex(row, column, column == 0 ? list.at(row) : nullptr);
}

QModelIndex ItemModelSms::parent(const QModelIndex&) const
{
    return QModelIndex();
}

int ItemModelSms::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(list.size());
}

int ItemModelSms::columnCount(const QModelIndex&) const
{
    return columns;
}

QVariant ItemModelSms::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= list.size() || index.column() >= columns)
        return QVariant();
    const _MsgMessage& m = *list.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return cellText(m, index.column());
    case Qt::ToolTipRole:
        return plainToolTip(cellText(m, index.column()));
    case Qt::DecorationRole:
        return index.column() == 0 ? QVariant(pictures.resource(directionPicture(m))) : QVariant();
    case Qt::BackgroundRole:
        return QBrush(m.is_from_me ? QColor(245, 255, 226) : QColor(255, 255, 255));
    case Qt::ForegroundRole:
        return m.deleted ? QVariant(QBrush(QColor(255, 0, 0))) : QVariant();
    case Qt::SizeHintRole:
        return QSize(0, 23);
    default:
        return QVariant();
    }
}

QVariant ItemModelSms::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const titles[columns] = {"Date", "Flag", "Contact", "Content"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columns)
        return QVariant();
    return QString::fromLatin1(titles[section]);
}
