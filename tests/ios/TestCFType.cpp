// CFType over our CoreFoundation, loaded as the program loads it. Its test-only counters
// show that every wrapper releases exactly what it owns.

#include "ios/CFType.h"
#include "ios/mobiledevice_library.h"

#include "corefoundation/testing.h"
#include "model/PlistLimits.h"
#include "support/Cli.h"
#include "support/CraftedPlists.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

long liveObjects()
{
    return CF_FN(CFSubsetLiveObjectCount)();
}

long doubleReleases()
{
    return CF_FN(CFSubsetDoubleReleaseCount)();
}

// {s: "é", i: 2^40, d: 0.1, b: true, data: 00FF, a: [1, "x"]}
CFType mixedDictionary()
{
    CFType array = CFType::createArray();
    array.append(CFType::fromInt32(1)).append(CFType::fromString(QStringLiteral("x")));
    CFType dict = CFType::createDictionary();
    dict.setValue(CFType::fromString("s"), CFType::fromString(QStringLiteral("é")))
        .setValue(CFType::fromString("i"), CFType::fromInt64(Q_INT64_C(1) << 40))
        .setValue(CFType::fromString("d"), CFType::fromDouble(0.1))
        .setValue(CFType::fromString("b"), CFType::fromBool(true))
        .setValue(CFType::fromString("data"), CFType::fromByteArray(QByteArray::fromHex("00ff")))
        .setValue(CFType::fromString("a"), array);
    return dict;
}

const QByteArray mixedDictionaryRepr =
    "{'s': '\xc3\xa9', 'i': 1099511627776, 'd': 0.1, 'b': True, 'data': b'\\x00\\xff', 'a': [1, 'x']}";

void verifyMixedDictionary(const CFType& dict)
{
    QCOMPARE(dict.dictionaryCount(), 6);
    QCOMPARE(dict.value("s").toString(), QStringLiteral("é"));
    QCOMPARE(dict.value("i").toLongLong(), Q_INT64_C(1) << 40);
    QCOMPARE(dict.value("d").toDouble(), 0.1);
    QVERIFY(dict.value("b").toBool(false));
    QCOMPARE(dict.value("data").toByteArray(), QByteArray::fromHex("00ff"));
    const CFType array = dict.value("a");
    QCOMPARE(array.arrayCount(), 2);
    QCOMPARE(array.at(0).toInt(), 1);
    QCOMPARE(array.at(1).toString(), QStringLiteral("x"));
}

} // namespace

class TestCFType : public QObject
{
    Q_OBJECT

