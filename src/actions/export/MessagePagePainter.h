#pragma once

#include <QPainter>
#include <QRect>
#include <QString>

class QPrinter;
class QTextLayout;
struct _MsgMessage;

// Draws messages one below the other down a printer's pages: the date, the direction with
// the chat's name and a group message's sender (green for sent, blue for received), then
// the text in black, with the page number right-aligned under the content. Lines wrap at
// word boundaries, or anywhere when a run is wider than the line; a message taller than a
// page continues on the next ones. Each text runs in the direction of its first letter,
// from the right edge when that is right to left, and each name in the heading in its own.
// One begin per printer; destroying the painter ends painting, which finishes the printed
// or PDF output.
class MessagePagePainter
{
public:
    // Sets up the content rectangle and page 1 and begins painting. False, with nothing
    // drawn then or later, when the painter cannot begin (for a PDF: the file cannot be
    // created).
    bool begin(QPrinter* printer);
    // Starts a new page when the rest of the current one is lower than height.
    void ensureSpace(int height);
    void drawMessage(const _MsgMessage& m);
    // Ends painting; false when the painter was not active or could not finish. For a PDF,
    // the file is complete only after this.
    bool end();
    bool isActive() const { return painter.isActive(); }

    // In device pixels of the painter, whose origin is the top-left of the page rectangle.
    QRect contentRect() const { return content; }
    int currentPage() const { return page; }

    // The height of the text wrapped at width, in the screen's font metrics at 12 points.
    static int textHeight(const QString& text, int width);

private:
    // Draws the laid-out lines at y and below, each on a new page when the current one has
    // no room left for it.
    void drawLines(const QTextLayout& layout);
    void drawPageNumber();

    QPrinter* printer = nullptr;
    QPainter painter;
    QRect content; // invalid until begin
    int y = 0;
    int page = 0;
};
