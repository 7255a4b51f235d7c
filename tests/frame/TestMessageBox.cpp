#include "frame/ErrorReport.h"
#include "frame/MessageBox.h"
#include "frame/StyleSheet.h"

#include "support/HttpRecorder.h"
#include "support/MessageBoxAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTemporaryFile>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

using ButtonList = QList<QMessageBox::StandardButton>;

namespace {

// The box's buttons in the order of the enumeration. Where they appear is the
// platform's choice (its dialog button layout), not ours.
ButtonList buttonsOffered(QMessageBox* box)
{
    ButtonList offered;
    for (QAbstractButton* button : box->buttons())
        offered << box->standardButton(button);
    std::sort(offered.begin(), offered.end());
    return offered;
}

// Collects what the process writes to stderr while it lives.
class StderrCapture
{
public:
    StderrCapture()
    {
        file.open();
        std::fflush(stderr);
        saved = dup(STDERR_FILENO);
        dup2(file.handle(), STDERR_FILENO);
    }
    ~StderrCapture() { restore(); }

    QByteArray text()
    {
        restore();
        file.seek(0);
        return file.readAll();
    }

private:
    void restore()
    {
        if (saved < 0)
            return;
        std::fflush(stderr);
        dup2(saved, STDERR_FILENO);
        close(saved);
        saved = -1;
    }

    QTemporaryFile file;
    int saved = -1;
};

} // namespace

class TestMessageBox : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void buttonsOfTheMask_data();
    void buttonsOfTheMask();
    void askYesNo_data();
    void askYesNo();
    void boxIsFramelessAndStyled();
    void errorBoxReportsTheBareText_data();
    void errorBoxReportsTheBareText();
    void headlessBoxesAnswerOnStderr();
};

void TestMessageBox::cleanup()
{
    setHeadlessMessageBoxes(false);
}

void TestMessageBox::buttonsOfTheMask_data()
{
    QTest::addColumn<int>("mask");
    QTest::addColumn<ButtonList>("offered");
    QTest::addColumn<int>("answer");
    QTest::newRow("Ok and Cancel") << int(QMessageBox::Cancel | QMessageBox::Ok)
                                   << ButtonList{QMessageBox::Ok, QMessageBox::Cancel} << int(QMessageBox::Cancel);
    QTest::newRow("all four") << int(QMessageBox::Cancel | QMessageBox::Ok | QMessageBox::No | QMessageBox::Yes)
                              << ButtonList{QMessageBox::Ok, QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}
                              << int(QMessageBox::No);
    QTest::newRow("other buttons ignored") << int(QMessageBox::Ok | QMessageBox::Close | QMessageBox::Save)
                                           << ButtonList{QMessageBox::Ok} << int(QMessageBox::Ok);
}

void TestMessageBox::buttonsOfTheMask()
{
    QFETCH(int, mask);
    QFETCH(ButtonList, offered);
    QFETCH(int, answer);

    MessageBoxAnswerer answerer{QMessageBox::StandardButton(answer)};
    ButtonList seen;
    answerer.inspect = [&](QMessageBox* box) { seen = buttonsOffered(box); };
    QCOMPARE(showMessageBox(QMessageBox::Information, "Choose", mask), answer);
    QCOMPARE(seen, offered);
}

void TestMessageBox::askYesNo_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("result");
    QTest::newRow("Yes") << int(QMessageBox::Yes) << true;
    QTest::newRow("No") << int(QMessageBox::No) << false;
    QTest::newRow("Escape") << int(QMessageBox::NoButton) << false;
}

void TestMessageBox::askYesNo()
{
    QFETCH(int, answer);
    QFETCH(bool, result);

    MessageBoxAnswerer answerer{QMessageBox::StandardButton(answer)};
    QCOMPARE(::askYesNo("Continue?"), result);
    QCOMPARE(answerer.texts, QStringList{"Continue?"});
    QCOMPARE(answerer.icons, QList<QMessageBox::Icon>{QMessageBox::Question});
}

void TestMessageBox::boxIsFramelessAndStyled()
{
    MessageBoxAnswerer answerer;
    Qt::WindowFlags flags;
    QString styleSheet;
    QString title;
    answerer.inspect = [&](QMessageBox* box) {
        flags = box->windowFlags();
        styleSheet = box->styleSheet();
        title = box->windowTitle();
    };
    showWarning("Careful<br/>now");

    QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
    QVERIFY(flags.testFlag(Qt::Dialog));
    QVERIFY(!styleSheet.isEmpty());
    QCOMPARE(styleSheet, appStyleSheet());
    QCOMPARE(title, "Veltrominex Message Transfer");
    QCOMPARE(answerer.icons, QList<QMessageBox::Icon>{QMessageBox::Warning});
}

void TestMessageBox::errorBoxReportsTheBareText_data()
{
    QTest::addColumn<bool>("wrapped");
    QTest::addColumn<QString>("shown");
    QTest::newRow("showError") << true
                               << "An Error Occurred. <br/><br/>Disk <b>full</b> 100%<br/><br/> Or you can contact "
                                  "support@veltrominex.example for help.";
    QTest::newRow("showErrorText") << false << "Disk <b>full</b> 100%";
}

void TestMessageBox::errorBoxReportsTheBareText()
{
    QFETCH(bool, wrapped);
    QFETCH(QString, shown);
    HttpRecorder server;
    QVERIFY(server.listening);
    qputenv("VELTROMINEX_SERVER", server.baseUrl());
    MessageBoxAnswerer answerer;

    const QString text = QStringLiteral("Disk <b>full</b> 100%");
    wrapped ? showError(text) : showErrorText(text);

    QCOMPARE(answerer.texts, QStringList{shown});
    QCOMPARE(answerer.icons, QList<QMessageBox::Icon>{QMessageBox::Critical});
    QVERIFY(server.waitForRequests(1));
    QCOMPARE(server.requests.first().body, errorReportBody(text));
}

void TestMessageBox::headlessBoxesAnswerOnStderr()
{
    HttpRecorder server;
    QVERIFY(server.listening);
    qputenv("VELTROMINEX_SERVER", server.baseUrl());
    MessageBoxAnswerer answerer;
    setHeadlessMessageBoxes(true);

    StderrCapture capture;
    QVERIFY(::askYesNo("Overwrite?"));
    QCOMPARE(showMessageBox(QMessageBox::Warning, "Go on?", QMessageBox::Cancel | QMessageBox::Ok),
             int(QMessageBox::Ok));
    showError("Disk full");
    const QByteArray written = capture.text();

    // A report sent now is the first the server gets: the error box sent none.
    sendErrorReport("marker");
    QVERIFY(server.waitForRequests(1));
    QCOMPARE(server.requests.first().body, errorReportBody("marker"));
    QVERIFY(answerer.texts.isEmpty());
    QVERIFY(written.contains("question: Overwrite?\n"));
    QVERIFY(written.contains("warning: Go on?\n"));
    QVERIFY(written.contains("error: An Error Occurred. <br/><br/>Disk full<br/><br/>"));
}

QTEST_MAIN(TestMessageBox)
#include "TestMessageBox.moc"
