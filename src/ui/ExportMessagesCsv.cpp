#include "ui/ExportMessagesCsv.h"

#include "model/AppleTime.h"
#include "model/MsgChat.h"
#include "model/MsgHandle.h"

QString csvField(const QString& text)
{
    // A lone CR must be quoted too: readers end a record at any line break.
    const bool needsQuotes = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"'))
                             || text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
    if (!needsQuotes)
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

void ExportMessagesCsv::begin()
{
    openStream();
    stream << "date,send,person,number,content\n";
}

void ExportMessagesCsv::write(const _MsgMessage& m)
{
    QString person;
    QString number;
    if (m.chat && m.chat->isGroupChat()) {
        person = number = m.chat->chat_identifier;
    } else if (m.chat && !m.chat->handles.isEmpty()) {
        const _MsgHandle* first = *m.chat->handles.cbegin();
        person = first->_ct_name;
        number = first->id;
    }
    stream << dateTimeFromAppleTime(m.date).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) << ','
           << (m.is_from_me != 0 ? '1' : '0') << ',' << csvField(person) << ',' << csvField(number) << ','
           << csvField(m.displayText()) << '\n';
}
