#include "ui/ItemModelSms.h"
#include "ui/MyListView.h"
#include "ui/MyTreeView.h"
#include "ui/MessageListColumns.h"

#include "MessageFixture.h"
#include "support/ShownText.h"

#include "frame/StyleSheet.h"

#include <QAbstractItemModelTester>
#include <QBrush>
#include <QContextMenuEvent>
#include <QImage>
#include <QPixmap>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>

namespace {

QImage resourceIcon(const char* path)
{
    return QPixmap(QString::fromLatin1(path)).scaledToWidth(18, Qt::FastTransformation).toImage();
}

// The widths Qt's own sizing to contents gives the Date and Contact columns of a plain
// model holding the same cells, in a view styled as the window's list.
QList<int> contentWidths(const ItemModelSms& messages)
{
    QStandardItemModel cells;
    for (int row = 0; row < messages.rowCount(); ++row) {
        QList<QStandardItem*> line;
        for (int column = 0; column < messages.columnCount(); ++column) {
            const QModelIndex index = messages.index(row, column);
            auto* cell = new QStandardItem(index.data().toString());
            if (column == 0)
                cell->setData(index.data(Qt::DecorationRole), Qt::DecorationRole);
            line << cell;
        }
        cells.appendRow(line);
    }
    QTreeView view;
    view.setObjectName(QStringLiteral("treeViewSMS"));
    view.setStyleSheet(appStyleSheet());
    view.setModel(&cells);
    view.resize(1000, 600);
    view.show();
    view.resizeColumnToContents(0);
    view.resizeColumnToContents(2);
    return {view.columnWidth(0), view.columnWidth(2)};
}
} // namespace

class TestItemModelSms : public QObject
{
    Q_OBJECT

private slots:
    void cells_data();
    void cells();
    void deletedMessageIsRedInEveryColumnOnItsDirectionBackground();
    void emptyListStillHasItsHeader();
    void datesAndContactsAreDrawnWhole();
    void indexesOutsideTheListAreInvalid();
    void flatListHasNoChildrenUnderAnyRow();
    void resetDropsSelection();
    void passesModelTester();
    void viewsSignalContextMenuOnceBeforeBase();
    void viewsSignalSelectionBeforeBase();
};

void TestItemModelSms::cells_data()
{
    QTest::addColumn<QString>("service");
    QTest::addColumn<bool>("fromMe");
    QTest::addColumn<int>("itemType");
    QTest::addColumn<bool>("withChat");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QString>("flag");
    QTest::addColumn<QString>("contact");
    QTest::addColumn<QColor>("background");

    const QColor sent(245, 255, 226);
    const QColor received(255, 255, 255);
    const QString anna = QStringLiteral("Anna (+4915112345678)");
    QTest::newRow("sent iMessage in capitals") << "IMESSAGE" << true << 0 << true << ":/res/imsg-send.png"
                                               << "To" << anna << sent;
    QTest::newRow("received iMessage") << "iMessage" << false << 0 << true << ":/res/imsg-rec.png"
                                       << "From" << anna << received;
    QTest::newRow("sent SMS") << "SMS" << true << 0 << true << ":/res/icon_sms-sent.png"
                              << "To" << anna << sent;
    QTest::newRow("empty service") << "" << false << 0 << true << ":/res/icon_sms-receive.png"
                                   << "From" << anna << received;
    QTest::newRow("group event names the chat") << "SMS" << false << 2 << true << ":/res/icon_sms-receive.png"
                                                << ""
                                                << "Anna" << received;
    QTest::newRow("group event without chat") << "SMS" << false << 2 << false << ":/res/icon_sms-receive.png"
                                              << ""
                                              << "" << received;
}

