#pragma once

// Phones added to a window's tree the way their arrival adds them, over fresh copies of
// the small local database (two conversations, four messages).

#include "MainWindowFixture.h"
#include "msgdb/LocalDbFixture.h"

#include "msgdb/IOS6MessageDb.h"
#include "ui/ItemModelMain.h"

#include <QFileInfo>

inline ItemModelMain& treeModel(MainWindow& window)
{
    return *qobject_cast<ItemModelMain*>(child<MyTreeView>(window, "treeViewDS")->model());
}

inline QSharedPointer<AbsMessageDb> openDb(const QString& folder)
{
    return QSharedPointer<AbsMessageDb>(new IOS6MessageDb(QDir(folder), QString(), true));
}

// A connected phone's node over a fresh copy of the small database, read as its arrival
// reads it.
template<class Node>
Node* withConversations(ItemModelMain& model, Node* node)
{
    node->db->messages(node->msgSet, 0);
    model.loadChatSessions(node);
    return node;
}

inline _AndroidDeviceItemNode* addAndroid(ItemModelMain& model, const QString& folder, const QString& serial)
{
    makeLocalDb(folder);
    AndroidDevice device;
    device.model = serial;
    device.serial = serial;
    return withConversations(model, model.addAndroidDevice(openDb(folder), device));
}

inline _IOSDeviceItemNode* addIphone(ItemModelMain& model, const QString& folder, void* handle)
{
    makeLocalDb(folder);
    IOSDevice device;
    device.deviceName = QFileInfo(folder).fileName();
    device.handle = handle;
    return withConversations(model, model.addIOSDevice(openDb(folder), device));
}
