#pragma once

#include <QItemSelection>
#include <QListView>

// A list view that hands its selection changes and context-menu requests to the window
// as signals, each before the base view handles the event.
class MyListView : public QListView
{
    Q_OBJECT

public:
    explicit MyListView(QWidget* parent);

signals:
    void onSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void createContextMenu();

protected:
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
};
