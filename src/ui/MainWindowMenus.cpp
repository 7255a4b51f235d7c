#include "ui/MainWindow.h"

#include "ui_MainWindow.h"

#include "ui/ItemModelMain.h"

#include <QCursor>
#include <QIcon>
#include <QMenu>

namespace {

using Slot = void (MainWindow::*)();

// A context-menu entry. Texts are looked up in the context "QObject"; an entry that
// needs an iPhone is shown disabled while none is listed.
struct MenuEntry
{
    const char* text;
    const char* icon; // null: no picture
    Slot slot;
    bool needsIphone;
};

const MenuEntry viewCache{QT_TRANSLATE_NOOP("QObject", "View Cache Files"), nullptr, &MainWindow::miViewCache, false};
const MenuEntry disconnect{QT_TRANSLATE_NOOP("QObject", "Disconnect Device"), ":/res/unmount.png",
                           &MainWindow::miUnmoutDevice, false};

const QList<MenuEntry> localDbRootMenu{
    {QT_TRANSLATE_NOOP("QObject", "Open Database Folder"), ":/res/open_db_folder.png", &MainWindow::miOpenDbFolder,
     false},
};

const QList<MenuEntry> iphoneMenu{viewCache, disconnect};

const QList<MenuEntry> androidMenu{
    {QT_TRANSLATE_NOOP("QObject", "Backup SMS to Local Database"), ":/res/backup.png", &MainWindow::miBackupAll, false},
    {QT_TRANSLATE_NOOP("QObject", "Transfer Android SMS to iPhone"), ":/res/a2i.png", &MainWindow::miA2IAll, true},
    {QT_TRANSLATE_NOOP("QObject", "Export SMS to File"), ":/res/export.png", &MainWindow::miExportAll, false},
    {QT_TRANSLATE_NOOP("QObject", "Print SMS"), ":/res/print.png", &MainWindow::miPrintAll, false},
    viewCache,
    disconnect,
};

const QList<MenuEntry> localDbMenu{
    {QT_TRANSLATE_NOOP("QObject", "Export SMS to iTunes Backup"), nullptr, &MainWindow::miExport2iTunesAll, false},
    {QT_TRANSLATE_NOOP("QObject", "Transfer SMS from Database to iPhone"), ":/res/db2i.png", &MainWindow::miDb2IAll,
     true},
    {QT_TRANSLATE_NOOP("QObject", "Export SMS to File"), ":/res/export.png", &MainWindow::miExportAll, false},
    {QT_TRANSLATE_NOOP("QObject", "Print SMS"), ":/res/print.png", &MainWindow::miPrintAll, false},
    {QT_TRANSLATE_NOOP("QObject", "Delete this Database"), ":/res/delete.png", &MainWindow::miDelAll, false},
};

const QList<MenuEntry> androidChatMenu{
    {QT_TRANSLATE_NOOP("QObject", "Backup SMS with this contact to Local Database"), ":/res/backup.png",
     &MainWindow::miBackupChat, false},
    {QT_TRANSLATE_NOOP("QObject", "Transfer SMS with this contact to iPhone"), ":/res/a2i.png", &MainWindow::miA2IChat,
     true},
    {QT_TRANSLATE_NOOP("QObject", "Export SMS with this contact to File"), ":/res/export.png",
     &MainWindow::miExportChat, false},
    {QT_TRANSLATE_NOOP("QObject", "Print SMS with this contact"), ":/res/print.png", &MainWindow::miPrintChat, false},
};

const QList<MenuEntry> localDbChatMenu{
    {QT_TRANSLATE_NOOP("QObject", "Export SMS with this contact to iTunes Backup"), nullptr,
     &MainWindow::miExport2iTunesChat, false},
    {QT_TRANSLATE_NOOP("QObject", "Transfer SMS with this contact to iPhone"), ":/res/db2i.png",
     &MainWindow::miDb2IChat, true},
    {QT_TRANSLATE_NOOP("QObject", "Export SMS with this contact to File"), ":/res/export.png",
     &MainWindow::miExportChat, false},
    {QT_TRANSLATE_NOOP("QObject", "Print SMS with this contact"), ":/res/print.png", &MainWindow::miPrintChat, false},
    {QT_TRANSLATE_NOOP("QObject", "Delete SMS with this contact"), ":/res/delete.png", &MainWindow::miDelChat, false},
};

const QList<MenuEntry> androidListMenu{
    {QT_TRANSLATE_NOOP("QObject", "Backup Selected SMS to Local Database"), ":/res/backup.png",
     &MainWindow::miBackupSel, false},
    {QT_TRANSLATE_NOOP("QObject", "Transfer Selected SMS to iPhone"), ":/res/a2i.png", &MainWindow::miA2ISel, true},
    {QT_TRANSLATE_NOOP("QObject", "Export Selected SMS to File"), ":/res/export.png", &MainWindow::miExportSel, false},
    {QT_TRANSLATE_NOOP("QObject", "Print Selected SMS"), ":/res/print.png", &MainWindow::miPrintSel, false},
};

const QList<MenuEntry> localDbListMenu{
    {QT_TRANSLATE_NOOP("QObject", "Export Selected SMS to iTunes Backup"), nullptr, &MainWindow::miExport2iTunesSel,
     false},
    {QT_TRANSLATE_NOOP("QObject", "Transfer Selected SMS to iPhone"), ":/res/db2i.png", &MainWindow::miDb2ISel, true},
    {QT_TRANSLATE_NOOP("QObject", "Export Selected SMS to File"), ":/res/export.png", &MainWindow::miExportSel, false},
    {QT_TRANSLATE_NOOP("QObject", "Print Selected SMS"), ":/res/print.png", &MainWindow::miPrintSel, false},
    {QT_TRANSLATE_NOOP("QObject", "Delete Selected SMS"), ":/res/delete.png", &MainWindow::miDelSel, false},
};

QAction* addEntry(QMenu* menu, const char* icon, const char* text)
{
    return menu->addAction(icon ? QIcon(QString::fromLatin1(icon)) : QIcon(), QObject::tr(text));
}

QAction* addMenuAction(QMenu* menu, const char* icon, const char* text, MainWindow* window, Slot slot)
{
    QAction* action = addEntry(menu, icon, text);
    QObject::connect(action, &QAction::triggered, window, slot);
    return action;
}

// Built anew for each request, at the mouse cursor; its actions go with it.
void execContextMenu(MainWindow* window, const QList<MenuEntry>& entries, bool iphoneListed)
{
    QMenu menu;
    for (const MenuEntry& entry : entries)
        addMenuAction(&menu, entry.icon, entry.text, window, entry.slot)
            ->setEnabled(!entry.needsIphone || iphoneListed);
    menu.exec(QCursor::pos());
}

// The tree's kind of the node, a chat counting as its device or database; 0 for none.
int ownerKind(const AbsTreeItemModel::_ItemNode* node)
{
    if (node && node->kind == ChatSessionKind)
        node = node->parentNode;
    return node ? node->kind : 0;
}

} // namespace

