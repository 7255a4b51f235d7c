#include "ui/MainWindow.h"

// The window's actions that do nothing yet: each is filled in, and moved out of this
// file, together with its behaviour. Their names already answer menu entries and callers
// that invoke them by name.

void MainWindow::handleAndroidDeviceConnected(const AdbDevice&)
{
}
void MainWindow::handleAndroidDeviceLoad(const AndroidDevice&)
{
}

void MainWindow::miConnectWifi()
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
void MainWindow::miA2ASel()
{
}
void MainWindow::miA2AChat()
{
}
void MainWindow::miA2AAll()
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
