// Exporting 10,000 messages to text, CSV, HTML and PDF through our exporters, each against
// a baseline measured in the same run: the same texts (date, chat name, display text, as
// the model gives them) written with a plain QTextStream (text, CSV, HTML) or drawn with
// one QPainter::drawText per message (PDF). So the ratio is what the exporters add: their
// layout, quoting, escaping and page breaks. Prints the ratios; exits 1 when one is above 3.
#include "actions/export/ExportMessagesCsv.h"
#include "actions/export/ExportMessagesTxt.h"
#include "actions/export/ExportSMSHtml.h"
#include "actions/export/ExportSMSPdf.h"
#include "actions/export/MessageHeadings.h"

#include "model/MsgSetPtr.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

constexpr int messageCount = 10000;
constexpr int chatCount = 20;
constexpr double allowedRatio = 3.0;

MsgSetPtr makeMessages()
{
    MsgSetPtr set;
    _MsgSet* s = set.data();
    for (int i = 1; i <= chatCount; ++i) {
        auto* handle = new _MsgHandle;
        handle->rowid = i;
        handle->id = QStringLiteral("+1415555%1").arg(i, 4, 10, QLatin1Char('0'));
        handle->_ct_name = QStringLiteral("Contact %1").arg(i);
        s->handles.insert(i, handle);
        auto* chat = new _MsgChat;
        chat->rowid = i;
        chat->chat_identifier = handle->id;
        chat->handles.insert(handle->id, handle);
        s->chats.insert(i, chat);
    }
    for (int i = 1; i <= messageCount; ++i) {
        auto* m = new _MsgMessage;
        m->rowid = i;
        m->seq = i;
        m->text = QStringLiteral("Message number %1 with some ordinary text, and a \"quote\" in it").arg(i);
        m->date = 400000000 + i;
        m->is_from_me = i & 1;
        m->chat = s->chats.value(1 + i % chatCount);
        s->messages.insert(i, m);
    }
    return set;
}

double millisecondsOf(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

void exportAll(AbsFormatExport<_MsgMessage>& exporter, const QList<const _MsgMessage*>& messages)
{
    exporter.begin();
    for (const _MsgMessage* m : messages)
        exporter.write(*m);
    exporter.end();
}

void streamAll(const QString& path, const QList<const _MsgMessage*>& messages)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Text);
    QTextStream stream(&file);
    for (const _MsgMessage* m : messages)
        stream << localShortDate(*m) << ' ' << chatNameWithSender(*m, true) << ' ' << m->displayText() << '\n';
}

void drawAll(const QString& path, const QList<const _MsgMessage*>& messages)
{
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    setMessagePageLayout(printer);
    QPainter painter(&printer);
    const int lineHeight = painter.fontMetrics().height();
    const int pageHeight = int(printer.pageRect(QPrinter::DevicePixel).height());
    int y = 0;
    for (const _MsgMessage* m : messages) {
        if (y + 4 * lineHeight > pageHeight) {
            printer.newPage();
            y = 0;
        }
        const QString text =
            localShortDate(*m) + '\n' + directionLabel(*m) + chatNameWithSender(*m, true) + '\n' + m->displayText();
        painter.drawText(QRect(0, y, 600, 3 * lineHeight), 0, text);
        y += 4 * lineHeight;
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const MsgSetPtr set = makeMessages();
    QList<const _MsgMessage*> messages;
    for (int i = 1; i <= messageCount; ++i)
        messages.append(set.data()->messages.value(i));
    QTemporaryDir dir;

    struct Case
    {
        const char* name;
        std::function<std::unique_ptr<AbsFormatExport<_MsgMessage>>(const QString&)> make;
        std::function<void(const QString&, const QList<const _MsgMessage*>&)> baseline;
    };
    const QList<Case> cases{
        {"txt", [](const QString& p) { return std::make_unique<ExportMessagesTxt>(p); }, streamAll},
        {"csv", [](const QString& p) { return std::make_unique<ExportMessagesCsv>(p); }, streamAll},
        {"html", [](const QString& p) { return std::make_unique<ExportSMSHtml>(p); }, streamAll},
        {"pdf", [](const QString& p) { return std::make_unique<ExportSMSPdf>(p); }, drawAll},
    };
    bool withinBound = true;
    for (const Case& c : cases) {
        const QString base = dir.filePath(QStringLiteral("baseline.") + QLatin1String(c.name));
        const QString ours = dir.filePath(QStringLiteral("ours.") + QLatin1String(c.name));
        const double plain = millisecondsOf([&] { c.baseline(base, messages); });
        double exported = 0;
        try {
            exported = millisecondsOf([&] {
                auto exporter = c.make(ours);
                exportAll(*exporter, messages);
            });
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s export failed: %s\n", c.name, e.what());
            return 2;
        }
        const double ratio = exported / plain;
        withinBound = withinBound && ratio <= allowedRatio;
        std::printf("{\"format\": \"%s\", \"messages\": %d, \"export_ms\": %.1f, \"baseline_ms\": %.1f, "
                    "\"ratio\": %.2f}\n",
                    c.name, messageCount, exported, plain, ratio);
    }
    return withinBound ? 0 : 1;
}
