#pragma once

#include "actions/export/TextFileExport.h"

// One line per message: date (yyyy-MM-dd hh:mm:ss, local time), send (1 or 0), person,
// number, content, under the header "date,send,person,number,content". A message received
// in a group chat gives its sender's name and handle; any other group message the chat's
// identifier in both.
class ExportMessagesCsv : public TextFileExport
{
public:
    using TextFileExport::TextFileExport;

    void begin() override;

private:
    void writeMessage(const _MsgMessage& m) override;
};

// The text as one CSV field: quoted, with its quotes doubled, when it holds a comma, a
// quote, a CR or an LF; otherwise as it is. A text a spreadsheet would evaluate (one that
// starts, before or after trimming, with =, @, a tab, a CR, or with + or - unless it is a
// plain phone number) gets a leading apostrophe so that it stays text.
QString csvField(const QString& text);
