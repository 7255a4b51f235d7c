#include "actions/export/ExportMessagesTxt.h"

#include "actions/export/ExportFixture.h"
#include "actions/export/MessageHeadings.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestExportMessagesTxt : public QObject
{
    Q_OBJECT

private slots:
    void linesFollowTheFixedWidthLayout();
};

void TestExportMessagesTxt::linesFollowTheFixedWidthLayout()
{
    ExportFixture f;
    QTemporaryDir dir;
    const QString path = dir.filePath("out.txt");
    ExportMessagesTxt txt(path);
    exportAll(txt, f.list);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(!bytes.contains('\r'));
    QVERIFY(bytes.endsWith('\n'));
    const QStringList lines = QString::fromUtf8(bytes).chopped(1).split('\n');
    QCOMPARE(lines.size(), f.list.size() + 1);
    QCOMPARE(lines[0], QStringLiteral("Date").leftJustified(30) + QStringLiteral("Flag").leftJustified(6)
                           + QStringLiteral("Name").leftJustified(40) + QStringLiteral("Message"));

    struct Expected
    {
        QString flag;
        QString name; // names without ids
        QString text;
    };
    const QString event = f.list[4]->displayText().replace('\n', ' ');
    const QList<Expected> expected{
        {"To", "Alice", "Hello, \"world\""},
        {"From", "Alice", "a b"},
        {"From", "Alice", "xy"},
        {"From", groupName + " (Bob)", "Group text"},
        {"", groupName, event},
        {"From", "Unknown", "No chat"},
        {"From", "Alice", "hi [EMOJI]"},
    };
    for (int i = 0; i < expected.size(); ++i) {
        const QString& line = lines[i + 1];
        QCOMPARE(line.left(30), localShortDate(*f.list[i]).leftJustified(30));
        QCOMPARE(line.mid(30, 6), expected[i].flag.leftJustified(6));
        QCOMPARE(line.mid(36, 40), expected[i].name.leftJustified(40));
        QCOMPARE(line.mid(76), expected[i].text);
    }
    // A name longer than its column is written whole and the text follows it at once.
    QCOMPARE(lines.last().mid(36), longName + QStringLiteral("after a long name"));
}

QTEST_GUILESS_MAIN(TestExportMessagesTxt)
#include "TestExportMessagesTxt.moc"
