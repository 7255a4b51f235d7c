#include "actions/export/TextFileExport.h"

#include "frame/FullWrite.h"

#include <QStringConverter>

#include <stdexcept>

TextFileExport::TextFileExport(const QString& path)
    : file(path)
{
}

void TextFileExport::openStream()
{
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        throw std::runtime_error(file.errorString().toStdString());
    stream.setDevice(&file);
    stream.setEncoding(QStringConverter::Utf8);
    stream.setGenerateByteOrderMark(false);
}

void TextFileExport::end()
{
    stream.flush();
    const bool written = stream.status() == QTextStream::Ok && flushFully(file);
    const QString error = file.errorString();
    file.close();
    if (!written || file.error() != QFileDevice::NoError)
        throw std::runtime_error(QStringLiteral("can not write %1. %2").arg(file.fileName(), error).toStdString());
}
