#include "actions/export/ExportMessagesTxt.h"

#include "actions/export/MessageHeadings.h"

namespace {

constexpr int dateWidth = 30;
constexpr int flagWidth = 6;
constexpr int nameWidth = 40;

} // namespace

void ExportMessagesTxt::begin()
{
    openStream();
    stream.setFieldAlignment(QTextStream::AlignLeft);
    writeColumns(QStringLiteral("Date"), QStringLiteral("Flag"), QStringLiteral("Name"), QStringLiteral("Message"));
}

void ExportMessagesTxt::writeMessage(const _MsgMessage& m)
{
    QString text = m.displayText();
    text.remove(QLatin1Char('\r'));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    // Group events have no direction.
    const QString flag = m.item_type != 0    ? QString()
                         : m.is_from_me != 0 ? QStringLiteral("To")
                                             : QStringLiteral("From");
    const QString name = m.chat ? chatNameWithSender(m, false) : QStringLiteral("Unknown");
    writeColumns(localShortDate(m), flag, name, text);
}

void ExportMessagesTxt::writeColumns(const QString& date, const QString& flag, const QString& name, const QString& text)
{
    stream.setFieldWidth(dateWidth);
    stream << date;
    stream.setFieldWidth(flagWidth);
    stream << flag;
    stream.setFieldWidth(nameWidth);
    stream << name;
    // A field width left set would pad the text and the line end too.
    stream.setFieldWidth(0);
    stream << text << '\n';
}
