#include "ui/MainWindow.h"

#include "ui_MainWindow.h"

#include "actions/RemoveLocalDbFolder.h"
#include "android/AndroidMonitor.h"
#include "android/DeviceManager.h"
#include "frame/DataFolder.h"
#include "frame/ErrorMarkup.h"
#include "frame/MessageBox.h"
#include "frame/StyleSheet.h"
#include "ios/IOSDevice.h"
#include "ios/mobiledevice_library.h"
#include "ios/mobiledevice_notification.h"
#include "model/MsgMessage.h"
#include "msgdb/IOS6MessageDb.h"
#include "ui/ItemModelMain.h"
#include "ui/ItemModelSms.h"
#include "ui/MessageListColumns.h"

#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QTimer>

#include <exception>

namespace {

constexpr int androidTipsDelayMs = 10000;

QFileInfoList subFolders(const QDir& folder)
{
    return folder.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

QSharedPointer<AbsMessageDb> openOwnDatabase(const QFileInfo& folder)
{
    return QSharedPointer<AbsMessageDb>(new IOS6MessageDb(QDir(folder.absoluteFilePath()), QString(), true));
}

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    setStyleSheet(appStyleSheet());
    // Before the models: setting them changes the tree's selection, which enables actions.
    createMenus();

    connect(ui->treeViewDS, &MyTreeView::onSelectionChanged, this, &MainWindow::onMainTreeSelected);
    connect(ui->treeViewDS, &MyTreeView::createContextMenu, this, &MainWindow::onMainTreeContextMenu);
    connect(ui->treeViewSMS, &MyTreeView::onSelectionChanged, this, &MainWindow::onSMSItemSelected);
    connect(ui->treeViewSMS, &MyTreeView::createContextMenu, this, &MainWindow::onSMSContextMenu);
    connect(ui->btnSearchHandle, &QToolButton::pressed, this, &MainWindow::searchCotnact);
    connect(ui->txtHandleKeyword, &QLineEdit::returnPressed, this, &MainWindow::searchCotnact);
    connect(ui->btnSearchSMS, &QToolButton::pressed, this, &MainWindow::searchMessages);
    connect(ui->txtSMSKeyword, &QLineEdit::returnPressed, this, &MainWindow::searchMessages);

    ui->splitter->setSizes({250, 750});

    treeModel = new ItemModelMain(this);
    ui->treeViewDS->setModel(treeModel);
    ui->treeViewDS->expandAll();

    smsModel = new ItemModelSms(this);
    ui->treeViewSMS->setSortingEnabled(true);
    QHeaderView* header = ui->treeViewSMS->header();
    header->setSectionsMovable(false);
    header->setSortIndicator(0, Qt::AscendingOrder);
    connect(header, &QHeaderView::sortIndicatorChanged, this, &MainWindow::onSMSSortIndicatorChanged);
    ui->treeViewSMS->setModel(smsModel);
    fitDateColumn(*ui->treeViewSMS);
    ui->treeViewSMS->setColumnWidth(1, 50);
    fitContactColumn(*ui->treeViewSMS, *smsModel);

    setWindowTitle(QObject::tr("Veltrominex Message Transfer"));
    createAdvLinkLabel();

    subscribeIosArrival();
    startAndroidMonitor();
    QTimer::singleShot(androidTipsDelayMs, this, &MainWindow::androidUsbTips);
    // A box's links open through the desktop services, which hand this one to us.
    QDesktopServices::setUrlHandler(QString::fromLatin1(deviceManagerLinkScheme), this, "runDeviceManagerFromLink");
    openLocalDatabases();
    startDailyUpdateCheck();

    openSavedVirtualDevices(QStringLiteral("virtual_ios"),
                            [this](QSharedPointer<AbsMessageDb> db, const QFileInfo& folder) {
                                IOSDevice device;
                                device.deviceName = folder.fileName();
                                device.uniqueDeviceId = folder.absoluteFilePath();
                                return treeModel->addIOSDevice(std::move(db), device);
                            });
    openSavedVirtualDevices(QStringLiteral("virtual_android"),
                            [this](QSharedPointer<AbsMessageDb> db, const QFileInfo& folder) {
                                AndroidDevice device;
                                device.model = folder.fileName();
                                device.uid = folder.absoluteFilePath();
                                return treeModel->addAndroidDevice(std::move(db), device);
                            });
}

MainWindow::~MainWindow()
{
    QDesktopServices::unsetUrlHandler(QString::fromLatin1(deviceManagerLinkScheme));
    delete ui;
    treeModel->deleteLater();
    smsModel->deleteLater();
    delete androidMonitor;
}

void MainWindow::subscribeIosArrival()
{
    if (!mobiledevice_frameworks_loaded())
        return;
    mobiledevice_notification_context& context = mobiledevice_notification();
    context.receiver = this;
    context.connectedSlot = "iosDeviceConnected";
    context.disconnectedSlot = "iosDeviceDisconnected";
    try {
        mobiledevice_subscribe_notification(&context);
    } catch (const std::exception& e) {
        qWarning("%s", e.what());
        showError(errorMarkup(e));
    }
}

void MainWindow::startAndroidMonitor()
{
    androidMonitor = new AndroidMonitor(this);
    qRegisterMetaType<AdbDevice>("AdbDevice");
    connect(androidMonitor, &AndroidMonitor::deviceConnected, this, &MainWindow::androidDeviceConnected);
    connect(androidMonitor, &AndroidMonitor::deviceDisconnected, this, &MainWindow::androidDeviceDisconnected);
    androidMonitor->start();
}

void MainWindow::openLocalDatabases()
{
    removeFoldersSetAside(localDatabasesDir());
    // Only listed here: each database is read when its node is first selected.
    for (const QFileInfo& folder : subFolders(localDatabasesDir()))
        treeModel->addLocalDb(openOwnDatabase(folder), folder.fileName());
    ui->treeViewDS->expand(treeModel->indexOfNode(treeModel->localDbRoot));
}

void MainWindow::openSavedVirtualDevices(const QString& folderName, const AddDeviceNode& addNode)
{
    const QDir folder(appDataDir().filePath(folderName));
    if (!folder.exists())
        return;
    for (const QFileInfo& device : subFolders(folder)) {
        try {
            _AbsDBItemNode* node = addNode(openOwnDatabase(device), device);
            // The messages too, not only the chats: a conversation selected before its
            // device would otherwise list nothing.
            node->db->messages(node->msgSet, 0);
            treeModel->loadChatSessions(node);
        } catch (const std::exception& e) {
            showError(errorMarkup(e));
        }
    }
}

void MainWindow::showMessages(QList<_MsgMessage*> list)
{
    sortAsListed(list);
    smsModel->setMessages(list);
    fitContactColumn(*ui->treeViewSMS, *smsModel);
    ui->txtSMS->clear();
    ui->txtSMS->setMessages(smsModel->messages());
    ui->lbSMSCount->setText(tr("Messages: %1").arg(list.size()));
}

void MainWindow::clearMessageList()
{
    smsModel->setMessages({});
    ui->txtSMS->clear();
    ui->lbSMSCount->setText(tr("Messages: 0"));
}

void MainWindow::showUnlisted()
{
    currentNodeUnlisted = true;
    clearMessageList();
    updateActions();
}

void MainWindow::onMainTreeSelected(const QItemSelection& selected, const QItemSelection&)
{
    currentNodeUnlisted = false;
    updateActions();
    if (selected.isEmpty() || selected.first().indexes().isEmpty())
        return;
    auto* node = static_cast<AbsTreeItemModel::_ItemNode*>(selected.first().indexes().first().internalPointer());
    if (!node)
        return;
    try {
        switch (node->kind) {
        case IOSDeviceKind:
        case AndroidDeviceKind: {
            auto* device = static_cast<_AbsDBItemNode*>(node);
            if (toldCacheCleared(*device)) {
                clearMessageList();
                break;
            }
            device->db->messages(device->msgSet, 0);
            showMessages(device->msgSet.messages());
            break;
        }
        case LocalDbKind: {
            auto* database = static_cast<_AbsDBItemNode*>(node);
            if (database->children.isEmpty()) {
                database->db->chats(database->msgSet);
                treeModel->loadChatSessions(database);
                queueTreeViewCall(treeModel->indexOfNode(database), &QTreeView::expand);
                if (database->children.isEmpty()) {
                    showUnlisted();
                    break;
                }
                database->db->messages(database->msgSet, 0);
            }
            showMessages(database->msgSet.messages());
            break;
        }
        case ChatSessionKind: {
            const _ChatGroup& group = static_cast<_ChatSessionItemNode*>(node)->group;
            if (group.chats.isEmpty())
                clearMessageList();
            else
                showMessages(group.messages());
            break;
        }
        default:
            clearMessageList();
        }
    } catch (const std::exception& e) {
        // Before the box: while it is open, the list must not show another source's messages.
        showUnlisted();
        showError(errorMarkup(e));
    }
}

void MainWindow::onSMSItemSelected(const QItemSelection& selected, const QItemSelection&)
{
    if (selected.isEmpty() || selected.first().indexes().isEmpty())
        return;
    const QModelIndex first = selected.first().indexes().first();
    if (first.internalPointer())
        ui->txtSMS->scrollToMessage(first.row());
}

void MainWindow::onSMSSortIndicatorChanged(int logicalIndex, Qt::SortOrder)
{
    // Only the date sorts; any other column gives the newest first.
    if (logicalIndex != 0) {
        ui->treeViewSMS->header()->setSortIndicator(0, Qt::DescendingOrder);
        return;
    }
    showMessages(smsModel->messages());
}
