#pragma once

#include <QPointF>

class QPainter;
class QTextLayout;
class QTextLine;

// Lines whose shaped glyphs do not map back to their characters one by one (conjuncts and
// reordered vowel signs of Indic scripts) lose their text in a PDF: a reader such as
// pdftotext finds gaps and letters out of order. Such a line is drawn as glyph outlines in
// the pen's colour, with its characters in logical order as invisible text over it, so it
// looks as shaped and reads back whole.

// True for a left-to-right line holding a combining mark (a virama, a vowel sign).
bool needsOutlinedDrawing(const QTextLayout& layout, const QTextLine& line);
// Draws the line of the layout with the layout's origin at origin.
void drawOutlinedTextLine(QPainter& painter, const QTextLayout& layout, const QTextLine& line, QPointF origin);
