#pragma once

#include "android/AndroidDevice.h"
#include "frame/AbsTreeItemModel.h"
#include "ios/IOSDevice.h"
#include "model/ChatGroup.h"
#include "model/MsgSetPtr.h"
#include "ui/RowPictures.h"

#include <QSharedPointer>
#include <QVariant>

#include <optional>

class AbsMessageDb;

// The node kinds of the device and database tree.
enum TreeNodeKind {
    RootDeviceKind = 1,
    RootLocalDbKind = 2,
    IOSDeviceKind = 3,
    AndroidDeviceKind = 4,
    LocalDbKind = 5,
    ChatSessionKind = 6,
};

class _RootDeviceItemNode : public AbsTreeItemModel::_ItemNode
{
public:
    explicit _RootDeviceItemNode(const QString& name);
    int childCountOfKind(int kind) const;
};

class _RootLocalDBItemNode : public AbsTreeItemModel::_ItemNode
{
public:
    explicit _RootLocalDBItemNode(const QString& name);
};

// A device or database: the database behind it and the messages read from it so far,
// both shared with any action still running on them.
class _AbsDBItemNode : public AbsTreeItemModel::_ItemNode
{
public:
    _AbsDBItemNode(int kind, const QString& name, _ItemNode* parentNode, QSharedPointer<AbsMessageDb> db);

    QSharedPointer<AbsMessageDb> db;
    MsgSetPtr msgSet;
    // The caches the user cleared held its database: opening it would make an empty one,
    // so nothing reads it until the phone is read again (as a new node).
    bool cacheCleared = false;
};

class _IOSDeviceItemNode : public _AbsDBItemNode
{
public:
    _IOSDeviceItemNode(_ItemNode* parentNode, QSharedPointer<AbsMessageDb> db, const IOSDevice& device);
    IOSDevice device;
};

class _AndroidDeviceItemNode : public _AbsDBItemNode
{
public:
    _AndroidDeviceItemNode(_ItemNode* parentNode, QSharedPointer<AbsMessageDb> db, const AndroidDevice& device);
    AndroidDevice device;
};

class _LocalDBItemNode : public _AbsDBItemNode
{
public:
    _LocalDBItemNode(_ItemNode* parentNode, QSharedPointer<AbsMessageDb> db, const QString& name);
};

// One conversation; its chats belong to the message set of the parent node.
class _ChatSessionItemNode : public AbsTreeItemModel::_ItemNode
{
public:
    _ChatSessionItemNode(_ItemNode* parentNode, const _ChatGroup& group);
    _ChatGroup group;
    // Made on first use: decoded and scaled once, however often the row is drawn.
    mutable std::optional<QVariant> picture;
};

// The tree on the left of the main window: "Devices" with the phones, "Local Databases"
// with the local message databases, and below each of them its conversations. Rows come
// and go with proper insertion and removal notifications. GUI thread.
class ItemModelMain : public AbsTreeItemModel
{
    Q_OBJECT

public:
    explicit ItemModelMain(QObject* parent);

    // Each appends a node at the end of its root; none looks for an existing one.
    _IOSDeviceItemNode* addIOSDevice(QSharedPointer<AbsMessageDb> db, const IOSDevice& device);
    _AndroidDeviceItemNode* addAndroidDevice(QSharedPointer<AbsMessageDb> db, const AndroidDevice& device);
    _LocalDBItemNode* addLocalDb(QSharedPointer<AbsMessageDb> db, const QString& name);
    // Replaces the node's conversations by those of its message set, newest first; the
    // set must hold the chats already.
    void loadChatSessions(_AbsDBItemNode* node);

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    _RootDeviceItemNode* const deviceRoot;
    _RootLocalDBItemNode* const localDbRoot;

private:
    template<class Node>
    Node* appendChild(_ItemNode* parentNode, Node* node);
    QVariant nodePicture(const _ItemNode& node) const;

    mutable RowPictures pictures;
};
