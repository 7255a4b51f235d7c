#pragma once

#include "android/AdbDevice.h"
#include "android/AndroidDevice.h"

#include <QItemSelection>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QSharedPointer>

#include <functional>

namespace Ui {
class MainWindow;
}

class AbsMessageDb;
class AndroidMonitor;
class ItemModelMain;
class ItemModelSms;
class QFileInfo;
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

    // Lists the messages in the current sort order in the list and the conversation view.
    void showMessages(QList<_MsgMessage*> list);
    void clearMessageList();

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
    // The status-bar link, showing the one saved by an earlier run.
    void createAdvLinkLabel();
    // At most once a day: asks the maker's server for a newer version and for the link.
    void startDailyUpdateCheck();
    void openAdvLink(const QString& link);

    Ui::MainWindow* ui;
    ItemModelMain* treeModel = nullptr;
    ItemModelSms* smsModel = nullptr;
    AndroidMonitor* androidMonitor = nullptr;
    QLabel* advLinkLabel = nullptr;
    QPointer<QNetworkReply> updateCheckReply;
    QPointer<QNetworkReply> advLinkReply;
};
