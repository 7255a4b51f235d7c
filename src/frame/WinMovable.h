#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

// Lets the user drag a frameless window with the left mouse button. Watches the window
// as an event filter and never consumes an event. Has no Qt parent: keep it as a member
// of the window it moves, or as a local that outlives the window's modal run.
class WinMovable : public QObject
{
    Q_OBJECT

public:
    explicit WinMovable(QWidget* window);

    bool eventFilter(QObject* object, QEvent* event) override;

private:
    QWidget* window;
    // In the window's coordinates; (0, 0) stands for "no press", so a press exactly on
    // the window's corner starts no drag.
    QPoint pressPosition;
    bool dragging = false;
};