void TestItemModelSms::cells()
{
    QFETCH(QString, service);
    QFETCH(bool, fromMe);
    QFETCH(int, itemType);
    QFETCH(bool, withChat);
    QFETCH(QString, icon);
    QFETCH(QString, flag);
    QFETCH(QString, contact);
    QFETCH(QColor, background);

    MessageFixture fixture;
    _MsgMessage* m = fixture.add(QStringLiteral("Hello"), fromMe, service);
    m->item_type = itemType;
    if (!withChat)
        m->chat = nullptr;
    ItemModelSms model(nullptr);
    model.setMessages({m});

    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.columnCount(), 4);
    QCOMPARE(model.data(model.index(0, 0), Qt::DisplayRole).toString(), shortDateTimeText(m->date));
    QCOMPARE(model.data(model.index(0, 1), Qt::DisplayRole).toString(), flag);
    QCOMPARE(model.data(model.index(0, 2), Qt::DisplayRole).toString(), contact);
    QCOMPARE(shownText(model.data(model.index(0, 2), Qt::ToolTipRole).toString(), Qt::AutoText), contact);
    QCOMPARE(model.data(model.index(0, 3), Qt::DisplayRole).toString(), m->displayText());
    QCOMPARE(model.data(model.index(0, 0), Qt::DecorationRole).value<QPixmap>().toImage(),
             resourceIcon(icon.toLatin1().constData()));
    // One picture however often the row is drawn: the view caches what it draws by picture.
    QCOMPARE(model.data(model.index(0, 0), Qt::DecorationRole).value<QPixmap>().cacheKey(),
             model.data(model.index(0, 0), Qt::DecorationRole).value<QPixmap>().cacheKey());
    for (int column = 0; column < 4; ++column) {
        QCOMPARE(model.data(model.index(0, column), Qt::BackgroundRole).value<QBrush>().color(), background);
        QVERIFY(!model.data(model.index(0, column), Qt::ForegroundRole).isValid());
        QCOMPARE(model.data(model.index(0, column), Qt::SizeHintRole).toSize(), QSize(0, 23));
        if (column > 0)
            QVERIFY(!model.data(model.index(0, column), Qt::DecorationRole).isValid());
    }
    QVERIFY(!model.data(model.index(0, 0), Qt::EditRole).isValid());
}

// Every month's widest date as the locale writes it, and a long contact name.
void TestItemModelSms::datesAndContactsAreDrawnWhole()
{
    MessageFixture fixture;
    fixture.handle._ct_name = QStringLiteral("Annabelle Fitzgerald-Whitmore");
    QList<_MsgMessage*> messages;
    for (int month = 1; month <= 12; ++month) {
        _MsgMessage* m = fixture.add(QStringLiteral("Hello"));
        m->date = qint32(QDateTime(QDate(2026, month, 28), QTime(23, 59, 59)).toSecsSinceEpoch() - 978307200);
        messages << m;
    }
    ItemModelSms model(nullptr);
    model.setMessages(messages);
    // Named and styled as the window's list is.
    QTreeView view;
    view.setObjectName(QStringLiteral("treeViewSMS"));
    view.setStyleSheet(appStyleSheet());
    view.setModel(&model);
    view.resize(1000, 600);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    fitDateColumn(view);
    fitContactColumn(view, model);
    const QList<int> needed = contentWidths(model);
    QVERIFY2(view.columnWidth(0) >= needed[0], qPrintable(QString::number(view.columnWidth(0))));
    QVERIFY2(view.columnWidth(2) >= needed[1], qPrintable(QString::number(view.columnWidth(2))));
    // Not wider than the drawn width or the text needs, so the messages keep their room.
    QCOMPARE(view.columnWidth(0), std::max(160, needed[0]));
    QCOMPARE(view.columnWidth(2), std::max(120, needed[1]));
}

void TestItemModelSms::deletedMessageIsRedInEveryColumnOnItsDirectionBackground()
{
    MessageFixture fixture;
    _MsgMessage* m = fixture.add(QStringLiteral("gone"), true);
    m->deleted = true;
    ItemModelSms model(nullptr);
    model.setMessages({m});
    for (int column = 0; column < 4; ++column) {
        QCOMPARE(model.data(model.index(0, column), Qt::ForegroundRole).value<QBrush>().color(), QColor(255, 0, 0));
        QCOMPARE(model.data(model.index(0, column), Qt::BackgroundRole).value<QBrush>().color(), QColor(245, 255, 226));
    }
}

