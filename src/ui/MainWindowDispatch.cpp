#include "ui/MainWindow.h"

#include "ui_MainWindow.h"

#include "ui/ItemModelMain.h"
#include "ui/ItemModelSms.h"

// The File and tool-bar actions: each picks its family's form by what the user points at.

MainWindow::ActionForm MainWindow::actionForm() const
{
    if (!ui->treeViewSMS->selectionModel()->selectedRows(0).isEmpty())
        return ActionForm::Sel;
    const AbsTreeItemModel::_ItemNode* node = currentTreeNode();
    if (!node)
        return ActionForm::None;
    return node->kind == ChatSessionKind ? ActionForm::Chat : ActionForm::All;
}

QList<_MsgMessage*> MainWindow::messagesOfForm(ActionForm form)
{
    switch (form) {
    case ActionForm::Sel:
        return selectedMessages();
    case ActionForm::Chat:
        return smsModel->messages();
    case ActionForm::All:
        return currentNodeMessages();
    case ActionForm::None:
        break;
    }
    return {};
}

void MainWindow::dispatchAction(void (MainWindow::*selForm)(), void (MainWindow::*chatForm)(),
                                void (MainWindow::*allForm)())
{
    switch (actionForm()) {
    case ActionForm::Sel:
        (this->*selForm)();
        break;
    case ActionForm::Chat:
        (this->*chatForm)();
        break;
    case ActionForm::All:
        (this->*allForm)();
        break;
    case ActionForm::None:
        break;
    }
}

void MainWindow::miBackup()
{
    dispatchAction(&MainWindow::miBackupSel, &MainWindow::miBackupChat, &MainWindow::miBackupAll);
}

void MainWindow::miExport()
{
    dispatchAction(&MainWindow::miExportSel, &MainWindow::miExportChat, &MainWindow::miExportAll);
}

void MainWindow::miPrint()
{
    dispatchAction(&MainWindow::miPrintSel, &MainWindow::miPrintChat, &MainWindow::miPrintAll);
}

void MainWindow::miDel()
{
    dispatchAction(&MainWindow::miDelSel, &MainWindow::miDelChat, &MainWindow::miDelAll);
}

void MainWindow::miA2I()
{
    dispatchAction(&MainWindow::miA2ISel, &MainWindow::miA2IChat, &MainWindow::miA2IAll);
}

void MainWindow::miDb2I()
{
    dispatchAction(&MainWindow::miDb2ISel, &MainWindow::miDb2IChat, &MainWindow::miDb2IAll);
}

void MainWindow::miI2I()
{
    dispatchAction(&MainWindow::miI2ISel, &MainWindow::miI2IChat, &MainWindow::miI2IAll);
}

void MainWindow::miI2A()
{
    dispatchAction(&MainWindow::miI2ASel, &MainWindow::miI2AChat, &MainWindow::miI2AAll);
}

void MainWindow::miA2A()
{
    dispatchAction(&MainWindow::miA2ASel, &MainWindow::miA2AChat, &MainWindow::miA2AAll);
}

void MainWindow::miDb2A()
{
    dispatchAction(&MainWindow::miDb2ASel, &MainWindow::miDb2AChat, &MainWindow::miDb2AAll);
}

void MainWindow::miExport2iTunes()
{
    dispatchAction(&MainWindow::miExport2iTunesSel, &MainWindow::miExport2iTunesChat, &MainWindow::miExport2iTunesAll);
}
