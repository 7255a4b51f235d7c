#pragma once

#include "android/AdbDevice.h"
#include "android/AndroidDevice.h"

#include "frame/AbsTreeItemModel.h"

#include <QItemSelection>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QSharedPointer>
#include <QUrl>

#include <functional>

namespace Ui {
class MainWindow;
}

class AbsMessageDb;
class AndroidMonitor;
class IOSDevice;
class IPhoneMessageDbLoad;
class ItemModelMain;
class ItemModelSms;
class QAction;
class QFileInfo;
class QTreeView;
class QLabel;
class QNetworkReply;
class _AbsDBItemNode;
struct _MsgMessage;

// The program's only window: the device and database tree, the message list, the
// conversation view, and every user action as a slot. Menu entries, the device library's
// arrival callback and the tests reach the slots by name, so their names and parameter
// types are fixed (misspellings included). GUI thread.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent);
    // Waits for the Android monitor's running pass.
    ~MainWindow() override;

    // While an action works on tree nodes or their messages (a dialog, a progress
    // window, any nested event loop), phones must not arrive or leave under it: the slot
    // holds one of these for as long as it runs, taken first so that it ends last:
    //     void MainWindow::miBackupAll() { const DeviceEventsDeferred deferred(*this); ... }
    // Arrivals and removals coming in meanwhile are queued, and replayed in order from
    // the event loop once the last guard has ended. Guards nest.
    class DeviceEventsDeferred
    {
    public:
        explicit DeviceEventsDeferred(MainWindow& window);
        ~DeviceEventsDeferred();
        Q_DISABLE_COPY_MOVE(DeviceEventsDeferred)

    private:
        MainWindow& window;
    };

    // What the File and tool-bar actions work on: Sel the selected rows
    // (selectedMessages), Chat the listed chat (smsModel->messages()), All every message
    // of the current device or database (currentNodeMessages).
    enum class ActionForm { None, Sel, Chat, All };
    ActionForm actionForm() const;
    // The messages a form works on; empty for None.
    QList<_MsgMessage*> messagesOfForm(ActionForm form);

    // Lists the messages in the current sort order in the list and the conversation view.
    void showMessages(QList<_MsgMessage*> list);
    void clearMessageList();
    // The records of the selected rows, in the order the selection reports them.
    QList<_MsgMessage*> selectedMessages() const;
    // Every message of the current device or database node, read afresh and sorted as the
    // list is; empty, after telling the user, when the database fails.
    QList<_MsgMessage*> currentNodeMessages();
    // Expands the node now and makes it current from the event loop, which lists it.
    void selectNode(AbsTreeItemModel::_ItemNode* node);

    // The export action's save dialog: QFileDialog::getSaveFileName unless a test answers
    // in place of a person. Arguments: parent, caption, default path, the file types joined
    // by ";;", and the chosen file type (out).
    using SavePathDialog = std::function<QString(QWidget*, const QString&, const QString&, const QString&, QString*)>;
    SavePathDialog askSavePath = fileDialogSavePath;

public slots:
    // Tree and list.
    void onMainTreeSelected(const QItemSelection& selected, const QItemSelection& deselected);
    void onSMSItemSelected(const QItemSelection& selected, const QItemSelection& deselected);
    void onSMSSortIndicatorChanged(int logicalIndex, Qt::SortOrder order);
    void searchMessages();
    void searchCotnact();
    void onMainTreeContextMenu();
    void onSMSContextMenu();

    // Phones coming and going.
    void iosDeviceConnected(void* device);
    void iosDeviceDisconnected(void* device);
    void androidDeviceConnected(const AdbDevice& device);
    void androidDeviceDisconnected(const QString& devId);
    void androidDeviceLoad(const AndroidDevice& device);
    void miConnectWifi();
    void miUnmoutDevice();

    // Action families: the dispatcher picks Sel, Chat or All.
    void miBackup();
    void miBackupSel();
    void miBackupChat();
    void miBackupAll();
    void miExport();
    void miExportSel();
    void miExportChat();
    void miExportAll();
    void miPrint();
    void miPrintSel();
    void miPrintChat();
    void miPrintAll();
    void miDel();
    void miDelSel();
    void miDelChat();
    void miDelAll();
    void miA2I();
    void miA2ISel();
    void miA2IChat();
    void miA2IAll();
    void miDb2I();
    void miDb2ISel();
    void miDb2IChat();
    void miDb2IAll();
    void miI2I();
    void miI2ISel();
    void miI2IChat();
    void miI2IAll();
    void miI2A();
    void miI2ASel();
    void miI2AChat();
    void miI2AAll();
    void miA2A();
    void miA2ASel();
    void miA2AChat();
    void miA2AAll();
    void miDb2A();
    void miDb2ASel();
    void miDb2AChat();
    void miDb2AAll();
    void miExport2iTunes();
    void miExport2iTunesSel();
    void miExport2iTunesChat();
    void miExport2iTunesAll();
    void miImportItunes();
    void miImportToLocalDb();

    // Maker's server, help and cache.
    void onCheckVersionReadyRead();
    void onGetAdvLinkRead();
    void miCheckUpdate();
    void androidUsbTips();
    // The device manager link of the connection tips and of the Android connection
    // failure: runs it and shows what it said.
    void runDeviceManagerFromLink(const QUrl& link);
    void miViewCache();
    void miOpenDbFolder();
    void miHelp();
    void miFeedback();
    void miHome();
    void miClearCache();
    void miAbout();

