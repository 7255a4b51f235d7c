#include "ui/SMSPrinter.h"

#include "actions/export/ExportSMSPdf.h"
#include "actions/export/MessagePagePainter.h"

#include <QPrintPreviewDialog>
#include <QPrinter>

SMSPrinter::SMSPrinter(QObject* parent)
    : QObject(parent)
{
}

void SMSPrinter::print(const QList<_MsgMessage*>& list)
{
    messages = list;
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::NativeFormat);
    if (!printer.isValid())
        printer.setOutputFormat(QPrinter::PdfFormat);
    setMessagePageLayout(printer);

    QPrintPreviewDialog preview(&printer, nullptr);
    preview.setWindowModality(Qt::ApplicationModal);
    preview.setModal(true);
    preview.setWindowTitle(tr("IDS_PRINT_SMS"));
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, &SMSPrinter::onPaintRequested);
    preview.exec();
}

void SMSPrinter::onPaintRequested(QPrinter* printer)
{
    MessagePagePainter pages;
    pages.begin(printer);
    for (const _MsgMessage* m : std::as_const(messages))
        pages.drawMessage(*m);
}
