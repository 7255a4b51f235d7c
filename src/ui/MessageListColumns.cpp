#include "ui/MessageListColumns.h"

#include "ui/ItemModelSms.h"

#include <QStyle>
#include <QTreeView>

#include <algorithm>

namespace {

constexpr int dateColumn = 0;
constexpr int contactColumn = 2;
constexpr int drawnDateWidth = 160;
constexpr int drawnContactWidth = 120;
constexpr int iconWidth = 18;

// The room a cell's text takes with the margins the style draws around it.
int cellWidth(const QTreeView& list, const QStringList& texts)
{
    const int margin = list.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &list) + 1;
    int widest = 0;
    for (const QString& text : texts)
        widest = std::max(widest, list.fontMetrics().horizontalAdvance(text));
    return widest + 2 * margin;
}

} // namespace

void fitDateColumn(QTreeView& list)
{
    const int icon = iconWidth + 2 * (list.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &list) + 1);
    const int indent = list.rootIsDecorated() ? list.indentation() : 0;
    list.setColumnWidth(dateColumn, std::max(drawnDateWidth, indent + icon + cellWidth(list, widestDateTexts())));
}

void fitContactColumn(QTreeView& list, const ItemModelSms& model)
{
    const int room = std::max(drawnContactWidth, list.viewport()->width() / 3);
    list.setColumnWidth(contactColumn,
                        std::clamp(cellWidth(list, model.contactTexts()), drawnContactWidth, room));
}
