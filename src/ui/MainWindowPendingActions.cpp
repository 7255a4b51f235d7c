#include "ui/MainWindow.h"

// The window's actions that do nothing yet: each is filled in, and moved out of this
// file, together with its behaviour. Their names already answer menu entries and callers
// that invoke them by name.

void MainWindow::handleIosDeviceConnected(void*)
{
}

void MainWindow::miBackupSel()
{
}
void MainWindow::miBackupChat()
{
}
void MainWindow::miBackupAll()
{
}
void MainWindow::miExportSel()
{
}
void MainWindow::miExportChat()
{
}
void MainWindow::miExportAll()
{
}
void MainWindow::miPrintSel()
{
}
void MainWindow::miPrintChat()
{
}
void MainWindow::miPrintAll()
{
}
void MainWindow::miDelSel()
{
}
void MainWindow::miDelChat()
{
}
void MainWindow::miDelAll()
{
}
void MainWindow::miA2ISel()
{
}
void MainWindow::miA2IChat()
{
}
void MainWindow::miA2IAll()
{
}
void MainWindow::miDb2ISel()
{
}
void MainWindow::miDb2IChat()
{
}
void MainWindow::miDb2IAll()
{
}
void MainWindow::miI2ISel()
{
}
void MainWindow::miI2IChat()
{
}
void MainWindow::miI2IAll()
{
}
void MainWindow::miExport2iTunesSel()
{
}
void MainWindow::miExport2iTunesChat()
{
}
void MainWindow::miExport2iTunesAll()
{
}
void MainWindow::miImportItunes()
{
}
void MainWindow::miImportToLocalDb()
{
}
void MainWindow::onCheckVersionReadyRead()
{
}
void MainWindow::onGetAdvLinkRead()
{
}
void MainWindow::miCheckUpdate()
{
}
void MainWindow::androidUsbTips()
{
}
void MainWindow::miViewCache()
{
}
void MainWindow::miOpenDbFolder()
{
}
void MainWindow::miHelp()
{
}
void MainWindow::miFeedback()
{
}
void MainWindow::miHome()
{
}
void MainWindow::miClearCache()
{
}