    long m_liveBefore = 0;
    long m_doubleReleasesBefore = 0;
    long m_doubleReleasesExpected = 0;

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(mobiledevice_load_frameworks(error), qPrintable(error));
    }

    void init()
    {
        m_liveBefore = liveObjects();
        m_doubleReleasesBefore = doubleReleases();
        m_doubleReleasesExpected = 0;
    }

    // Every test leaves the live objects as it found them, and releases nothing twice.
    void cleanup()
    {
        QCOMPARE(liveObjects(), m_liveBefore);
        QCOMPARE(doubleReleases() - m_doubleReleasesBefore, m_doubleReleasesExpected);
    }

    void nullWrapper()
    {
        const CFType none;
        QCOMPARE(none.typeId(), CF_FN(CFNullGetTypeID)());
        QVERIFY(!none.isNumber() && !none.isBoolean() && !none.isString() && !none.isData() && !none.isDate()
                && !none.isDictionary() && !none.isArray());
        QCOMPARE(none.toInt(7), 7);
        QCOMPARE(none.toString(), QString());
        QVERIFY(!none.value("k").ref());
        QVERIFY(!none.at(0).ref());
        QCOMPARE(none.toData(kCFPropertyListXMLFormat_v1_0), QByteArray());
    }

    void conversions_data()
    {
        QTest::addColumn<CFType>("value");
        QTest::addColumn<int>("asInt");
        QTest::addColumn<qint64>("asLongLong");
        QTest::addColumn<bool>("asBool");
        QTest::addColumn<QString>("text");
        QTest::newRow("a number is no boolean") << CFType::fromInt32(1) << 1 << qint64(1) << false << "1";
        QTest::newRow("true through the number call") << CFType::fromBool(true) << -1 << qint64(-1) << true << "1";
        QTest::newRow("false") << CFType::fromBool(false) << -1 << qint64(-1) << false << "0";
        QTest::newRow("2^40 does not fit an int")
            << CFType::fromInt64(Q_INT64_C(1) << 40) << -1 << (Q_INT64_C(1) << 40) << false << "1099511627776";
        QTest::newRow("a negative 64-bit value") << CFType::fromInt64(-5) << -5 << qint64(-5) << false << "-5";
        QTest::newRow("0.1") << CFType::fromDouble(0.1) << -1 << qint64(-1) << false << "0.1";
        QTest::newRow("a whole double converts") << CFType::fromDouble(3.0) << 3 << qint64(3) << false << "3";
        QTest::newRow("an int8") << CFType::fromInt8(-8) << -8 << qint64(-8) << false << "-8";
        QTest::newRow("an empty string is a string") << CFType::fromString("") << -1 << qint64(-1) << false << "";
        QTest::newRow("text beyond the basic plane")
            << CFType::fromString(QStringLiteral("a😀b")) << -1 << qint64(-1) << false << QStringLiteral("a😀b");
        QTest::newRow("data reads as UTF-8") << CFType::fromByteArray("abc") << -1 << qint64(-1) << false << "abc";
    }
    void conversions()
    {
        QFETCH(CFType, value);
        QFETCH(int, asInt);
        QFETCH(qint64, asLongLong);
        QFETCH(bool, asBool);
        QFETCH(QString, text);
        QVERIFY(value.ref());
        QCOMPARE(value.toInt(-1), asInt);
        QCOMPARE(value.toLongLong(-1), asLongLong);
        QCOMPARE(value.toBool(false), asBool);
        QCOMPARE(value.valueText(), text);
        if (value.isString())
            QCOMPARE(value.stringLength(), CFIndex(text.size()));
    }

    void copiesShareOneRelease()
    {
        auto* first = new CFType(CFType::fromString(QStringLiteral("shared")));
        const long withOne = liveObjects();
        auto* copy = new CFType(*first);
        delete first;
        QCOMPARE(copy->toString(), QStringLiteral("shared"));
        QCOMPARE(liveObjects(), withOne);
        delete copy;
        QCOMPARE(liveObjects(), withOne - 1);
    }

    void dictionaryKeysCompareByValue()
    {
        CFType dict = CFType::createDictionary();
        const CFType key = CFType::fromString("k");
        dict.setValue(key, CFType::fromInt32(1)).setValue(key, CFType::fromInt32(2));
        QCOMPARE(dict.dictionaryCount(), 1);
        dict.setValue(CFType::fromString("k"), CFType::fromInt32(3));
        QCOMPARE(dict.dictionaryCount(), 1);
        QCOMPARE(dict.value("k").toInt(), 3);
        dict.setValue(CFType::fromInt32(7), CFType::fromString("seven"));
        QCOMPARE(dict.value(CFType::fromInt64(7)).toString(), QStringLiteral("seven"));
    }

    void keysKeepInsertionOrder()
    {
        CFType dict = CFType::createDictionary();
        for (const char* key : {"zeta", "alpha", "mu"})
            dict.setValue(CFType::fromString(key), CFType::fromBool(true));
        QStringList keys;
        for (const CFType& key : dict.keys())
            keys << key.toString();
        QCOMPARE(keys, QStringList({"zeta", "alpha", "mu"}));
    }

    void childrenOutliveTheirWrappers()
    {
        CFType array = CFType::createArray();
        {
            CFType dict = CFType::createDictionary();
            dict.setValue(CFType::fromString("k"), CFType::fromString("v"));
            array.append(dict);
        }
        QCOMPARE(array.at(0).value("k").toString(), QStringLiteral("v"));
    }

    void atOutsideTheArrayIsNull()
    {
        CFType array = CFType::createArray();
        array.append(CFType::fromInt32(1));
        QVERIFY(array.at(0).ref());
        QVERIFY(!array.at(1).ref());
        QVERIFY(!array.at(-1).ref());
    }

    void deepCopyIsImmutable()
    {
        const CFType original = mixedDictionary();
        CFType copy = CFType::deepCopy(original);
        verifyMixedDictionary(copy);
        copy.setValue(CFType::fromString("new"), CFType::fromInt32(1));
        QCOMPARE(copy.dictionaryCount(), 6);
        QVERIFY(!copy.value("new").ref());
    }

    void propertyListRoundTripsInPython_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("XML") << int(kCFPropertyListXMLFormat_v1_0);
        QTest::newRow("binary") << int(kCFPropertyListBinaryFormat_v1_0);
    }
    void propertyListRoundTripsInPython()
    {
        QFETCH(int, format);
        QTemporaryDir dir;
        const QString ours = dir.filePath("ours.plist");
        QFile file(ours);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(mixedDictionary().toData(format));
        file.close();
        const CliResult read = python("import plistlib,sys;print(repr(plistlib.load(open(sys.argv[1],'rb'))))", {ours});
        QCOMPARE(read.out.trimmed(), mixedDictionaryRepr);

        // And back: python writes the same dictionary in the same format, we read it.
        const QString theirs = dir.filePath("theirs.plist");
        const CliResult written = python(
            "import plistlib,sys\n"
            "v={'s':'\\u00e9','i':2**40,'d':0.1,'b':True,'data':b'\\x00\\xff','a':[1,'x']}\n"
            "plistlib.dump(v,open(sys.argv[1],'wb'),fmt=plistlib.FMT_BINARY if sys.argv[2]=='200' else plistlib.FMT_XML)",
            {theirs, QString::number(format)});
        QCOMPARE(written.exitCode, 0);
        verifyMixedDictionary(CFType::loadFile(theirs));
    }

    void unparseableBytesGiveNull_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("garbage") << QByteArray("not a property list");
        QTest::newRow("cut binary") << QByteArray("bplist00\xd1\x01\x02", 11);
    }
    void unparseableBytesGiveNull()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(!CFType::fromData(bytes).ref());
    }

    // libplist would follow these by recursion, or expand every shared array, inside the
    // program's process.
    void nestingAndSharingAreBoundedBeforeParsing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("parsed");
        QTest::newRow("binary as deep as allowed") << nestedBinary(maxPlistNesting) << true;
        QTest::newRow("binary one level deeper") << nestedBinary(maxPlistNesting + 1) << false;
        QTest::newRow("binary of 100,000 levels") << nestedBinary(100000) << false;
        QTest::newRow("binary sharing one array twice") << nestedBinary(3, 2) << true;
        QTest::newRow("binary doubling its tree 60 times") << nestedBinary(60, 2) << false;
        QTest::newRow("binary referring to itself") << nestedBinary(3, 1, true) << false;
        QTest::newRow("XML as deep as allowed") << nestedXml(maxPlistNesting) << true;
        QTest::newRow("XML one level deeper") << nestedXml(maxPlistNesting + 1) << false;
        QTest::newRow("XML of 100,000 levels") << nestedXml(100000) << false;
    }
    void nestingAndSharingAreBoundedBeforeParsing()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, parsed);
        QCOMPARE(bool(CFType::fromData(bytes).ref()), parsed);
    }

    // libplist aborts when it copies out a key or string holding a NUL character. A string
    // is read with its length instead (libplist keeps at least the text before the NUL); a
    // key holding one refuses the list.
    void nulCharacters_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("parsed");
        const QByteArray nul(1, '\0');
        // ["a\0b"]: an array, the string object given, their offsets, then the trailer.
        const auto binaryArray = [&nul](const QByteArray& string) {
            const char table = char(10 + string.size());
            return "bplist00\xA1\x01" + string + "\x08\x0A" + QByteArray(6, '\0') + "\x01\x01" + QByteArray(7, '\0')
                   + "\x02" + QByteArray(15, '\0') + table;
        };
        QTest::newRow("binary ASCII string") << binaryArray("\x53\x61" + nul + "b") << true;
        QTest::newRow("binary UTF-16 string") << binaryArray(QByteArray("\x63\x00\x61\x00\x00\x00\x62", 7)) << true;
        QTest::newRow("XML string") << "<plist version=\"1.0\"><array><string>a" + nul + "b</string></array></plist>"
                                    << true;
        QTest::newRow("binary UTF-16 key") << binaryDictionary(QByteArray("\x62\x00\x61\x00\x00", 5)) << false;
    }
    void nulCharacters()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, parsed);
        const CFType list = CFType::fromData(bytes);
        QCOMPARE(bool(list.ref()), parsed);
        if (parsed)
            QVERIFY(list.at(0).toString().startsWith(QLatin1Char('a')));
    }

    void valuesWithoutAPropertyListFormGiveNoData()
    {
        CFType dict = CFType::createDictionary();
        dict.setValue(CFType::fromInt32(1), CFType::fromString("a number is no key in a property list"));
        QVERIFY(dict.toData(kCFPropertyListXMLFormat_v1_0).isEmpty());
    }

    void dates_data()
    {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QDateTime>("expected");
        const QDateTime stored(QDate(2014, 6, 30), QTime(23, 30, 15));
        QTest::newRow("GMT by name") << "GMT" << 0 << stored;
        QTest::newRow("an offset crosses midnight") << QString() << 3600 << QDateTime(QDate(2014, 7, 1), QTime(0, 30, 15));
        QTest::newRow("an unknown name reads as GMT") << "Mars/Olympus" << 0 << stored;
    }
    void dates()
    {
        QFETCH(QString, zone);
        QFETCH(int, offset);
        QFETCH(QDateTime, expected);
        const CFType date = CFType::fromDateTime(QDateTime(QDate(2014, 6, 30), QTime(23, 30, 15, 999)));
        QVERIFY(date.isDate());
        QCOMPARE(zone.isNull() ? date.toDateTime(offset) : date.toDateTime(zone), expected);
    }

    // The stand-in's own check: a release of a freed object is counted, not obeyed.
    void doubleReleaseIsCounted()
    {
        const CFTypeRef raw = CF_FN(CFDataCreate)(nullptr, reinterpret_cast<const UInt8*>("x"), 1);
        CF_FN(CFRelease)(raw);
        CF_FN(CFRelease)(raw);
        m_doubleReleasesExpected = 1;
    }
};

QTEST_GUILESS_MAIN(TestCFType)
#include "TestCFType.moc"
