#include "actions/export/MessagePagePainter.h"

#include "actions/export/MessageHeadings.h"
#include "actions/export/OutlinedTextLine.h"

#include "model/MsgMessage.h"

#include <QGuiApplication>
#include <QPrinter>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <cmath>

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

// Line breaks as the layout knows them; a CR is a blank, as the painter has always drawn it.
QString pageText(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return text;
}

// Wrapped at word boundaries, and anywhere (with no hyphen) when a run such as a long link
// is wider than the line: every character stays on the page.
void layOut(QTextLayout& layout, int width)
{
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // Each paragraph in its own direction: a Hebrew or Arabic text runs from the right edge.
    // A layout aligns as told, without mirroring for the direction.
    const bool rightToLeft = layout.text().isRightToLeft();
    option.setTextDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    option.setAlignment(rightToLeft ? Qt::AlignRight : Qt::AlignLeft);
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    qreal height = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
}

int lineHeight(const QTextLine& line)
{
    return int(std::ceil(line.height()));
}

int layoutHeight(const QTextLayout& layout)
{
    int height = 0;
    for (int i = 0; i < layout.lineCount(); ++i)
        height += lineHeight(layout.lineAt(i));
    return height;
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
    const int width = content.width();
    QTextLayout date(pageText(localShortDate(m)), pageFont());
    QTextLayout heading(pageText(directionLabel(m) + chatNameWithSender(m, true, NameDirection::Own)), pageFont());
    QTextLayout body(pageText(m.displayText()), pageFont());
    for (QTextLayout* layout : {&date, &heading, &body})
        layOut(*layout, width);
    // A message that fits on a page is never split; a taller one starts on a fresh page and
    // continues on the next ones.
    const int pageSpace = content.height() - content.top();
    ensureSpace(std::min(layoutHeight(date) + layoutHeight(heading) + layoutHeight(body) + 2 * lineGap, pageSpace));

    painter.setPen(m.is_from_me != 0 ? sentColour : receivedColour);
    drawLines(date);
    y += lineGap;
    drawLines(heading);
    y += lineGap;
    painter.setPen(Qt::black);
    drawLines(body);
    y += messageGap;
}

bool MessagePagePainter::end()
{
    return painter.isActive() && painter.end();
}

int MessagePagePainter::textHeight(const QString& text, int width)
{
    // A layout per call: the GUI thread and the export worker may both measure.
    QTextLayout layout(pageText(text), pageFont());
    layOut(layout, width);
    return layoutHeight(layout);
}

void MessagePagePainter::drawLines(const QTextLayout& layout)
{
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        ensureSpace(lineHeight(line));
        const QPointF origin(content.left(), y - line.y());
        if (needsOutlinedDrawing(layout, line))
            drawOutlinedTextLine(painter, layout, line, origin);
        else
            line.draw(&painter, origin);
        y += lineHeight(line);
    }
}

void MessagePagePainter::drawPageNumber()
{
    // A page may begin inside a coloured heading.
    const QPen pen = painter.pen();
    painter.setPen(Qt::black);
    painter.drawText(QRect(content.left(), content.bottom() + pageNumberGap, content.width(), pageNumberHeight),
                     Qt::AlignRight, QString::number(page));
    painter.setPen(pen);
}
