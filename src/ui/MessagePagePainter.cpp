#include "ui/MessagePagePainter.h"

#include "ui/MessageHeadings.h"

#include "model/MsgMessage.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPrinter>
#include <QTextOption>

namespace {

constexpr int fontPointSize = 12;
constexpr int pageNumberGap = 2;
constexpr int pageNumberHeight = 18;
constexpr int lineGap = 5;
constexpr int messageGap = 30;

const QColor sentColour(0, 128, 64);
const QColor receivedColour(0, 0, 255);

QFont pageFont()
{
    QFont font = QGuiApplication::font();
    font.setPointSize(fontPointSize);
    return font;
}

} // namespace

bool MessagePagePainter::begin(QPrinter* printer)
{
    this->printer = printer;
    const QMarginsF margins = printer->pageLayout().margins(QPageLayout::Point);
    const QRectF pageRect = printer->pageRect(QPrinter::DevicePixel);
    // The margins in points serve as device pixels here: at screen resolution the two are
    // close, and the page looks as it always has.
    content = QRect(int(margins.left()), int(margins.top()), int(pageRect.width() - margins.left() - margins.right()),
                    int(pageRect.height() - margins.top() - margins.bottom()));
    y = content.top();
    page = 1;
    if (!painter.begin(printer))
        return false;
    painter.setFont(pageFont());
    drawPageNumber();
    return true;
}

void MessagePagePainter::ensureSpace(int height)
{
    // Measured against the content height, not its bottom: each page keeps a band as high
    // as the top margin free at its foot.
    if (content.height() - y >= height)
        return;
    printer->newPage();
    ++page;
    y = content.top();
    drawPageNumber();
}

void MessagePagePainter::drawMessage(const _MsgMessage& m)
{
    if (!painter.isActive())
        return;
    const QString date = localShortDate(m);
    const QString heading = directionLabel(m) + chatNameWithSender(m, true);
    const QString body = m.displayText();
    const int width = content.width();
    const int dateHeight = textHeight(date, width);
    const int headingHeight = textHeight(heading, width);
    const int bodyHeight = textHeight(body, width);
    ensureSpace(dateHeight + headingHeight + bodyHeight + 2 * lineGap);

    painter.setPen(m.is_from_me != 0 ? sentColour : receivedColour);
    painter.drawText(QRectF(content.left(), y, width, dateHeight), date, QTextOption());
    y += dateHeight + lineGap;
    painter.drawText(QRectF(content.left(), y, width, headingHeight), heading, QTextOption());
    y += headingHeight + lineGap;
    painter.setPen(Qt::black);
    painter.drawText(QRectF(content.left(), y, width, bodyHeight), body, QTextOption());
    y += bodyHeight + messageGap;
}

void MessagePagePainter::end()
{
    if (painter.isActive())
        painter.end();
}

int MessagePagePainter::textHeight(const QString& text, int width)
{
    // A font per call: the GUI thread and the export worker may both measure.
    const QFontMetrics metrics(pageFont());
    return metrics.boundingRect(QRect(0, 0, width, 0), Qt::TextWordWrap, text).height();
}

void MessagePagePainter::drawPageNumber()
{
    painter.drawText(QRect(content.left(), content.bottom() + pageNumberGap, content.width(), pageNumberHeight),
                     Qt::AlignRight, QString::number(page));
}
