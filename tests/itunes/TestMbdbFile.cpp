#include "itunes/MbdbFile.h"
#include "support/Cli.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString mbdbScript = QStringLiteral(FIXTURES_DIR "/itunes/mbdb.py");

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(data), data.size());
}

} // namespace

class TestMbdbFile : public QObject
{
    Q_OBJECT

    // The independent writer's manifests: <case>.given, and <case>.expected for what
    // rewriting it must give.
    QTemporaryDir cases;

    QString given(const QString& name) const { return cases.filePath(name + ".given"); }

private slots:
    void initTestCase()
    {
        const CliResult r = runCli("python3", {mbdbScript, "make", cases.path()});
        QVERIFY2(r.exitCode == 0, r.err.constData());
    }

    void rewriteReproducesTheFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("records");
        QTest::newRow("absent and empty strings stay apart") << "absent-and-empty" << 3;
        QTest::newRow("64-bit inode and size, all bits of every number") << "wide-numbers" << 1;
        QTest::newRow("200 properties") << "200-properties" << 2;
        QTest::newRow("another header becomes mbdb 05 00") << "foreign-header" << 2;
        QTest::newRow("unsorted input with a duplicate: sorted, later one kept") << "unsorted-with-duplicate" << 4;
        QTest::newRow("names alike after a NUL or cleaning stay apart") << "names-alike-after-nul-or-cleaning" << 4;
        QTest::newRow("header only") << "header-only" << 0;
        QTest::newRow("shorter than the header") << "shorter-than-header" << 0;
    }
    // A manifest that is to be rewritten must come back whole.
    void strictReadingRefuses_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("error");
        QTest::newRow("another header") << "foreign-header" << "is not in the expected format.";
        QTest::newRow("a record listed twice") << "unsorted-with-duplicate" << "lists HomeDomain Library/SMS/sms.db twice.";
        QTest::newRow("shorter than the header") << "shorter-than-header" << "is not in the expected format.";
    }
    void strictReadingRefuses()
    {
        QFETCH(QString, name);
        QFETCH(QString, error);
        try {
            parseMbdb(readAll(given(name)), given(name), MbdbCheck::Strict);
            QFAIL("no failure");
        } catch (const std::runtime_error& e) {
            QVERIFY2(QString::fromUtf8(e.what()).endsWith(error), e.what());
        }
        QCOMPARE(parseMbdb(readAll(given("names-alike-after-nul-or-cleaning")), QString(), MbdbCheck::Strict).size(), 4);
    }

    void rewriteReproducesTheFile()
    {
        QFETCH(QString, name);
        QFETCH(int, records);
        QTemporaryDir dir;
        const QByteArray expected = readAll(cases.filePath(name + ".expected"));
        QVERIFY(!expected.isEmpty());

        const MbdbMap map = readMbdb(given(name));
        QCOMPARE(map.size(), records);
        for (auto it = map.begin(); it != map.end(); ++it)
            QCOMPARE(it.key(), it->fileHash());
        QList<MbdbRecord> list = map.values();
        writeMbdb(list, dir.filePath("out"));
        QCOMPARE(readAll(dir.filePath("out")).toHex(), expected.toHex());
    }

    void truncatedManifestFails_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("cut");
        QTest::newRow("last string cut inside its length") << "200-properties" << 200;
        QTest::newRow("last string without any of its bytes") << "200-properties" << 199;
        QTest::newRow("64-bit size cut short") << "wide-numbers" << 5;
        QTest::newRow("property count missing") << "wide-numbers" << 1;
    }
    void truncatedManifestFails()
    {
        QFETCH(QString, name);
        QFETCH(int, cut);
        QTemporaryDir dir;
        writeAll(dir.filePath("cut"), readAll(given(name)).chopped(cut));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, readMbdb(dir.filePath("cut")));
    }

    void shortLastStringIsKeptButNeverWritten()
    {
        QTemporaryDir dir;
        // The last value keeps 1 of its 199 bytes.
        writeAll(dir.filePath("cut"), readAll(given("200-properties")).chopped(198));

        const MbdbMap map = readMbdb(dir.filePath("cut"));
        const MbdbRecord r = map.value(backupFileHash("HomeDomain", "Library/SMS/x"));
        QCOMPARE(r.properties.size(), 200);
        QCOMPARE(r.properties.last().value.length, 199);
        QCOMPARE(r.properties.last().value.bytes, QByteArray("v"));

        writeAll(dir.filePath("Manifest.mbdb"), "previous");
        QList<MbdbRecord> list = map.values();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, writeMbdb(list, dir.filePath("Manifest.mbdb")));
        QCOMPARE(readAll(dir.filePath("Manifest.mbdb")), QByteArray("previous"));
    }

    void garbageReadsOrFailsCleanly()
    {
        QTemporaryDir dir;
        const QByteArray valid = readAll(given("200-properties"));
        QRandomGenerator random(7);
        for (int i = 0; i < 300; ++i) {
            QByteArray data = valid;
            for (int flips = 0; flips < 8; ++flips)
                data[int(random.bounded(6, int(data.size())))] = char(random.bounded(256));
            writeAll(dir.filePath("garbage"), data.left(int(random.bounded(int(data.size())))));
            try {
                const MbdbMap map = readMbdb(dir.filePath("garbage"));
                for (auto it = map.begin(); it != map.end(); ++it)
                    QCOMPARE(it.key(), it->fileHash());
            } catch (const std::runtime_error&) {
            }
        }
    }

    void unusablePathsFail()
    {
        QTemporaryDir dir;
        writeAll(dir.filePath("file"), "x");
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, readMbdb(dir.filePath("file/Manifest.mbdb")));
        QList<MbdbRecord> none;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, writeMbdb(none, dir.filePath("file/Manifest.mbdb")));
    }

    void backupFileHashOf_data()
    {
        QTest::addColumn<QString>("domain");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("hash");
        QTest::newRow("message database") << "HomeDomain" << "Library/SMS/sms.db"
                                          << "3d0d7e5fb2ce288813306e4d4636395e047a3d28";
        QTest::newRow("attachment") << "MediaDomain" << "Library/SMS/Attachments/ab/01/a.jpg"
                                    << "942a3d78076e74478d74739618a8b1e520826547";
    }
    void backupFileHashOf()
    {
        QFETCH(QString, domain);
        QFETCH(QString, path);
        QFETCH(QString, hash);
        QCOMPARE(backupFileHash(domain, path), hash);
    }

    void isDirLooksAtSizeAndLinkOnly_data()
    {
        QTest::addColumn<quint64>("size");
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<bool>("isDir");
        QTest::newRow("empty regular file") << quint64(0) << QByteArray() << true;
        QTest::newRow("empty link target") << quint64(0) << QByteArray("") << true;
        QTest::newRow("link") << quint64(0) << QByteArray("/var/x") << false;
        QTest::newRow("file with content") << quint64(1) << QByteArray() << false;
    }
    void isDirLooksAtSizeAndLinkOnly()
    {
        QFETCH(quint64, size);
        QFETCH(QByteArray, target);
        QFETCH(bool, isDir);
        MbdbRecord r;
        r.mode = 0x81A4;
        r.size = size;
        if (!target.isNull())
            r.linkTarget.setBytes(target);
        QCOMPARE(r.isDir(), isDir);
    }

    void stringsKeepAbsentEmptyAndLongApart()
    {
        MbdbString s;
        QVERIFY(!s.hasData());
        QCOMPARE(s.length, MbdbString::absentLength);
        s.setBytes("");
        QCOMPARE(s.length, 0);
        s.setBytes(QByteArray("a\0b", 3));
        QCOMPARE(s.toString(), QString("a"));
        s.setBytes(QByteArray(0xFFFE, 'x'));
        QCOMPARE(s.length, 0xFFFE);
        // 0xFFFF bytes would read back as absent.
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, s.setBytes(QByteArray(0xFFFF, 'x')));
        QCOMPARE(s.length, 0xFFFE);
    }

    void msgtoolListsRecords()
    {
        const CliResult r = msgtool({"mbdb", given("absent-and-empty")});
        QCOMPARE(r.exitCode, 0);
        const QJsonArray records = QJsonDocument::fromJson(r.out).array();
        QCOMPARE(records.size(), 3);
        const QJsonObject link = records.at(1).toObject();
        QCOMPARE(link["path"].toString(), QString("Library/SMS/link"));
        QCOMPARE(link["link_target"], QJsonValue(""));
        QCOMPARE(link["digest"], QJsonValue(QJsonValue::Null));
        QCOMPARE(link["encryption_key"], QJsonValue(""));
        const QJsonObject sms = records.at(2).toObject();
        QCOMPARE(sms["path"].toString(), QString("Library/SMS/sms.db"));
        QCOMPARE(sms["link_target"], QJsonValue(QJsonValue::Null));
        QCOMPARE(sms["digest"], QJsonValue(""));
        QCOMPARE(sms["size"].toInt(), 4096);
        QCOMPARE(sms["protection_class"].toInt(), 3);

        QCOMPARE(msgtool({"mbdb", cases.filePath("missing")}).exitCode, 1);
        QCOMPARE(msgtool({"mbdb"}).exitCode, 2);
    }
};

QTEST_GUILESS_MAIN(TestMbdbFile)
#include "TestMbdbFile.moc"