void TestItemModelSms::emptyListStillHasItsHeader()
{
    ItemModelSms model(nullptr);
    QCOMPARE(model.rowCount(), 0);
    const QStringList titles{"Date", "Flag", "Contact", "Content"};
    for (int section = 0; section < 4; ++section)
        QCOMPARE(model.headerData(section, Qt::Horizontal).toString(), titles.at(section));
    QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
    QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());
}

void TestItemModelSms::indexesOutsideTheListAreInvalid()
{
    MessageFixture fixture;
    ItemModelSms model(nullptr);
    model.setMessages(fixture.addMany(3));
    QVERIFY(!model.indexOfRow(-1).isValid());
    QVERIFY(!model.indexOfRow(3).isValid());
    QCOMPARE(model.indexOfRow(2).internalPointer(), model.messages().at(2));
    QVERIFY(!model.index(3, 0).isValid());
    QVERIFY(!model.index(0, 4).isValid());
    QVERIFY(model.index(0, 0).internalPointer());
    QVERIFY(!model.index(0, 1).internalPointer());
}

void TestItemModelSms::flatListHasNoChildrenUnderAnyRow()
{
    MessageFixture fixture;
    ItemModelSms model(nullptr);
    model.setMessages(fixture.addMany(3));
    for (int column = 0; column < 4; ++column) {
        const QModelIndex row = model.index(1, column);
        QCOMPARE(model.rowCount(row), 0);
        QVERIFY(!model.index(0, 0, row).isValid());
        QVERIFY(!model.parent(row).isValid());
    }
}

void TestItemModelSms::resetDropsSelection()
{
    MessageFixture fixture;
    ItemModelSms model(nullptr);
    model.setMessages(fixture.addMany(5));
    MyTreeView view(nullptr);
    view.setModel(&model);
    view.setCurrentIndex(model.indexOfRow(2));
    QVERIFY(view.selectionModel()->hasSelection());

    model.setMessages(fixture.addMany(2));
    QVERIFY(!view.selectionModel()->hasSelection());
    QVERIFY(!view.currentIndex().isValid());
    model.clear();
    QCOMPARE(model.rowCount(), 0);
}

void TestItemModelSms::passesModelTester()
{
    MessageFixture fixture;
    ItemModelSms model(nullptr);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setMessages(fixture.addMany(4));
    model.setMessages({});
    model.setMessages(fixture.addMany(1));
}

void TestItemModelSms::viewsSignalContextMenuOnceBeforeBase()
{
    MyTreeView tree(nullptr);
    MyListView list(nullptr);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(&tree), static_cast<QAbstractItemView*>(&list)}) {
        QSignalSpy spy(view, SIGNAL(createContextMenu()));
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(5, 5));
        event.setAccepted(true);
        QCoreApplication::sendEvent(view->viewport(), &event);
        QCOMPARE(spy.count(), 1);
        // The scroll-area base ignores the request, as a view without a menu does.
        QVERIFY(!event.isAccepted());
    }
}

void TestItemModelSms::viewsSignalSelectionBeforeBase()
{
    MessageFixture fixture;
    ItemModelSms model(nullptr);
    model.setMessages(fixture.addMany(3));
    MyTreeView view(nullptr);
    view.setModel(&model);
    bool signalled = false;
    connect(&view, &MyTreeView::onSelectionChanged, this, [&](const QItemSelection& selected) {
        signalled = true;
        QCOMPARE(selected.indexes().first().row(), 1);
    });
    view.setCurrentIndex(model.indexOfRow(1));
    QVERIFY(signalled);
}

QTEST_MAIN(TestItemModelSms)
#include "TestItemModelSms.moc"
