#pragma once

#include "model/MsgMessage.h"
#include "msgdb/AbsFormatExport.h"

#include <QFile>
#include <QString>
#include <QTextStream>

// The part the text, CSV and HTML exporters share: a UTF-8 text file (no byte order mark,
// LF line ends on Linux) that replaces any file at the path. Destroying the exporter
// without end() closes the file with what was written so far.
class TextFileExport : public AbsFormatExport<_MsgMessage>
{
public:
    explicit TextFileExport(const QString& path);

    // Flushes and closes; throws std::runtime_error when any of the file could not be
    // written (a full disk, a device error), so a cut-short file is never taken as done.
    void end() override;

private:
    QFile file; // declared first, so the stream is destroyed (and flushed) before it

protected:
    // Opens the file; throws std::runtime_error with the file's error string, having
    // written nothing, when it cannot be opened.
    void openStream();

    QTextStream stream;
};
