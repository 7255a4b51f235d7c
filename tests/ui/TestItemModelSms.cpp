#include "ui/ItemModelSms.h"
#include "ui/MyListView.h"
#include "ui/MyTreeView.h"

#include "MessageFixture.h"
#include "support/ShownText.h"

#include <QAbstractItemModelTester>
#include <QBrush>
#include <QContextMenuEvent>
#include <QImage>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>

namespace {

QImage resourceIcon(const char* path)
{
    return QPixmap(QString::fromLatin1(path)).scaledToWidth(18, Qt::FastTransformation).toImage();
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
    for (int column = 0; column < 4; ++column) {
        QCOMPARE(model.data(model.index(0, column), Qt::BackgroundRole).value<QBrush>().color(), background);
        QVERIFY(!model.data(model.index(0, column), Qt::ForegroundRole).isValid());
        QCOMPARE(model.data(model.index(0, column), Qt::SizeHintRole).toSize(), QSize(0, 23));
        if (column > 0)
            QVERIFY(!model.data(model.index(0, column), Qt::DecorationRole).isValid());
    }
    QVERIFY(!model.data(model.index(0, 0), Qt::EditRole).isValid());
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
