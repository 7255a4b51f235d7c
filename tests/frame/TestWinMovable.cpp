#include "frame/WinMovable.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

void sendMouse(QWidget* window, QEvent::Type type, Qt::MouseButton button, QPoint position)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, position, window->mapToGlobal(position), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &event);
}

} // namespace

class TestWinMovable : public QObject
{
    Q_OBJECT

private slots:
    void drag_data();
    void drag();
    void eventsStillReachTheWindow();
};

void TestWinMovable::drag_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<bool>("releaseBeforeMove");
    QTest::addColumn<QPoint>("moved");
    QTest::newRow("left press drags") << int(Qt::LeftButton) << QPoint(10, 10) << false << QPoint(20, 15);
    QTest::newRow("right press does not") << int(Qt::RightButton) << QPoint(10, 10) << false << QPoint(0, 0);
    QTest::newRow("press at the corner does not") << int(Qt::LeftButton) << QPoint(0, 0) << false << QPoint(0, 0);
    QTest::newRow("release ends the drag") << int(Qt::LeftButton) << QPoint(10, 10) << true << QPoint(0, 0);
}

void TestWinMovable::drag()
{
    QFETCH(int, button);
    QFETCH(QPoint, press);
    QFETCH(bool, releaseBeforeMove);
    QFETCH(QPoint, moved);

    QWidget window(nullptr, Qt::FramelessWindowHint);
    WinMovable movable(&window);
    window.setGeometry(100, 100, 200, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPoint start = window.pos();

    const auto mouseButton = Qt::MouseButton(button);
    sendMouse(&window, QEvent::MouseButtonPress, mouseButton, press);
    if (releaseBeforeMove)
        sendMouse(&window, QEvent::MouseButtonRelease, mouseButton, press);
    sendMouse(&window, QEvent::MouseMove, mouseButton, press + QPoint(20, 15));

    QCOMPARE(window.pos(), start + moved);
}

void TestWinMovable::eventsStillReachTheWindow()
{
    QPushButton window(QStringLiteral("Drag me"));
    WinMovable movable(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy pressed(&window, &QPushButton::pressed);

    sendMouse(&window, QEvent::MouseButtonPress, Qt::LeftButton, QPoint(5, 5));
    QCOMPARE(pressed.count(), 1);
}

QTEST_MAIN(TestWinMovable)
#include "TestWinMovable.moc"
