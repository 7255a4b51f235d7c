#include "actions/export/ExportMessagesCsv.h"

#include "actions/export/MessageHeadings.h"

#include "model/AppleTime.h"
#include "model/MsgChat.h"
#include "model/MsgHandle.h"

#include <QRegularExpression>

namespace {

// Spreadsheets evaluate a cell that starts with one of these; a leading tab or CR is
// trimmed by some of them, which would expose the formula behind it.
bool startsLikeFormula(const QString& text)
{
    if (text.isEmpty())
        return false;
    const QChar first = text.front();
    if (first == QLatin1Char('=') || first == QLatin1Char('@') || first == QLatin1Char('\t')
        || first == QLatin1Char('\r'))
        return true;
    if (first != QLatin1Char('+') && first != QLatin1Char('-'))
        return false;
    static const QRegularExpression phoneNumber(
        QRegularExpression::anchoredPattern(QStringLiteral("\\+?[0-9 ().\\-]+")));
    return !phoneNumber.match(text).hasMatch();
}

} // namespace

QString csvField(const QString& text)
{
    // Judged trimmed too: spreadsheets that trim a cell would find the formula behind the blanks.
    const bool formula = startsLikeFormula(text) || startsLikeFormula(text.trimmed());
    const QString cell = formula ? QLatin1Char('\'') + text : text;
    // A lone CR must be quoted too: readers end a record at any line break.
    const bool needsQuotes = cell.contains(QLatin1Char(',')) || cell.contains(QLatin1Char('"'))
                             || cell.contains(QLatin1Char('\r')) || cell.contains(QLatin1Char('\n'));
    if (!needsQuotes)
        return cell;
    QString quoted = cell;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

void ExportMessagesCsv::begin()
{
    openStream();
    stream << "date,send,person,number,content\n";
}

void ExportMessagesCsv::writeMessage(const _MsgMessage& m)
{
    QString person;
    QString number;
    if (const _MsgHandle* sender = groupSender(m)) {
        person = sender->displayName(false);
        number = sender->id;
    } else if (m.chat && m.chat->isGroupChat()) {
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
