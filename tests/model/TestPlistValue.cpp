#include "model/PlistValue.h"
#include "model/PlistLimits.h"
#include "support/Cli.h"
#include "support/CraftedPlists.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

namespace {

const QString sampleScript = QStringLiteral(FIXTURES_DIR "/model/plist_sample.py");

CliResult sample(const QString& command, const QString& path)
{
    return runCli(QStringLiteral("python3"), {sampleScript, command, path});
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

const QDateTime appleEpoch(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());

} // namespace

class TestPlistValue : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString binaryPath;
    QString xmlPath;

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        const CliResult written = sample("write", dir.path());
        QVERIFY2(written.exitCode == 0, written.err.constData());
        binaryPath = dir.filePath("sample.bin");
        xmlPath = dir.filePath("sample.xml");
    }

    void readsWhatPlistlibWrote_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("binary") << QStringLiteral("sample.bin");
        QTest::newRow("XML") << QStringLiteral("sample.xml");
    }
    void readsWhatPlistlibWrote()
    {
        QFETCH(QString, file);
        const CliResult tool = msgtool({QStringLiteral("plist"), dir.filePath(file)});
        QCOMPARE(tool.exitCode, 0);
        const QString jsonPath = dir.filePath(file + ".json");
        QVERIFY(writeFile(jsonPath, tool.out));
        const CliResult check = sample("check-json", jsonPath);
        QVERIFY2(check.exitCode == 0, check.out.constData());

        const PlistValue root = PlistValue::fromData(readFile(dir.filePath(file)));
        QCOMPARE(root.dictItem("Name").toString(), QStringLiteral("x"));
        QCOMPARE(root.dictItem("When").toDateTime().toUTC(),
                 QDateTime(QDate(2014, 1, 2), QTime(3, 4, 5), QTimeZone::utc()));
        QCOMPARE(root.dictItem("Blob").toByteArray(), QByteArray("\x00\x01\xff", 3));
        QCOMPARE(root.dictItem("Arr").arraySize(), 7);
        QVERIFY(root.dictItem("Arr").arrayItem(1).toBool());
    }

    void writesWhatPlistlibReads_data()
    {
        QTest::addColumn<bool>("binary");
        QTest::newRow("toBinary") << true;
        QTest::newRow("toXml") << false;
    }
    void writesWhatPlistlibReads()
    {
        QFETCH(bool, binary);
        const PlistValue root = PlistValue::fromData(readFile(binaryPath));
        const QString out = dir.filePath(binary ? "out.bin" : "out.xml");
        QVERIFY(writeFile(out, binary ? root.toBinary() : root.toXml().toUtf8()));
        const CliResult check = sample("check-plist", out);
        QVERIFY2(check.exitCode == 0, check.out.constData());
    }

    void unreadableDataGivesNone_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("exactly the 8-byte binary magic") << QByteArray("bplist00");
        QTest::newRow("binary magic and garbage") << QByteArray("bplist00\x01\x02\x03garbage");
        QTest::newRow("garbage") << QByteArray("\x89PNG\r\n\x1a\n not a property list");
        QTest::newRow("XML cut off") << QByteArray("<?xml version=\"1.0\"?><plist><dict><key>a</key>");
    }
    void unreadableDataGivesNone()
    {
        QFETCH(QByteArray, bytes);
        const PlistValue value = PlistValue::fromData(bytes);
        QVERIFY(value.isNone());
        QVERIFY(!value.isDict() && !value.isString());
        QCOMPARE(value.toXml(), QStringLiteral(""));
        QVERIFY(!value.toBinary().isNull() && value.toBinary().isEmpty());
    }

    void stringEndsAtItsFirstNul_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("XML") << QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><string>a\0b</string></plist>",
                                           70);
        // One ASCII string object of 3 bytes as the root, its offset, then the 32-byte trailer.
        const QByteArray binary = QByteArray("bplist00\x53" "a\0b" "\x08", 13)
                                  + QByteArray(6, '\0') + QByteArray("\x01\x01", 2) + QByteArray(7, '\0')
                                  + QByteArray("\x01", 1) + QByteArray(8, '\0') + QByteArray(7, '\0')
                                  + QByteArray("\x0c", 1);
        QTest::newRow("binary") << binary;
    }
    void stringEndsAtItsFirstNul()
    {
        QFETCH(QByteArray, bytes);
        const PlistValue value = PlistValue::fromData(bytes);
        QVERIFY(value.isString());
        QCOMPARE(value.toString(), QStringLiteral("a"));
    }

    void nestingIsBoundedBeforeParsing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("parsed");
        QTest::newRow("binary as deep as allowed") << nestedBinary(maxPlistNesting) << true;
        QTest::newRow("binary one level deeper") << nestedBinary(maxPlistNesting + 1) << false;
        QTest::newRow("binary of 200,000 levels") << nestedBinary(200000) << false;
        QTest::newRow("binary sharing one array twice") << nestedBinary(3, 2) << true;
        QTest::newRow("binary doubling its tree 60 times") << nestedBinary(60, 2) << false;
        QTest::newRow("binary referring to itself") << nestedBinary(3, 1, true) << false;
        QTest::newRow("XML as deep as allowed") << nestedXml(maxPlistNesting) << true;
        QTest::newRow("XML one level deeper") << nestedXml(maxPlistNesting + 1) << false;
        QTest::newRow("XML of 200,000 levels") << nestedXml(200000) << false;
        QTest::newRow("XML tags inside a comment and CDATA do not count")
            << "<plist version=\"1.0\"><!-- " + QByteArray("<array>").repeated(300) + " --><string><![CDATA["
                   + QByteArray("<array>").repeated(300) + "]]></string></plist>"
            << true;
    }
    void nestingIsBoundedBeforeParsing()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, parsed);
        QCOMPARE(exceedsPlistLimits(bytes), !parsed);
        const PlistValue value = PlistValue::fromData(bytes);
        QCOMPARE(value.isNone(), !parsed);
    }

    void keysHoldingNulAreRefused_data()
    {
        QTest::addColumn<QByteArray>("keyObject");
        QTest::addColumn<QString>("key"); // empty when the list is refused
        QTest::newRow("UTF-16 key") << QByteArray("\x62\x00\x61\x00\xe9", 5) << QStringLiteral("aé");
        QTest::newRow("UTF-16 key with a NUL") << QByteArray("\x62\x00\x61\x00\x00", 5) << QString();
        QTest::newRow("ASCII key with a NUL") << QByteArray("\x52\x61\x00", 3) << QString();
    }
    void keysHoldingNulAreRefused()
    {
        QFETCH(QByteArray, keyObject);
        QFETCH(QString, key);
        const PlistValue value = PlistValue::fromData(binaryDictionary(keyObject));
        QCOMPARE(value.isNone(), key.isEmpty());
        if (!key.isEmpty())
            QCOMPARE(value.toMap().keys(), QStringList{key});
    }

    void truncatedBinaryIsRefused()
    {
        const QByteArray whole = readFile(binaryPath);
        for (qsizetype size = 9; size < whole.size(); size += 7)
            QVERIFY2(PlistValue::fromData(whole.left(size)).isNone(), qPrintable(QString::number(size)));
    }

    void msgtoolRefusesWhatIsNoPropertyList()
    {
        const QString path = dir.filePath("garbage.plist");
        QVERIFY(writeFile(path, readFile(binaryPath).left(40)));
        const CliResult tool = msgtool({QStringLiteral("plist"), path});
        QCOMPARE(tool.exitCode, 1);
        QVERIFY(tool.err.startsWith("msgtool: "));
        QVERIFY(tool.err.contains("not a property list"));
    }

    void typedConversions()
    {
        QVERIFY(PlistValue::newBool(true).toBool());
        QCOMPARE(PlistValue::newUInt(Q_UINT64_C(18446744073709551615)).toUInt(),
                 Q_UINT64_C(18446744073709551615));
        QCOMPARE(PlistValue::newReal(-2.25).toReal(), -2.25);
        QCOMPARE(PlistValue::newString(QStringLiteral("é✓")).toString(), QStringLiteral("é✓"));
        const PlistValue key = PlistValue::newKey(QStringLiteral("ключ"));
        QVERIFY(key.isKey() && !key.isString());
        QCOMPARE(key.toKey(), QStringLiteral("ключ"));
        QCOMPARE(PlistValue::newData(QByteArray("\0a\0", 3)).toByteArray(), QByteArray("\0a\0", 3));
        QVERIFY(!PlistValue::newData(QByteArray()).toByteArray().isNull());

        // Every conversion of the wrong type gives its empty result.
        const PlistValue text = PlistValue::newString(QStringLiteral("1"));
        QVERIFY(!text.toBool());
        QCOMPARE(text.toUInt(), 0u);
        QCOMPARE(text.toReal(), 0.0);
        QVERIFY(text.toByteArray().isNull());
        QVERIFY(text.toDateTime().isNull());
        QVERIFY(!text.toKey().isNull() && text.toKey().isEmpty());
        QVERIFY(!PlistValue::newBool(true).toString().isNull());
        QCOMPARE(text.arraySize(), 0);
        QCOMPARE(text.dictSize(), 0);
        QVERIFY(text.toMap().isEmpty());
        QVERIFY(PlistValue().isNone());
        QVERIFY(PlistValue().clone().isNone());
    }

    void dates_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::newRow("the epoch itself") << appleEpoch;
        QTest::newRow("before 1970") << QDateTime(QDate(1950, 6, 1), QTime(12, 30), QTimeZone::utc());
        QTest::newRow("after 2038") << QDateTime(QDate(2050, 1, 1), QTime(0, 0), QTimeZone::utc());
    }
    void dates()
    {
        QFETCH(QDateTime, when);
        const PlistValue date = PlistValue::newDate(when);
        QVERIFY(date.isDate());
        QCOMPARE(date.toDateTime(), when);
        const QString element = "<date>" + when.toUTC().toString("yyyy-MM-ddThh:mm:ss") + "Z</date>";
        QVERIFY2(date.toXml().contains(element), qPrintable(date.toXml()));
    }

    void dateKeepsMilliseconds()
    {
        const QByteArray xml = "<plist><dict><key>d</key><date>2001-01-01T00:00:00Z</date></dict></plist>";
        const CliResult half = python("import plistlib,datetime,sys;"
                                      "sys.stdout.buffer.write(plistlib.dumps({'d': datetime.datetime(2001,1,1,0,0,0,"
                                      "500000)}, fmt=plistlib.FMT_BINARY))");
        QCOMPARE(half.exitCode, 0);
        QCOMPARE(PlistValue::fromData(half.out).dictItem("d").toDateTime(), appleEpoch.addMSecs(500));
        QCOMPARE(PlistValue::fromData(xml).dictItem("d").toDateTime(), appleEpoch);
    }

    // Dates outside 32 bits of seconds from 2001, in both forms a backup's lists come in.
    void farDatesReadWhole_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::newRow("9999-12-31") << QDateTime(QDate(9999, 12, 31), QTime(0, 0), QTimeZone::utc());
        QTest::newRow("2070-01-01") << QDateTime(QDate(2070, 1, 1), QTime(0, 0), QTimeZone::utc());
        QTest::newRow("1800-01-01") << QDateTime(QDate(1800, 1, 1), QTime(0, 0), QTimeZone::utc());
    }
    void farDatesReadWhole()
    {
        QFETCH(QDateTime, when);
        const QString utc = when.toString("yyyy-MM-ddThh:mm:ss");
        const QByteArray xml = "<plist><dict><key>d</key><date>" + utc.toLatin1() + "Z</date></dict></plist>";
        QCOMPARE(PlistValue::fromData(xml).dictItem("d").toDateTime(), when);
        const CliResult binary = python("import plistlib,datetime,sys;"
                                        "sys.stdout.buffer.write(plistlib.dumps({'d': datetime.datetime.fromisoformat("
                                        "sys.argv[1])}, fmt=plistlib.FMT_BINARY))",
                                        {utc});
        QVERIFY2(binary.exitCode == 0, binary.err.constData());
        QCOMPARE(PlistValue::fromData(binary.out).dictItem("d").toDateTime(), when);
    }

    void navigationOutOfRangeGivesNone()
    {
        PlistValue array = PlistValue::newArray();
        array.arrayAppend(PlistValue::newString("a"));
        QCOMPARE(array.arrayItem(0).toString(), QStringLiteral("a"));
        QVERIFY(array.arrayItem(1).isNone());
        QVERIFY(array.arrayItem(-1).isNone());
        QVERIFY(array.dictItem("a").isNone());
        const PlistValue dict = PlistValue::newDict();
        QVERIFY(dict.dictItem("missing").isNone());
        QCOMPARE(dict.dictItem("missing").toString(), QStringLiteral(""));
        QVERIFY(PlistValue::newString("s").dictItem("s").isNone());
    }

    void mapOutlivesItsDictionary()
    {
        QMap<QString, PlistValue> map;
        {
            PlistValue dict = PlistValue::newDict();
            PlistValue inner = PlistValue::newArray();
            inner.arrayAppend(PlistValue::newUInt(7));
            dict.setItem("list", inner);
            dict.setItem("name", PlistValue::newString("n"));
            map = dict.toMap();
        }
        QCOMPARE(map.keys(), (QStringList{"list", "name"}));
        QCOMPARE(map["list"].arrayItem(0).toUInt(), 7u);
        QCOMPARE(map["name"].toString(), QStringLiteral("n"));
    }

    // The ownership cases run under AddressSanitizer: a node freed twice or used
    // after being freed aborts, a node never freed is a leak.
    void setItemReplacesAndBorrows()
    {
        PlistValue dict = PlistValue::newDict();
        dict.setItem("k", PlistValue::newString("old"));
        const PlistValue replacement = PlistValue::newString("new");
        dict.setItem("k", replacement);
        QCOMPARE(dict.dictSize(), 1);
        QCOMPARE(dict.dictItem("k").toString(), QStringLiteral("new"));
        QCOMPARE(replacement.node(), dict.dictItem("k").node());

        dict.setItem("k", dict.dictItem("k"));
        QCOMPARE(dict.dictItem("k").toString(), QStringLiteral("new"));
    }

    void nodesOfAnotherTreeAreCopiedIn()
    {
        PlistValue source = PlistValue::fromData(readFile(binaryPath));
        PlistValue target = PlistValue::newArray();
        const PlistValue borrowed = source.dictItem("Nested");
        target.arrayAppend(borrowed);
        target.arrayAppend(target);
        PlistValue dict = PlistValue::newDict();
        dict.setItem("name", source.dictItem("Name"));
        dict.setItem("self", dict);
        QVERIFY(target.arrayItem(0).node() != borrowed.node());
        source = PlistValue();
        QCOMPARE(target.arraySize(), 2);
        QVERIFY(target.arrayItem(0).dictItem("inner").isDict());
        QCOMPARE(target.arrayItem(1).arraySize(), 1);
        QCOMPARE(dict.dictItem("name").toString(), QStringLiteral("x"));
        QCOMPARE(dict.dictItem("self").dictSize(), 1);
    }

    void wrongTargetLeavesTheItemOwning()
    {
        const PlistValue item = PlistValue::newString("kept");
        PlistValue notAContainer = PlistValue::newUInt(1);
        notAContainer.arrayAppend(item);
        notAContainer.setItem("k", item);
        PlistValue::newArray().arrayAppend(PlistValue());
        QCOMPARE(item.toString(), QStringLiteral("kept"));
    }

    void freeNodeIsNotRepeatedByTheHolder()
    {
        PlistValue value = PlistValue::newString("x");
        const PlistValue copy = value;
        value.freeNode();
        QVERIFY(copy.isNone());
    }
};

QTEST_GUILESS_MAIN(TestPlistValue)
#include "TestPlistValue.moc"
