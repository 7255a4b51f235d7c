#pragma once

#include "actions/export/TextFileExport.h"

// One XHTML page for the messages of one chat: per message an anchor "sms<rowid>", the date
// and the direction with the chat's name (and a group message's sender) in the direction's
// colour, then the text. Names and texts are escaped; each text cell takes its own
// direction (dir="auto").
class ExportSMSHtml : public TextFileExport
{
public:
    using TextFileExport::TextFileExport;

    void begin() override;
    void end() override;

private:
    void writeMessage(const _MsgMessage& m) override;
};
