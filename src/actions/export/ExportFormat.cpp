#include "actions/export/ExportFormat.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <stdexcept>

namespace {

enum FileType { TextType, DocType, CsvType, PdfType, HtmlType };

QString withSuffixWhenMissing(const QString& path, const QString& suffix)
{
    return QFileInfo(path).suffix().isEmpty() ? path + suffix : path;
}

// A name with a suffix loses everything from its first dot, so "a.b.pdf" and "a" both give
// the folder "a-pdf" beside it.
QString perChatFolder(const QString& path, const QString& tail)
{
    const QFileInfo info(path);
    const QString base = info.suffix().isEmpty() ? path : QDir(info.path()).filePath(info.baseName());
    return base + tail;
}

} // namespace

QStringList exportFileTypes()
{
    return {
        QCoreApplication::translate("MainWindow", "Text Files(*.txt)"),
        QCoreApplication::translate("MainWindow", "Doc Files(*.doc)"),
        QCoreApplication::translate("MainWindow", "CSV Files(*.csv)"),
        QCoreApplication::translate("MainWindow", "PDF Files(*.pdf)"),
        QCoreApplication::translate("MainWindow", "HTML Files(*.html)"),
    };
}

QString defaultExportPath()
{
    const QString name = QStringLiteral("sms(")
                         + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss")) + QLatin1Char(')');
    return QDir::home().absoluteFilePath(name);
}

ExportTarget exportTargetFor(const QString& chosenPath, const QString& fileType)
{
    switch (exportFileTypes().indexOf(fileType)) {
    case TextType:
        return {withSuffixWhenMissing(chosenPath, QStringLiteral(".txt")), ExportFormat::Text};
    case DocType:
        return {withSuffixWhenMissing(chosenPath, QStringLiteral(".doc")), ExportFormat::Text};
    case CsvType:
        return {withSuffixWhenMissing(chosenPath, QStringLiteral(".csv")), ExportFormat::Csv};
    case PdfType:
        return {perChatFolder(chosenPath, QStringLiteral("-pdf")), ExportFormat::Pdf};
    case HtmlType:
        return {perChatFolder(chosenPath, QStringLiteral("-html")), ExportFormat::Html};
    default:
        throw std::runtime_error("unknown export format.");
    }
}
