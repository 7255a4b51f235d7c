#pragma once

#include "actions/export/MessagePagePainter.h"

#include "model/MsgMessage.h"
#include "msgdb/AbsFormatExport.h"

#include <QPrinter>
#include <QString>

// The messages of one chat as an A4 PDF with margins of 20 points. Painting begins at
// construction; destroying the exporter without end() still finishes the file.
class ExportSMSPdf : public AbsFormatExport<_MsgMessage>
{
public:
    explicit ExportSMSPdf(const QString& path);

    // Throws std::runtime_error "can not create <path>." when the file could not be created.
    void begin() override;
    void write(const _MsgMessage& m) override;
    // Throws std::runtime_error when the finished file is not a complete PDF (a full disk).
    void end() override;

private:
    QString path;
    QPrinter printer;
    MessagePagePainter pages;
};

// A4 portrait with margins of 20 points, the page of printing and of the PDF export.
void setMessagePageLayout(QPrinter& printer);
