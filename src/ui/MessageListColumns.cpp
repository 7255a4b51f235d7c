#include "ui/MessageListColumns.h"

#include "ui/ItemModelSms.h"

#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTreeView>

#include <algorithm>

namespace {

constexpr int dateColumn = 0;
constexpr int contactColumn = 2;
constexpr int drawnDateWidth = 160;
constexpr int drawnContactWidth = 120;
constexpr int iconWidth = 18;

// The width of a cell that shows the widest of the texts whole, measured as the list's
// delegate measures a cell's contents.
int cellWidth(const QTreeView& list, const QStringList& texts, bool withIcon)
{
    QStyleOptionViewItem option;
    option.initFrom(list.viewport());
    option.features = QStyleOptionViewItem::HasDisplay;
    if (withIcon) {
        option.features |= QStyleOptionViewItem::HasDecoration;
        option.decorationSize = QSize(iconWidth, iconWidth);
    }
    int widest = 0;
    for (const QString& text : texts) {
        option.text = text;
        widest = std::max(widest, list.style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), &list).width());
    }
    return widest;
}

} // namespace

void fitDateColumn(QTreeView& list)
{
    const int indent = list.rootIsDecorated() ? list.indentation() : 0;
    list.setColumnWidth(dateColumn, std::max(drawnDateWidth, indent + cellWidth(list, widestDateTexts(), true)));
}

void fitContactColumn(QTreeView& list, const ItemModelSms& model)
{
    const int room = std::max(drawnContactWidth, list.viewport()->width() / 3);
    list.setColumnWidth(contactColumn,
                        std::clamp(cellWidth(list, model.contactTexts(), false), drawnContactWidth, room));
}