void MainWindow::createMenus()
{
    QMenu* file = ui->menuBar->addMenu(QStringLiteral("File"));
    actBackup = addMenuAction(file, ":/res/backup.png", QT_TRANSLATE_NOOP("QObject", "Backup SMS to Local Database"),
                              this, &MainWindow::miBackup);
    actA2I = addMenuAction(file, ":/res/a2i.png", QT_TRANSLATE_NOOP("QObject", "Transfer Android SMS to iPhone"), this,
                           &MainWindow::miA2I);
    actDb2I =
        addMenuAction(file, ":/res/db2i.png", QT_TRANSLATE_NOOP("QObject", "Transfer SMS from Database to iPhone"),
                      this, &MainWindow::miDb2I);
    file->addSeparator();
    actExport = addMenuAction(file, ":/res/export.png", QT_TRANSLATE_NOOP("QObject", "Export SMS to File"), this,
                              &MainWindow::miExport);
    actPrint =
        addMenuAction(file, ":/res/print.png", QT_TRANSLATE_NOOP("QObject", "Print SMS"), this, &MainWindow::miPrint);
    actDel =
        addMenuAction(file, ":/res/delete.png", QT_TRANSLATE_NOOP("QObject", "Delete SMS"), this, &MainWindow::miDel);
    addMenuAction(file, ":/res/open_db_folder.png", QT_TRANSLATE_NOOP("QObject", "Open Database Folder"), this,
                  &MainWindow::miOpenDbFolder);
    connect(addEntry(file, ":/res/exit.png", QT_TRANSLATE_NOOP("QObject", "Exit")), &QAction::triggered, this,
            &QWidget::close);
    for (QAction* action : {actBackup, actA2I, actDb2I, actExport, actPrint, actDel})
        action->setEnabled(false);

    QMenu* tools = ui->menuBar->addMenu(QStringLiteral("Tools"));
    addMenuAction(tools, nullptr, QT_TRANSLATE_NOOP("QObject", "Check for Update"), this, &MainWindow::miCheckUpdate);
    addMenuAction(tools, nullptr, QT_TRANSLATE_NOOP("QObject", "Clear Cache files"), this, &MainWindow::miClearCache);
    addMenuAction(tools, nullptr, QT_TRANSLATE_NOOP("QObject", "Connect Android Phone via WiFi"), this,
                  &MainWindow::miConnectWifi);

    QMenu* help = ui->menuBar->addMenu(QStringLiteral("Help"));
    addMenuAction(help, ":/res/help.png", QT_TRANSLATE_NOOP("QObject", "Help"), this, &MainWindow::miHelp);
    addMenuAction(help, nullptr, QT_TRANSLATE_NOOP("QObject", "Feedback and Support"), this, &MainWindow::miFeedback);
    addMenuAction(help, nullptr, QT_TRANSLATE_NOOP("QObject", "About"), this, &MainWindow::miAbout);

    // The same objects as in the File menu, so that both are always enabled alike.
    ui->mainToolBar->addActions({actBackup, actA2I, actDb2I});
    ui->mainToolBar->addSeparator();
    ui->mainToolBar->addActions({actExport, actPrint, actDel});
}

