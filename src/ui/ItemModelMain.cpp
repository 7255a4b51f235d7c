#include "ui/ItemModelMain.h"

#include "frame/PlainToolTip.h"
#include "model/MsgChat.h"
#include "model/MsgHandle.h"
#include "model/SafeSort.h"
#include "msgdb/AbsMessageDb.h"

#include <QBrush>
#include <QColor>
#include <QCoreApplication>
#include <QPixmap>
#include <QSize>

namespace {

// Chats the recycle store brings back carry row ids below this; the tree draws them red.
constexpr qint64 recoveredChatRowIdLimit = -1947483646;

QVariant chatPicture(const _ChatGroup& group, RowPictures& pictures)
{
    if (group.chats.isEmpty())
        return QVariant();
    const _MsgChat* chat = group.chats.first();
    if (chat->handles.size() == 1) {
        const QPixmap photo = RowPictures::photo(chat->handles.begin().value()->_photo);
        if (!photo.isNull())
            return photo;
    } else if (chat->handles.size() > 1) {
        return pictures.resource(":/res/group.png");
    }
    return pictures.resource(":/res/contact.png");
}

const char* kindPicture(int kind)
{
    switch (kind) {
    case RootDeviceKind:
        return ":/res/devices.png";
    case RootLocalDbKind:
        return ":/res/databases.png";
    case IOSDeviceKind:
        return ":/res/iphone.png";
    case AndroidDeviceKind:
        return ":/res/android.png";
    case LocalDbKind:
        return ":/res/database.png";
    default:
        return nullptr;
    }
}

QVariant nodeColour(const AbsTreeItemModel::_ItemNode& node)
{
    if (node.kind != ChatSessionKind)
        return QVariant();
    const _ChatGroup& group = static_cast<const _ChatSessionItemNode&>(node).group;
    if (!group.chats.isEmpty() && group.chats.first()->rowid < recoveredChatRowIdLimit)
        return QBrush(QColor(255, 0, 0, 255));
    return QVariant();
}

} // namespace

_RootDeviceItemNode::_RootDeviceItemNode(const QString& name)
    : _ItemNode(RootDeviceKind, name, nullptr)
{
}

int _RootDeviceItemNode::childCountOfKind(int kind) const
{
    return int(std::count_if(children.begin(), children.end(), [kind](const _ItemNode* n) { return n->kind == kind; }));
}

_RootLocalDBItemNode::_RootLocalDBItemNode(const QString& name)
    : _ItemNode(RootLocalDbKind, name, nullptr)
{
}

_AbsDBItemNode::_AbsDBItemNode(int kind, const QString& name, _ItemNode* parentNode, QSharedPointer<AbsMessageDb> db)
    : _ItemNode(kind, name, parentNode)
    , db(std::move(db))
{
}

_IOSDeviceItemNode::_IOSDeviceItemNode(_ItemNode* parentNode, QSharedPointer<AbsMessageDb> db, const IOSDevice& device)
    : _AbsDBItemNode(IOSDeviceKind, device.deviceName, parentNode, std::move(db))
    , device(device)
{
}

_AndroidDeviceItemNode::_AndroidDeviceItemNode(_ItemNode* parentNode, QSharedPointer<AbsMessageDb> db,
                                               const AndroidDevice& device)
    : _AbsDBItemNode(AndroidDeviceKind, device.displayName(), parentNode, std::move(db))
    , device(device)
{
}

_LocalDBItemNode::_LocalDBItemNode(_ItemNode* parentNode, QSharedPointer<AbsMessageDb> db, const QString& name)
    : _AbsDBItemNode(LocalDbKind, name, parentNode, std::move(db))
{
}

_ChatSessionItemNode::_ChatSessionItemNode(_ItemNode* parentNode, const _ChatGroup& group)
    : _ItemNode(ChatSessionKind, group.chats.isEmpty() ? QString() : group.chats.first()->displayName(false),
                parentNode)
    , group(group)
{
}

ItemModelMain::ItemModelMain(QObject* parent)
    : AbsTreeItemModel(parent)
    , deviceRoot(new _RootDeviceItemNode(QCoreApplication::translate("ItemModelMain", "IDS_ROOT_DEVICE")))
    , localDbRoot(new _RootLocalDBItemNode(QCoreApplication::translate("ItemModelMain", "IDS_ROOT_LOCALDB")))
{
    rootNodes << deviceRoot << localDbRoot;
}

template<class Node>
Node* ItemModelMain::appendChild(_ItemNode* parentNode, Node* node)
{
    const int row = int(parentNode->children.size());
    beginInsertRows(indexOfNode(parentNode), row, row);
    parentNode->children.append(node);
    endInsertRows();
    return node;
}

_IOSDeviceItemNode* ItemModelMain::addIOSDevice(QSharedPointer<AbsMessageDb> db, const IOSDevice& device)
{
    return appendChild(deviceRoot, new _IOSDeviceItemNode(deviceRoot, std::move(db), device));
}

_AndroidDeviceItemNode* ItemModelMain::addAndroidDevice(QSharedPointer<AbsMessageDb> db, const AndroidDevice& device)
{
    return appendChild(deviceRoot, new _AndroidDeviceItemNode(deviceRoot, std::move(db), device));
}

_LocalDBItemNode* ItemModelMain::addLocalDb(QSharedPointer<AbsMessageDb> db, const QString& name)
{
    return appendChild(localDbRoot, new _LocalDBItemNode(localDbRoot, std::move(db), name));
}

void ItemModelMain::loadChatSessions(_AbsDBItemNode* node)
{
    removeChildren(node);
    QList<_ChatGroup> groups = node->msgSet.chatGroups();
    safeSort(groups, [](const _ChatGroup& a, const _ChatGroup& b) { return a.lastDate > b.lastDate; });
    if (groups.isEmpty())
        return;
    beginInsertRows(indexOfNode(node), 0, int(groups.size()) - 1);
    for (const _ChatGroup& group : groups)
        node->children.append(new _ChatSessionItemNode(node, group));
    endInsertRows();
}

int ItemModelMain::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant ItemModelMain::headerData(int, Qt::Orientation, int) const
{
    return QVariant();
}

QVariant ItemModelMain::nodePicture(const _ItemNode& node) const
{
    if (node.kind != ChatSessionKind) {
        const char* path = kindPicture(node.kind);
        return path ? QVariant(pictures.resource(path)) : QVariant();
    }
    const auto& chat = static_cast<const _ChatSessionItemNode&>(node);
    if (!chat.picture)
        chat.picture = chatPicture(chat.group, pictures);
    return *chat.picture;
}

QVariant ItemModelMain::data(const QModelIndex& index, int role) const
{
    const auto* node = static_cast<const _ItemNode*>(index.internalPointer());
    if (!index.isValid() || !node)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return node->name;
    case Qt::ToolTipRole:
        return plainToolTip(node->name);
    case Qt::DecorationRole:
        return nodePicture(*node);
    case Qt::ForegroundRole:
        return nodeColour(*node);
    case Qt::SizeHintRole:
        return QSize(0, 25);
    default:
        return QVariant();
    }
}
