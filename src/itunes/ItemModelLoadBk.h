#pragma once

#include "frame/AbsTreeItemModel.h"

#include <QSharedPointer>

class BackupManifest;

// The backup chooser's list: one top-level row per backup, newest first, with the
// columns name, backup date and folder path. GUI thread only.
class ItemModelLoadBk : public AbsTreeItemModel
{
    Q_OBJECT

public:
    class _BKItemNode : public AbsTreeItemModel::_ItemNode
    {
    public:
        _BKItemNode(_ItemNode* parent, const QSharedPointer<BackupManifest>& manifest);

        QSharedPointer<BackupManifest> manifest;
    };

    explicit ItemModelLoadBk(QObject* parent = nullptr);

    // Backups with equal dates keep their insertion order.
    _BKItemNode* insertBackup(const QSharedPointer<BackupManifest>& manifest);

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
};
