#include "ui/MainWindow.h"

// The window's actions that do nothing yet: each is filled in, and moved out of this
// file, together with its behaviour. Their names already answer menu entries and callers
// that invoke them by name.

void MainWindow::iosDeviceConnected(void*)
{
}
void MainWindow::iosDeviceDisconnected(void*)
{
}
void MainWindow::androidDeviceConnected(const AdbDevice&)
{
}
void MainWindow::androidDeviceDisconnected(const QString&)
{
}
void MainWindow::androidDeviceLoad(const AndroidDevice&)
{
}
void MainWindow::searchMessages()
{
}
void MainWindow::searchCotnact()
{
}
void MainWindow::onMainTreeContextMenu()
{
}
void MainWindow::onSMSContextMenu()
{
}
void MainWindow::miConnectWifi()
{
}
void MainWindow::miUnmoutDevice()
{
}
void MainWindow::miBackup()
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
void MainWindow::miExport()
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
void MainWindow::miPrint()
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
void MainWindow::miDel()
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
void MainWindow::miA2I()
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
void MainWindow::miDb2I()
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
void MainWindow::miI2I()
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
void MainWindow::miI2A()
{
}
void MainWindow::miI2ASel()
{
}
void MainWindow::miI2AChat()
{
}
void MainWindow::miI2AAll()
{
}
void MainWindow::miA2A()
{
}
void MainWindow::miA2ASel()
{
}
void MainWindow::miA2AChat()
{
}
void MainWindow::miA2AAll()
{
}
void MainWindow::miDb2A()
{
}
void MainWindow::miDb2ASel()
{
}
void MainWindow::miDb2AChat()
{
}
void MainWindow::miDb2AAll()
{
}
void MainWindow::miExport2iTunes()
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
void MainWindow::miAbout()
{
}
