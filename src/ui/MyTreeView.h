#pragma once

#include <QItemSelection>
#include <QTreeView>

// A tree view that hands its selection changes and context-menu requests to the window
// as signals, each before the base view handles the event.
class MyTreeView : public QTreeView
{
    Q_OBJECT

public:
    explicit MyTreeView(QWidget* parent);

signals:
    void onSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void createContextMenu();

protected:
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
};
