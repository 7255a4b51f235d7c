// Text from outside (a message, a name, a phone's or a tool's words, an exception's text)
// reaches every widget as text: markup in it shows as written, and nothing it names is
// loaded. The text below would load an image if it were read as rich text; the image is
// a small file of the test's own.

#include "MessageFixture.h"
#include "support/FakeWorker.h"
#include "support/MessageBoxAnswerer.h"
#include "support/ShownText.h"

#include "frame/ErrorMarkup.h"
#include "frame/MessageBox.h"
#include "frame/ProgressForm.h"
#include "frame/ReportedRun.h"
#include "ios/IOSDevice.h"
#include "itunes/BackupManifest.h"
#include "itunes/ItemModelLoadBk.h"
#include "ui/ItemModelMain.h"
#include "ui/ItemModelSms.h"

#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <stdexcept>

namespace {

// Escaped, an ampersand alone looks like plain text to a widget that guesses the format,
// which would then show its escape.
const QString ampersandOnly = QStringLiteral("Tom & Jerry");

// Given the outside text, puts it where the sink takes it and returns what is shown.
using Sink = std::function<QString(const QString&)>;

QString toolTipShown(const QAbstractItemModel& model, const QModelIndex& index)
{
    return shownText(model.data(index, Qt::ToolTipRole).toString(), Qt::AutoText);
}

QString labelShown(ProgressForm& form, const char* name)
{
    const auto* label = form.findChild<QLabel*>(QLatin1String(name));
    return shownText(label->text(), label->textFormat());
}

// What the one message box that action opens shows.
QString boxShown(const std::function<void()>& action)
{
    MessageBoxAnswerer answerer;
    QStringList shown;
    answerer.inspect = [&shown](QMessageBox* box) { shown << shownText(box->text(), box->textFormat()); };
    action();
    return shown.size() == 1 ? shown.first() : QStringLiteral("%1 boxes").arg(shown.size());
}

// The error box of a worker whose run fails as fail does.
QString workerErrorShown(const std::function<void()>& fail)
{
    return boxShown([&fail] {
        ProgressForm form(QStringLiteral("Working"), nullptr);
        FakeWorker worker([&] { runReported(form, fail); });
        worker.start();
        form.exec();
        worker.wait();
    });
}

} // namespace

Q_DECLARE_METATYPE(Sink)

class TestOutsideTextInWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void shownAsWritten_data();
    void shownAsWritten();
    void ourOwnMarkupStaysMarkup();

private:
    QTemporaryDir folder;
    QString outside;
};

void TestOutsideTextInWidgets::initTestCase()
{
    const QString picture = folder.filePath(QStringLiteral("red.png"));
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    QVERIFY(image.save(picture));
    // An ampersand and a reference too: escaped twice, the reference would show its
    // escape; not escaped, it would show "<".
    outside = QStringLiteral("<img src=\"%1\"> Tom & Jerry <b>bold</b> &lt;3").arg(picture);
    QVERIFY(shownText(outside, Qt::AutoText) != outside);
}

void TestOutsideTextInWidgets::shownAsWritten_data()
{
    QTest::addColumn<Sink>("sink");
    QTest::newRow("message text, list tool tip") << Sink([](const QString& text) {
        MessageFixture messages;
        ItemModelSms model(nullptr);
        model.setMessages({messages.add(text)});
        return toolTipShown(model, model.index(0, 3));
    });
    QTest::newRow("group member's name, list tool tip") << Sink([](const QString& text) {
        MessageFixture messages;
        _MsgHandle other;
        other.id = QStringLiteral("+4915100000000");
        messages.chat.handles.insert(other.id, &other);
        messages.handle._ct_name = text;
        ItemModelSms model(nullptr);
        model.setMessages({messages.add(QStringLiteral("Hi"))});
        return toolTipShown(model, model.index(0, 2));
    });
    QTest::newRow("local database name, tree tool tip") << Sink([](const QString& text) {
        ItemModelMain model(nullptr);
        model.addLocalDb({}, text);
        return toolTipShown(model, model.index(0, 0, model.index(1, 0)));
    });
    QTest::newRow("iPhone name, tree tool tip") << Sink([](const QString& text) {
        ItemModelMain model(nullptr);
        IOSDevice phone;
        phone.deviceName = text;
        model.addIOSDevice({}, phone);
        return toolTipShown(model, model.index(0, 0, model.index(0, 0)));
    });
    QTest::newRow("backup's device name, backup list tool tip") << Sink([](const QString& text) {
        ItemModelLoadBk model;
        QSharedPointer<BackupManifest> manifest(new BackupManifest(QStringLiteral("/backups/x"), nullptr));
        manifest->displayName = text;
        model.insertBackup(manifest);
        return toolTipShown(model, model.index(0, 0));
    });
    QTest::newRow("worker's status line") << Sink([](const QString& text) {
        ProgressForm form(QStringLiteral("Working"), nullptr);
        form.postProgress(text, 10, QString());
        return labelShown(form, "lbStatus");
    });
    QTest::newRow("worker's progress text") << Sink([](const QString& text) {
        ProgressForm form(QStringLiteral("Working"), nullptr);
        form.postProgress(QString(), 10, text);
        return labelShown(form, "lbProgress");
    });
    QTest::newRow("worker's exception, error box") << Sink([](const QString& text) {
        return workerErrorShown([&text] { throw std::runtime_error(text.toStdString()); });
    });
    QTest::newRow("window's caught exception, error box") << Sink([](const QString& text) {
        return boxShown([&text] { showError(errorMarkup(std::runtime_error(text.toStdString()))); });
    });
    QTest::newRow("escaped name in our own text, information box") << Sink([](const QString& text) {
        return boxShown([&text] { showInfo(QStringLiteral("Deleted %1.").arg(text.toHtmlEscaped())); });
    });
}

void TestOutsideTextInWidgets::shownAsWritten()
{
    QFETCH(Sink, sink);
    for (const QString& text : {outside, ampersandOnly}) {
        const QString shown = sink(text);
        QVERIFY2(shown.contains(text), qPrintable(shown));
    }
}

void TestOutsideTextInWidgets::ourOwnMarkupStaysMarkup()
{
    // A phone session's advice carries line breaks and a link; the tool's words inside it
    // are escaped where they join it.
    const QString advice = QStringLiteral("Restart the phone.<br/><br/>Error: %1").arg(outside.toHtmlEscaped());
    const QString shown = workerErrorShown([&advice] { throw MarkupError(advice); });
    QVERIFY2(shown.contains(QStringLiteral("Restart the phone.\n\nError: ") + outside), qPrintable(shown));
    QVERIFY2(!shown.contains(QStringLiteral("<br/>")), qPrintable(shown));
}

QTEST_MAIN(TestOutsideTextInWidgets)
#include "TestOutsideTextInWidgets.moc"
