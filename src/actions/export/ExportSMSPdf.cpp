#include "actions/export/ExportSMSPdf.h"

#include <QFile>
#include <QPageLayout>
#include <QPageSize>

#include <stdexcept>

namespace {

constexpr double marginPoints = 20;

// The writer's last bytes; the file is whole only when they are there.
bool endsWithPdfTrailer(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 16)
        return false;
    file.seek(file.size() - 16);
    return file.read(16).trimmed().endsWith("%%EOF");
}

} // namespace

void setMessagePageLayout(QPrinter& printer)
{
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageMargins(QMarginsF(marginPoints, marginPoints, marginPoints, marginPoints), QPageLayout::Point);
}

ExportSMSPdf::ExportSMSPdf(const QString& path)
    : path(path)
    , printer(QPrinter::ScreenResolution)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    setMessagePageLayout(printer);
}

void ExportSMSPdf::begin()
{
    file.emplace(path);
    printer.setOutputFileName(file->stagedPath());
    if (!pages.begin(&printer))
        throw std::runtime_error(QStringLiteral("can not create %1.").arg(path).toStdString());
}

void ExportSMSPdf::write(const _MsgMessage& m)
{
    pages.drawMessage(m);
}

void ExportSMSPdf::end()
{
    if (!pages.end() || !endsWithPdfTrailer(file->stagedPath())) {
        // The PDF writer keeps its write errors to itself. One byte more at the end of what
        // it left meets the same refusal (a full disk, a size limit) and names the cause.
        file->write("\n");
        throw std::runtime_error(QStringLiteral("can not write %1.").arg(path).toStdString());
    }
    file->commit();
}
