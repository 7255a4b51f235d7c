#include "ui/AboutUsForm.h"

#include "MainWindowFixture.h"
#include "frame/StyleSheet.h"
#include "support/ModalSteps.h"

#include <QDate>
#include <QGraphicsPixmapItem>
#include <QGraphicsView>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

QString labelText(QWidget& form, const char* name)
{
    return child<QLabel>(form, name)->text();
}

} // namespace

class TestAboutUsForm : public QObject
{
    Q_OBJECT

private slots:
    void showsProductYearLogoAndHomePage()
    {
        AboutUsForm form(nullptr);
        QCOMPARE(labelText(form, "lbProduct"), QStringLiteral("Veltrominex Message Transfer v2.14.12"));
        QVERIFY2(labelText(form, "lbCopyRight").contains(QString::number(QDate::currentDate().year())),
                 qPrintable(labelText(form, "lbCopyRight")));

        const QList<QGraphicsItem*> logo = child<QGraphicsView>(form, "picApp")->scene()->items();
        QCOMPARE(logo.size(), 1);
        const QPixmap pixmap = qgraphicsitem_cast<QGraphicsPixmapItem*>(logo.first())->pixmap();
        QCOMPARE(pixmap.size(), QSize(64, 64));

        // The tests aim the maker's server at this address.
        QCOMPARE(qEnvironmentVariable("VELTROMINEX_SERVER"), QStringLiteral("http://127.0.0.1:9"));
        auto* homePage = child<QLabel>(form, "lbHomePage");
        QVERIFY(homePage->openExternalLinks());
        QCOMPARE(homePage->text(), QStringLiteral("<a href=\"http://127.0.0.1:9/\">http://127.0.0.1:9/</a>"));
    }

    void isFramelessAndStyled()
    {
        AboutUsForm form(nullptr);
        QCOMPARE(form.objectName(), QStringLiteral("AboutUsForm"));
        QCOMPARE(form.windowFlags(), Qt::Dialog | Qt::FramelessWindowHint);
        QCOMPARE(form.styleSheet(), appStyleSheet());
        QCOMPARE(form.size(), QSize(400, 194));
    }

    void escapeCloses()
    {
        AboutUsForm form(nullptr);
        duringModalRun(form, [&] { QTest::keyClick(&form, Qt::Key_Escape); });
        QCOMPARE(form.exec(), int(QDialog::Rejected));
    }

    // The Help menu's slot runs the box modally over the window; OK ends it on press.
    void miAboutRunsTheBoxOverTheWindow()
    {
        MainWindowFixture fixture;
        MainWindow window(nullptr);
        QWidget* shownParent = nullptr;
        QString shownTitle;
        bool endedByOkPress = false;
        QTimer::singleShot(0, &window, [&] {
            auto* about = qobject_cast<AboutUsForm*>(QApplication::activeModalWidget());
            if (!about)
                return; // the checks below fail
            shownParent = about->parentWidget();
            shownTitle = labelText(*about, "lbTitle");
            QTest::mousePress(child<QPushButton>(*about, "btnOK"), Qt::LeftButton);
            endedByOkPress = !about->isVisible();
            if (about->isVisible())
                about->done(leftOpenByTheSteps);
        });
        QVERIFY(QMetaObject::invokeMethod(&window, "miAbout"));
        QCOMPARE(shownParent, &window);
        QCOMPARE(shownTitle, QStringLiteral("About"));
        QVERIFY(endedByOkPress);
        QVERIFY(!window.findChild<AboutUsForm*>());
    }
};

QTEST_MAIN(TestAboutUsForm)
#include "TestAboutUsForm.moc"
