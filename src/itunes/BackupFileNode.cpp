#include "itunes/BackupFileNode.h"

BackupFileNode::BackupFileNode(BackupFileNode* parent, const MbdbRecord& record, const QString& name)
    : name(name), record(record), parent(parent)
{
}

BackupFileNode::~BackupFileNode()
{
    qDeleteAll(children);
}

BackupFileNode* BackupFileNode::child(const QString& childName) const
{
    for (BackupFileNode* c : children) {
        if (c->name == childName)
            return c;
    }
    return nullptr;
}
