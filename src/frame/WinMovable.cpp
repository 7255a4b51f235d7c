#include "frame/WinMovable.h"

#include <QMouseEvent>
#include <QWidget>

WinMovable::WinMovable(QWidget* window)
    : window(window)
{
    window->installEventFilter(this);
}

bool WinMovable::eventFilter(QObject* object, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        pressPosition = mouse->position().toPoint();
        dragging = mouse->button() == Qt::LeftButton;
        break;
    }
    case QEvent::MouseMove:
        if (!pressPosition.isNull() && dragging) {
            const QPoint position = static_cast<QMouseEvent*>(event)->position().toPoint();
            window->move(window->geometry().topLeft() + position - pressPosition);
        }
        break;
    case QEvent::MouseButtonRelease:
        dragging = false;
        break;
    default:
        break;
    }
    return QObject::eventFilter(object, event);
}
