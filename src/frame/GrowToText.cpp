#include "frame/GrowToText.h"

#include <QLabel>
#include <QWidget>

#include <algorithm>

namespace {

void moveDownBelow(QWidget& form, int line, int by)
{
    for (QObject* child : form.children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && !widget->isWindow() && widget->y() >= line)
            widget->move(widget->x(), widget->y() + by);
    }
}

void makeTaller(QWidget& form, int by)
{
    const int height = form.height() + by;
    form.setMinimumHeight(form.minimumHeight() + by);
    form.setMaximumHeight(std::max(form.maximumHeight(), height));
    form.resize(form.width(), height);
}

} // namespace

void growToText(QWidget& form)
{
    // A form laid out by a layout grows by itself.
    if (form.layout())
        return;
    form.ensurePolished();
    QList<QLabel*> labels = form.findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    std::sort(labels.begin(), labels.end(), [](const QLabel* a, const QLabel* b) { return a->y() < b->y(); });
    for (QLabel* label : labels) {
        // The style sheet may set the label's font, which decides its size.
        label->ensurePolished();
        if (!label->wordWrap() && label->sizeHint().width() <= label->width())
            continue; // it fits on its line
        label->setWordWrap(true);
        const int needed = label->heightForWidth(label->width());
        const int by = needed - label->height();
        if (by <= 0)
            continue;
        const int below = label->y() + label->height();
        label->resize(label->width(), needed);
        moveDownBelow(form, below, by);
        makeTaller(form, by);
    }
}
