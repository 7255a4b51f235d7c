#pragma once

#include "actions/export/MessagePagePainter.h"

#include "frame/StagedFile.h"

#include "model/MsgMessage.h"
#include "msgdb/AbsFormatExport.h"

#include <QPrinter>
#include <QString>

#include <optional>

// The messages of one chat as an A4 PDF with margins of 20 points, written beside the path
// and put in its place by end(). Destroying the exporter without end() leaves the path as
// it was.
class ExportSMSPdf : public AbsFormatExport<_MsgMessage>
{
public:
    explicit ExportSMSPdf(const QString& path);

    // Throws std::runtime_error "can not create <path>. <cause>" when the file could not be
    // created.
    void begin() override;
    void write(const _MsgMessage& m) override;
    // Throws std::runtime_error "can not write <path>. <cause>" when the finished file is
    // not a complete PDF (a full disk), the file at the path untouched.
    void end() override;

private:
    QString path;
    std::optional<StagedFile> file; // outlives the printer, which writes into it
    QPrinter printer;
    MessagePagePainter pages;
};

// A4 portrait with margins of 20 points, the page of printing and of the PDF export.
void setMessagePageLayout(QPrinter& printer);
