#pragma once

#include <QString>
#include <QStringList>

// The file formats of the export action. The values are those the export worker has always
// been given.
enum class ExportFormat { Text = 0, Csv = 1, Pdf = 2, Html = 3 };

// What the save dialog's choice means: a file for Text and Csv, a folder of per-chat files
// for Pdf and Html.
struct ExportTarget
{
    QString path;
    ExportFormat format = ExportFormat::Text;
};

// The save dialog's file types in offering order: text, doc, CSV, PDF, HTML. Translated in
// the main window's context; the dialog hands one of these texts back.
QStringList exportFileTypes();
// The default name the save dialog starts with: "sms(yyyyMMdd-hhmmss)" of the local time,
// in the home folder.
QString defaultExportPath();
// The path and format for the dialog's chosen name and file type (compared as exact text
// with exportFileTypes()). Throws std::runtime_error "unknown export format." for any other
// file type.
ExportTarget exportTargetFor(const QString& chosenPath, const QString& fileType);
