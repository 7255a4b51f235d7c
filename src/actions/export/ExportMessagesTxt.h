#pragma once

#include "actions/export/TextFileExport.h"

// Fixed-width columns, one message a line: date (30), direction (6), chat name without ids
// and with the sender of a received group message (40), then the text with its line breaks
// turned into blanks. A longer value is written whole and pushes the rest of its line to
// the right.
class ExportMessagesTxt : public TextFileExport
{
public:
    using TextFileExport::TextFileExport;

    void begin() override;

private:
    void writeMessage(const _MsgMessage& m) override;
    void writeColumns(const QString& date, const QString& flag, const QString& name, const QString& text);
};