private:
    using AddDeviceNode = std::function<_AbsDBItemNode*(QSharedPointer<AbsMessageDb>, const QFileInfo&)>;

    void subscribeIosArrival();
    void startAndroidMonitor();
    void openLocalDatabases();
    // Each sub-folder of the data folder's folderName becomes a node through addNode,
    // with its conversations; a folder that cannot be read is reported and skipped.
    void openSavedVirtualDevices(const QString& folderName, const AddDeviceNode& addNode);
    static QString fileDialogSavePath(QWidget* parent, const QString& caption, const QString& defaultPath,
                                      const QString& fileTypes, QString* chosenType);
    // The records must stay in their message set until these return; both wait for the end.
    void exportMessages(const QList<_MsgMessage*>& list);
    void printMessages(const QList<_MsgMessage*>& list);

    void createMenus();
    // Enables the six File actions for the current node.
    void updateActions();
    // The current node's messages cannot be shown (its database cannot be read, or holds
    // no conversation): empties the list, and turns off the actions that take messages
    // until another node is selected, so that none takes those of the node listed before.
    void showUnlisted();
    // In the order of the list's sort indicator.
    void sortAsListed(QList<_MsgMessage*>& list) const;
    // The node behind the tree's current index, null without one.
    AbsTreeItemModel::_ItemNode* currentTreeNode() const;
    // Runs call(view, index) from the event loop, unless the row has gone by then.
    void queueTreeViewCall(const QModelIndex& index, void (QTreeView::*call)(const QModelIndex&));
    void dispatchAction(void (MainWindow::*selForm)(), void (MainWindow::*chatForm)(), void (MainWindow::*allForm)());
    // The device or database whose messages the current node shows: the node itself, or
    // the parent of a chat; null for anything else.
    _AbsDBItemNode* currentSourceNode() const;

    // Saving into a local database: the name proposed after the current node, then the
    // user's choice of database, the save, and the database's node read again.
    void backupMessages(const QList<_MsgMessage*>& messages);
    void backupToLocalDb(const QString& proposedName, const QList<_MsgMessage*>& messages);
    // iTunes backups on this computer: the messages merged into a chosen one, or all of a
    // chosen one's messages saved into a local database (targetName empty: the action
    // proposes the backup's device name).
    void exportToITunesBackup(const QList<_MsgMessage*>& messages);
    void importITunesBackup(QString& targetName);

    // Device events, run at once or after the running action (DeviceEventsDeferred).
    void runDeviceEvent(std::function<void()> event);
    void replayDeviceEvents();
    // The arrivals' own work; never called while an action holds DeviceEventsDeferred.
    // One that waits in an event loop (a progress window) takes a guard itself.
    void handleIosDeviceConnected(void* device);
    void handleAndroidDeviceConnected(const AdbDevice& device);
    void handleAndroidDeviceLoad(const AndroidDevice& device);
    // Asks the user for the country when the phone's code names none.
    void settleAndroidCountry(AndroidDevice& device);
    // Only the first node of the phone: a phone listed twice keeps its other node.
    void removeFirstAndroidNode(const QString& uid);
    // Sends the messages to an Android phone the user picks, then lists the phone's chats again.
    void restoreToAndroidDevice(QList<_MsgMessage*>* messages);
    // The Sel, Chat or All messages of the current node to an Android phone.
    void restoreFormToAndroid(ActionForm form);
    void removeIosDeviceNode(void* device);
    // The transfer to an iPhone of the messages the form names, from the current node.
    void transferToIPhone(ActionForm form);
    void restoreToIOSDevice(const QList<_MsgMessage*>& messages);
    // iPhone arrival: asks for the country when the phone's code names none, then lists
    // the phone, read by load, with its conversations.
    void settleCountryCode(IOSDevice& iPhone);
    void addIPhoneNode(const IOSDevice& iPhone, const IPhoneMessageDbLoad& load);
    void removeAndroidDeviceNode(const QString& devId);
    // Empties the list first when it shows the node's records, which go with the node.
    void removeDeviceNode(_AbsDBItemNode* node);
    // True, once the user has been told what to do, when the node's database went with
    // the caches.
    static bool toldCacheCleared(const _AbsDBItemNode& node);
    // The status-bar link, showing the one saved by an earlier run.
    void createAdvLinkLabel();
    // At most once a day: asks the maker's server for a newer version and for the link.
    void startDailyUpdateCheck();
    void openAdvLink(const QString& link);

    Ui::MainWindow* ui;
    ItemModelMain* treeModel = nullptr;
    ItemModelSms* smsModel = nullptr;
    QAction* actBackup = nullptr;
    QAction* actA2I = nullptr;
    QAction* actDb2I = nullptr;
    QAction* actExport = nullptr;
    QAction* actPrint = nullptr;
    QAction* actDel = nullptr;
    AndroidMonitor* androidMonitor = nullptr;

    bool currentNodeUnlisted = false; // see showUnlisted
    int deviceEventDeferrals = 0;
    QList<std::function<void()>> deferredDeviceEvents;
    QLabel* advLinkLabel = nullptr;
    QPointer<QNetworkReply> updateCheckReply;
    QPointer<QNetworkReply> advLinkReply;
};
