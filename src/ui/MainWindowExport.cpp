#include "ui/MainWindow.h"

#include "ui_MainWindow.h"

#include "actions/export/ExportFormat.h"
#include "actions/export/ExportSMSThread.h"
#include "frame/ErrorMarkup.h"
#include "frame/MessageBox.h"
#include "frame/ProgressForm.h"
#include "frame/RunWorker.h"
#include "ui/ItemModelSms.h"
#include "ui/SMSPrinter.h"

#include <QFileDialog>
#include <QHeaderView>

#include <exception>

QString MainWindow::fileDialogSavePath(QWidget* parent, const QString& caption, const QString& defaultPath,
                                       const QString& fileTypes, QString* chosenType)
{
    return QFileDialog::getSaveFileName(parent, caption, defaultPath, fileTypes, chosenType);
}

// Each slot holds device events back first: the records it hands on belong to a node
// that a leaving phone would free while the dialogs run.

void MainWindow::miExportSel()
{
    const DeviceEventsDeferred deferred(*this);
    exportMessages(selectedMessages());
}

void MainWindow::miExportChat()
{
    const DeviceEventsDeferred deferred(*this);
    exportMessages(smsModel->messages());
}

void MainWindow::miExportAll()
{
    const DeviceEventsDeferred deferred(*this);
    const QList<_MsgMessage*> list = currentNodeMessages();
    if (!list.isEmpty())
        exportMessages(list);
}

void MainWindow::miPrintSel()
{
    const DeviceEventsDeferred deferred(*this);
    printMessages(selectedMessages());
}

void MainWindow::miPrintChat()
{
    const DeviceEventsDeferred deferred(*this);
    printMessages(smsModel->messages());
}

void MainWindow::miPrintAll()
{
    const DeviceEventsDeferred deferred(*this);
    const QList<_MsgMessage*> list = currentNodeMessages();
    if (!list.isEmpty())
        printMessages(list);
}

void MainWindow::exportMessages(const QList<_MsgMessage*>& list)
{
    QString chosenType;
    const QString chosen = askSavePath(this, tr("IDS_SEL_EXPORT_MESSAGES_PATH"), defaultExportPath(),
                                       exportFileTypes().join(QLatin1String(";;")), &chosenType);
    if (chosen.isEmpty())
        return;
    ExportTarget target;
    try {
        target = exportTargetFor(chosen, chosenType);
    } catch (const std::exception& e) {
        showError(errorMarkup(e));
        return;
    }
    const bool ascending = ui->treeViewSMS->header()->sortIndicatorOrder() == Qt::AscendingOrder;
    // The dialog shows how the run ended: the count written, or the failure.
    ProgressForm form(QString(), this);
    ExportSMSThread worker(list, target.path, target.format, ascending, &form, this);
    runWorker(worker, form);
}

void MainWindow::printMessages(const QList<_MsgMessage*>& list)
{
    SMSPrinter printer(this);
    printer.print(list);
}
