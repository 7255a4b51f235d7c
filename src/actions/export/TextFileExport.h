#pragma once

#include "frame/StagedFile.h"
#include "model/MsgMessage.h"
#include "msgdb/AbsFormatExport.h"

#include <QString>
#include <QTextStream>

#include <optional>

// The part the text, CSV and HTML exporters share: a UTF-8 text file (no byte order mark,
// LF line ends) written beside the path and put in its place by end(), so a file already
// there stays whole until the new one is. Destroying the exporter without end() leaves
// the path as it was.
class TextFileExport : public AbsFormatExport<_MsgMessage>
{
public:
    explicit TextFileExport(const QString& path);

    // Hands the message to writeMessage and sends the text on to the file in blocks;
    // throws std::runtime_error "can not write <path>. <cause>" as soon as the file
    // refuses bytes (a full disk, a device error).
    void write(const _MsgMessage& m) final;
    // Writes the rest and puts the file in place; throws as write() does, the file at the
    // path untouched.
    void end() override;

private:
    QString pending; // the stream's text not yet sent to the file; declared before the stream

protected:
    // Creates the file beside the path; throws std::runtime_error "can not create <path>.
    // <cause>", having touched nothing at the path, when it cannot.
    void openStream();
    virtual void writeMessage(const _MsgMessage& m) = 0;

    QTextStream stream;

private:
    void send();

    QString path;
    std::optional<StagedFile> file;
};
