#include "actions/export/OutlinedTextLine.h"

#include <QGlyphRun>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QStringView>
#include <QTextLayout>

#include <algorithm>

namespace {

QStringView lineText(const QTextLayout& layout, const QTextLine& line)
{
    return QStringView(layout.text()).mid(line.textStart(), line.textLength());
}

bool isCombiningMark(char32_t c)
{
    const QChar::Category category = QChar::category(c);
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining;
}

// The characters in logical order, each with the glyph its font maps it to, unshaped; a
// reader takes the text from these.
void drawInvisibleText(QPainter& painter, const QList<QGlyphRun>& runs, QStringView text, QPointF baseline)
{
    painter.save();
    painter.setPen(Qt::transparent);
    qreal x = baseline.x();
    for (const char32_t c : text.toUcs4()) {
        if (QChar::isSpace(c) && c != U' ')
            continue;
        const QString character = QString::fromUcs4(&c, 1);
        for (const QGlyphRun& run : runs) {
            const QRawFont font = run.rawFont();
            if (!font.supportsCharacter(c))
                continue;
            const QList<quint32> glyphs = font.glyphIndexesForString(character);
            QGlyphRun glyph;
            glyph.setRawFont(font);
            glyph.setGlyphIndexes(glyphs);
            glyph.setPositions({QPointF(0, 0)});
            painter.drawGlyphRun(QPointF(x, baseline.y()), glyph);
            x += font.advancesForGlyphIndexes(glyphs).value(0).x();
            break;
        }
    }
    painter.restore();
}

} // namespace

bool needsOutlinedDrawing(const QTextLayout& layout, const QTextLine& line)
{
    if (layout.textOption().textDirection() == Qt::RightToLeft)
        return false;
    const QList<uint> characters = lineText(layout, line).toUcs4();
    return std::any_of(characters.cbegin(), characters.cend(), isCombiningMark);
}

void drawOutlinedTextLine(QPainter& painter, const QTextLayout& layout, const QTextLine& line, QPointF origin)
{
    const QList<QGlyphRun> runs = line.glyphRuns();
    QPainterPath outlines;
    for (const QGlyphRun& run : runs) {
        const QRawFont font = run.rawFont();
        const QList<quint32> glyphs = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        for (int i = 0; i < glyphs.size(); ++i)
            outlines.addPath(font.pathForGlyph(glyphs[i]).translated(origin + positions[i]));
    }
    painter.fillPath(outlines, painter.pen().color());
    const QPointF baseline = origin + QPointF(line.naturalTextRect().left(), line.y() + line.ascent());
    drawInvisibleText(painter, runs, lineText(layout, line), baseline);
}
