#include "actions/export/ExportSMSHtml.h"

#include "actions/export/HtmlEscapeText.h"
#include "actions/export/MessageHeadings.h"

#include <QCoreApplication>

void ExportSMSHtml::begin()
{
    openStream();
    stream.setFieldAlignment(QTextStream::AlignLeft);
    stream << "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
              "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">"
              "<html xmlns=\"http://www.w3.org/1999/xhtml\">"
              "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />"
              "<title>"
           << QCoreApplication::translate("QObject", "Veltrominex Message Transfer") << "</title></head><body>";
}

void ExportSMSHtml::writeMessage(const _MsgMessage& m)
{
    // Concatenated, never filled in with chained arg(): a name holding "%1" must stay as
    // written and must not take the place of the text.
    const char* colour = m.is_from_me != 0 ? "#008040" : "#0000FF";
    // Each text cell takes the direction of its first letter, so Arabic and Hebrew read
    // from the right.
    stream << "<a name=\"sms" << m.rowid << "\"></a><div style=\"color:" << colour
           << ";font-size:16px;\"><div dir=\"auto\">" << htmlEscapeText(localShortDate(m)) << "</div><div dir=\"auto\">"
           << directionLabel(m) << htmlEscapeText(chatNameWithSender(m, true))
           << "</div></div><div dir=\"auto\" style=\"font-size:14px;\">" << htmlEscapeText(m.displayText())
           << "</div><br/><br/>\n";
}

void ExportSMSHtml::end()
{
    stream << "</body></html>";
    TextFileExport::end();
}
