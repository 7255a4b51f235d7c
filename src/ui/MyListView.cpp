#include "ui/MyListView.h"

MyListView::MyListView(QWidget* parent)
    : QListView(parent)
{
}

void MyListView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    emit onSelectionChanged(selected, deselected);
    QListView::selectionChanged(selected, deselected);
}

void MyListView::contextMenuEvent(QContextMenuEvent* event)
{
    // The receiver reads the current item and the cursor position itself.
    emit createContextMenu();
    QAbstractScrollArea::contextMenuEvent(event);
}
