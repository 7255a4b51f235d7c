#include "itunes/ItemModelLoadBk.h"

#include "itunes/BackupManifest.h"

#include "frame/PlainToolTip.h"

#include <QBrush>
#include <QColor>
#include <QLocale>
#include <QPixmap>
#include <QSize>

namespace {

enum Column { NameColumn, DateColumn, PathColumn, ColumnCount };

QVariant columnText(const BackupManifest& manifest, int column)
{
    switch (column) {
    case NameColumn:
        return manifest.displayName;
    case DateColumn:
        return QLocale::system().toString(manifest.date, QLocale::ShortFormat);
    case PathColumn:
        return manifest.folder.absolutePath();
    default:
        return {};
    }
}

} // namespace

ItemModelLoadBk::_BKItemNode::_BKItemNode(_ItemNode* parent, const QSharedPointer<BackupManifest>& manifest)
    : _ItemNode(0, manifest->displayName, parent)
    , manifest(manifest)
{
}

ItemModelLoadBk::ItemModelLoadBk(QObject* parent)
    : AbsTreeItemModel(parent)
{
}

ItemModelLoadBk::_BKItemNode* ItemModelLoadBk::insertBackup(const QSharedPointer<BackupManifest>& manifest)
{
    int row = 0;
    while (row < rootNodes.size()
           && !(static_cast<_BKItemNode*>(rootNodes.at(row))->manifest->date < manifest->date))
        ++row;
    beginInsertRows(QModelIndex(), row, row);
    auto* node = new _BKItemNode(nullptr, manifest);
    rootNodes.insert(row, node);
    endInsertRows();
    return node;
}

int ItemModelLoadBk::columnCount(const QModelIndex&) const
{
    return ColumnCount;
}

QVariant ItemModelLoadBk::data(const QModelIndex& index, int role) const
{
    const auto* node = static_cast<const _BKItemNode*>(index.internalPointer());
    if (!node)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return columnText(*node->manifest, index.column());
    case Qt::ToolTipRole:
        return plainToolTip(columnText(*node->manifest, index.column()).toString());
    case Qt::BackgroundRole:
        return QBrush(index.row() % 2 ? QColor(255, 255, 255, 255) : QColor(250, 250, 250, 255));
    case Qt::DecorationRole:
        if (index.column() == NameColumn)
            return QPixmap(QStringLiteral(":res/iphone.png")).scaledToWidth(18, Qt::FastTransformation);
        return {};
    case Qt::SizeHintRole:
        return QSize(0, 25);
    default:
        return {};
    }
}

QVariant ItemModelLoadBk::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn:
        return QStringLiteral("Name");
    case DateColumn:
        return QStringLiteral("Backup Date");
    case PathColumn:
        return QStringLiteral("Path");
    default:
        return {};
    }
}
