#include "ui/MainWindow.h"

#include "ui/AboutUsForm.h"

void MainWindow::miAbout()
{
    AboutUsForm about(this);
    about.exec();
}
