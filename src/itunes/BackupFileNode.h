#pragma once

#include "itunes/MbdbRecord.h"

#include <QList>
#include <QString>

// One node of a backup's file tree. A node owns its children: destroying it destroys
// its whole subtree.
class BackupFileNode
{
public:
    // Copies the record; the caller appends the node to the parent's children.
    BackupFileNode(BackupFileNode* parent, const MbdbRecord& record, const QString& name);
    ~BackupFileNode();
    BackupFileNode(const BackupFileNode&) = delete;
    BackupFileNode& operator=(const BackupFileNode&) = delete;

    QString name; // last component of the tree path
    MbdbRecord record; // empty for the root and the "Applications" folder
    BackupFileNode* parent;
    QList<BackupFileNode*> children; // in the order they were created

    // The child of that name, or null.
    BackupFileNode* child(const QString& childName) const;
};
