// Every form of ours in English shows its texts whole: no label cuts its text or runs off
// the form, and the widgets below a label that grew for its text moved down with it.

#include "android/AndroidWIFIForm.h"
#include "itunes/LoadItunesBackupDlg.h"
#include "itunes/PasscodeDlg.h"
#include "ui/AboutUsForm.h"
#include "ui/CountrySelForm.h"
#include "ui/DataSourceSelForm.h"
#include "ui/LocalDbSelForm.h"

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <functional>
#include <memory>

using FormMaker = std::function<std::unique_ptr<QDialog>()>;
Q_DECLARE_METATYPE(FormMaker)

namespace {

// Where the text of a label on the form would be cut, empty when it is whole.
QString cutText(const QDialog& form)
{
    for (const QLabel* label : form.findChildren<QLabel*>()) {
        if (label->text().isEmpty() || !label->isVisibleTo(&form))
            continue;
        const bool fits = label->wordWrap() ? label->height() >= label->heightForWidth(label->width())
                                            : label->width() >= label->sizeHint().width();
        const QRect onForm(label->mapTo(&form, QPoint(0, 0)), label->size());
        if (!fits || !form.rect().contains(onForm))
            return label->objectName() + QStringLiteral(": ") + label->text();
    }
    return QString();
}

// A widget on the form that a label overlaps, empty when none is.
QString overlapped(const QDialog& form)
{
    const QList<QWidget*> widgets = form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (const QLabel* label : form.findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        for (const QWidget* other : widgets) {
            if (other != label && !other->isWindow() && other->isVisibleTo(&form)
                && label->geometry().intersects(other->geometry()))
                return label->objectName() + QStringLiteral(" over ") + other->objectName();
        }
    }
    return QString();
}

} // namespace

class TestFormTexts : public QObject
{
    Q_OBJECT

    QTranslator english;

private slots:
    void initTestCase()
    {
        QVERIFY(english.load(QStringLiteral(":/en.qm")));
        QApplication::installTranslator(&english);
    }

    void textsAreWhole_data()
    {
        QTest::addColumn<FormMaker>("make");
        QTest::addColumn<QSize>("drawnSize");
        QTest::newRow("local database chooser")
            << FormMaker([] { return std::make_unique<LocalDbSelForm>(QStringList{"Sample"}, QString(), nullptr); })
            << QSize(423, 156);
        QTest::newRow("Wi-Fi connection") << FormMaker([] { return std::make_unique<AndroidWIFIForm>(nullptr); })
                                          << QSize(404, 226);
        QTest::newRow("device chooser") << FormMaker([] {
            auto form = std::make_unique<DataSourceSelForm>(nullptr);
            // The prompt is set as the chooser opens; closing at once leaves it shown.
            QTimer::singleShot(0, form.get(), &QDialog::reject);
            form->select(QCoreApplication::translate("QObject", "IDS_SEL_ONE_ANDROID_DEVICE"), {}, QString());
            return form;
        }) << QSize(421, 152);
        QTest::newRow("country chooser") << FormMaker([] { return std::make_unique<CountrySelForm>(nullptr); })
                                         << QSize();
        QTest::newRow("about box") << FormMaker([] { return std::make_unique<AboutUsForm>(nullptr); }) << QSize();
        QTest::newRow("backup password") << FormMaker([] { return std::make_unique<PasscodeDlg>(nullptr); })
                                         << QSize();
        QTest::newRow("backup list") << FormMaker([] { return std::make_unique<LoadItunesBackupDlg>(nullptr); })
                                     << QSize();
    }
    void textsAreWhole()
    {
        QFETCH(FormMaker, make);
        QFETCH(QSize, drawnSize);
        const std::unique_ptr<QDialog> form = make();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QCOMPARE(cutText(*form), QString());
        QCOMPARE(overlapped(*form), QString());
        // The drawn size is the least the form takes; a longer text makes it taller.
        if (drawnSize.isValid())
            QVERIFY2(form->width() == drawnSize.width() && form->height() >= drawnSize.height(),
                     qPrintable(QStringLiteral("%1x%2").arg(form->width()).arg(form->height())));
    }
};

QTEST_MAIN(TestFormTexts)
#include "TestFormTexts.moc"