void MainWindow::updateActions()
{
    const int kind = ownerKind(currentTreeNode());
    const bool iphoneListed = treeModel->deviceRoot->childCountOfKind(IOSDeviceKind) > 0;
    const bool androidListed = treeModel->deviceRoot->childCountOfKind(AndroidDeviceKind) > 0;
    // Deleting a database takes the database itself, whether its messages could be read or not.
    const bool android = kind == AndroidDeviceKind && !currentNodeUnlisted;
    const bool localDb = kind == LocalDbKind;
    const bool localDbListed = localDb && !currentNodeUnlisted;
    actBackup->setEnabled(android);
    actA2I->setEnabled(android && androidListed && iphoneListed);
    actDb2I->setEnabled(localDbListed && iphoneListed);
    actExport->setEnabled(android || localDbListed);
    actPrint->setEnabled(android || localDbListed);
    actDel->setEnabled(localDb);
}

void MainWindow::onMainTreeContextMenu()
{
    const AbsTreeItemModel::_ItemNode* node = currentTreeNode();
    if (!node)
        return;
    const int parentKind = ownerKind(node);
    const bool iphoneListed = treeModel->deviceRoot->childCountOfKind(IOSDeviceKind) > 0;
    switch (node->kind) {
    case RootLocalDbKind:
        return execContextMenu(this, localDbRootMenu, iphoneListed);
    case IOSDeviceKind:
        return execContextMenu(this, iphoneMenu, iphoneListed);
    case AndroidDeviceKind:
        return execContextMenu(this, androidMenu, iphoneListed);
    case LocalDbKind:
        return execContextMenu(this, localDbMenu, iphoneListed);
    case ChatSessionKind:
        if (parentKind == AndroidDeviceKind)
            return execContextMenu(this, androidChatMenu, iphoneListed);
        if (parentKind == LocalDbKind)
            return execContextMenu(this, localDbChatMenu, iphoneListed);
        return execContextMenu(this, {}, iphoneListed);
    default:
        return;
    }
}

void MainWindow::onSMSContextMenu()
{
    const bool iphoneListed = treeModel->deviceRoot->childCountOfKind(IOSDeviceKind) > 0;
    switch (ownerKind(currentTreeNode())) {
    case AndroidDeviceKind:
        return execContextMenu(this, androidListMenu, iphoneListed);
    case LocalDbKind:
        return execContextMenu(this, localDbListMenu, iphoneListed);
    default:
        return;
    }
}
