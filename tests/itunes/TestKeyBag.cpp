#include "itunes/KeyBag.h"
#include "support/Cli.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>
#include <QtEndian>

namespace {

QByteArray u32(quint32 v)
{
    QByteArray b(4, Qt::Uninitialized);
    qToBigEndian(v, b.data());
    return b;
}

QByteArray item(const char* tag, const QByteArray& value)
{
    return QByteArray(tag, 4) + u32(quint32(value.size())) + value;
}

// "attributes: A B | 1: C D | 2: ..." with the tags of each map in order.
QString describe(const KeyBag& bag)
{
    QStringList parts = {"attributes: " + bag.attributes.keys().join(' ')};
    for (auto it = bag.classKeys.begin(); it != bag.classKeys.end(); ++it)
        parts << QString::number(it.key()) + ": " + it->keys().join(' ');
    return parts.join(" | ");
}

const QByteArray twoClasses = item("UUID", "u0") + item("XTAG", "x") + item("WRAP", u32(0)) + item("SALT", "s")
                              + item("ITER", u32(10)) + item("UUID", "u1") + item("CLAS", u32(1))
                              + item("WRAP", u32(2)) + item("KTYP", u32(0)) + item("WPKY", "k1") + item("UUID", "u2")
                              + item("CLAS", u32(2)) + item("WRAP", u32(2)) + item("KTYP", u32(0))
                              + item("WPKY", "k2");

// A keybag of a backup made before iOS 10, built from a published test vector: its one
// class key unwraps with the password "hashcat".
const QByteArray wpky =
    QByteArray::fromHex("ebd7f9b33293b2511f0a4139d5b213feff51476968863cef60ec38d720497b6ff39a0bb63fa9f84e");
const QByteArray publishedVector = item("VERS", u32(3)) + item("TYPE", u32(1)) + item("UUID", QByteArray(16, 'u'))
                                   + item("WRAP", u32(0))
                                   + item("SALT", QByteArray::fromHex("2202015774208421818002001652122401871832"))
                                   + item("ITER", u32(10000)) + item("UUID", QByteArray(16, 'v'))
                                   + item("CLAS", u32(1)) + item("WRAP", u32(2)) + item("KTYP", u32(0))
                                   + item("WPKY", wpky);

struct GeneratedKeyBag
{
    QByteArray data;
    QMap<int, QByteArray> classKeys;
    QByteArray fileKey;
    QByteArray storedFileKey; // class (4 bytes, little-endian) and the wrapped key
};

GeneratedKeyBag generate(const QString& password)
{
    const CliResult r = runCli("python3", {FIXTURES_DIR "/itunes/mkbackup.py", "keybag", password});
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    GeneratedKeyBag g;
    g.data = QByteArray::fromHex(o["keybag"].toString().toLatin1());
    const QJsonObject keys = o["class_keys"].toObject();
    for (auto it = keys.begin(); it != keys.end(); ++it)
        g.classKeys.insert(it.key().toInt(), QByteArray::fromHex(it->toString().toLatin1()));
    g.fileKey = QByteArray::fromHex(o["file_key"].toString().toLatin1());
    g.storedFileKey = QByteArray::fromHex(o["stored_file_key"].toString().toLatin1());
    return g;
}

} // namespace

class TestKeyBag : public QObject
{
    Q_OBJECT

    GeneratedKeyBag generated;

private slots:
    void initTestCase()
    {
        generated = generate("pw");
        QCOMPARE(generated.classKeys.size(), 4);
        QCOMPARE(generated.storedFileKey.size(), 44);
    }

    void parseFilesEveryItem_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("filed");
        QTest::newRow("keybag with two classes")
            << twoClasses
            << "attributes: ITER SALT UUID WRAP XTAG | 1: CLAS KTYP UUID WPKY WRAP | 2: CLAS KTYP UUID WPKY WRAP";
        QTest::newRow("no WRAP before the first class")
            << item("UUID", "u0") + item("SALT", "s") + item("UUID", "u1") + item("CLAS", u32(3))
                   + item("WRAP", u32(2)) + item("WPKY", "k")
            << "attributes: SALT UUID WRAP | 3: CLAS UUID WPKY";
        QTest::newRow("entry without CLAS is dropped")
            << item("UUID", "u0") + item("WRAP", u32(0)) + item("UUID", "u1") + item("WPKY", "k1") + item("UUID", "u2")
                   + item("CLAS", u32(5))
            << "attributes: UUID WRAP | 5: CLAS UUID";
        QTest::newRow("later entry of the same class wins")
            << item("UUID", "u0") + item("WRAP", u32(0)) + item("UUID", "u1") + item("CLAS", u32(1))
                   + item("WPKY", "k1") + item("UUID", "u2") + item("CLAS", u32(1))
            << "attributes: UUID WRAP | 1: CLAS UUID";
        QTest::newRow("item cut inside its tag") << twoClasses + "CL" << describe(KeyBag::parse(twoClasses));
        QTest::newRow("item cut inside its length")
            << twoClasses + QByteArray("CLAS\0\0", 6) << describe(KeyBag::parse(twoClasses));
        QTest::newRow("value shorter than its length")
            << twoClasses + item("SALT", "abc").chopped(1) << describe(KeyBag::parse(twoClasses));
        QTest::newRow("length of 4 GB") << twoClasses + "SALT" + u32(0xFFFFFFFF) + "x"
                                        << describe(KeyBag::parse(twoClasses));
        QTest::newRow("nothing") << QByteArray() << "attributes: ";
    }
    void parseFilesEveryItem()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, filed);
        QCOMPARE(describe(KeyBag::parse(data)), filed);
    }

    void parseKeepsValues()
    {
        const KeyBag bag = KeyBag::parse(twoClasses);
        QCOMPARE(bag.attributes.value("UUID"), QByteArray("u0"));
        QCOMPARE(KeyBag::attrInt(bag.attributes, "ITER"), 10u);
        QCOMPARE(bag.classKeys.value(1).value("UUID"), QByteArray("u1"));
        QCOMPARE(bag.classKeys.value(2).value("WPKY"), QByteArray("k2"));
        QCOMPARE(KeyBag::attrInt(bag.classKeys.value(2), "WRAP"), 2u);
        QCOMPARE(KeyBag::attrInt(bag.attributes, "SALT"), 0u); // shorter than four bytes
        QCOMPARE(KeyBag::attrInt(bag.attributes, "NONE"), 0u);
        QVERIFY(!bag.attributes.contains("NONE"));
    }

    void garbageNeverCrashes()
    {
        QRandomGenerator random(20240601);
        for (int i = 0; i < 500; ++i) {
            QByteArray data(int(random.bounded(200)), Qt::Uninitialized);
            for (char& c : data)
                c = char(random.bounded(256));
            if (i % 2) // plausible lengths, so that items are read as well as rejected
                data = item("UUID", data.left(8)) + item("CLAS", data.mid(8, 2)) + data;
            KeyBag bag = KeyBag::parse(data);
            bag.unlock("pw");
            bag.unwrapFileKey(1, data.left(40));
        }
    }

    void unlockWithWrongThenRightPassword()
    {
        KeyBag wrong = KeyBag::parse(generated.data);
        QVERIFY(!wrong.unlock("wrong"));
        QVERIFY(!wrong.classKeys.value(1).contains("KEY"));

        KeyBag bag = KeyBag::parse(generated.data);
        QVERIFY(bag.unlock("pw"));
        for (auto it = generated.classKeys.begin(); it != generated.classKeys.end(); ++it)
            QCOMPARE(bag.classKeys.value(it.key()).value("KEY").toHex(), it->toHex());
        QCOMPARE(bag.unwrapFileKey(3, generated.storedFileKey.mid(4)).toHex(), generated.fileKey.toHex());
    }

    void unlockStopsAtTheFirstFailure()
    {
        KeyBag bag = KeyBag::parse(generated.data);
        bag.classKeys[2]["WPKY"][5] = char(bag.classKeys[2]["WPKY"][5] ^ 1);
        QVERIFY(!bag.unlock("pw"));
        QVERIFY(bag.classKeys.value(1).contains("KEY"));
        QVERIFY(!bag.classKeys.value(3).contains("KEY"));
    }

    void publishedVectorUnlocksWithItsPasswordOnly()
    {
        QVERIFY(KeyBag::parse(publishedVector).unlock("hashcat"));
        QVERIFY(!KeyBag::parse(publishedVector).unlock("hashcat "));
        KeyBag bag = KeyBag::parse(publishedVector);
        QVERIFY(bag.unlock("hashcat"));
        QCOMPARE(bag.classKeys.value(1).value("KEY").toHex(),
                 QByteArray("d684b4867dd1000012ddecf958080000d3c202a1ab73000070ef26e352020000"));
    }

    void neverUnlocksWithoutAPasswordWrappedKey_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("password");
        const QByteArray header = publishedVector.left(publishedVector.indexOf("UUID", 8));
        QTest::newRow("nothing") << QByteArray() << "hashcat";
        QTest::newRow("class keys removed") << header << "hashcat";
        QTest::newRow("class keys removed, empty password") << header << "";
        QTest::newRow("class without WPKY")
            << header + item("UUID", "u1") + item("CLAS", u32(1)) + item("WRAP", u32(2)) << "hashcat";
        QTest::newRow("class key not wrapped with the password")
            << header + item("UUID", "u1") + item("CLAS", u32(1)) + item("WRAP", u32(1)) + item("WPKY", wpky)
            << "hashcat";
        QTest::newRow("WPKY of 32 bytes")
            << header + item("UUID", "u1") + item("CLAS", u32(1)) + item("WRAP", u32(2)) + item("WPKY", wpky.left(32))
            << "hashcat";
        QTest::newRow("WPKY of 48 bytes")
            << header + item("UUID", "u1") + item("CLAS", u32(1)) + item("WRAP", u32(2)) + item("WPKY", wpky + wpky.left(8))
            << "hashcat";
        QTest::newRow("WPKY length past the end")
            << header + item("UUID", "u1") + item("CLAS", u32(1)) + item("WRAP", u32(2)) + "WPKY" + u32(400) + wpky
            << "hashcat";
    }
    void neverUnlocksWithoutAPasswordWrappedKey()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, password);
        KeyBag bag = KeyBag::parse(data);
        QVERIFY(!bag.unlock(password.toUtf8()));
        for (const KeyBag::TagMap& entry : std::as_const(bag.classKeys))
            QVERIFY(!entry.contains("KEY"));
    }

    void iterationCountAboveTenMillionIsRefusedAtOnce()
    {
        QByteArray data = publishedVector;
        data.replace(item("ITER", u32(10000)), item("ITER", u32(0x80000000)));
        KeyBag bag = KeyBag::parse(data);
        bool derived = false;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, bag.unlock("hashcat", [&derived](quint64, quint64) {
            derived = true;
            return true;
        }));
        QVERIFY(!derived);
    }

    void derivationReportsProgressAndStopsWhenAsked()
    {
        QByteArray data = publishedVector;
        data.replace(item("ITER", u32(10000)), item("ITER", u32(KeyBag::maxIterations)));
        KeyBag bag = KeyBag::parse(data);
        QList<quint64> reports;
        const bool unlocked = bag.unlock("hashcat", [&reports](quint64 done, quint64 total) {
            reports << done << total;
            return false;
        });
        QVERIFY(!unlocked);
        QCOMPARE(reports.size(), 2); // stopped at the first report
        QCOMPARE(reports.at(1), quint64(2) * KeyBag::maxIterations); // two SHA-1 blocks make a 32-byte key
        QVERIFY(reports.at(0) > 0 && reports.at(0) < reports.at(1));
        QVERIFY(!bag.classKeys.value(1).contains("KEY"));
    }

    void fileKeyNeedsAnUnlockedClassAndFortyBytes_data()
    {
        QTest::addColumn<bool>("unlocked");
        QTest::addColumn<int>("protectionClass");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("found");
        QTest::newRow("unlocked, class 3, 40 bytes") << true << 3 << 40 << true;
        QTest::newRow("39 bytes") << true << 3 << 39 << false;
        QTest::newRow("41 bytes") << true << 3 << 41 << false;
        QTest::newRow("class missing from the keybag") << true << 7 << 40 << false;
        QTest::newRow("another class's key") << true << 2 << 40 << false;
        QTest::newRow("not unlocked") << false << 3 << 40 << false;
    }
    void fileKeyNeedsAnUnlockedClassAndFortyBytes()
    {
        QFETCH(bool, unlocked);
        QFETCH(int, protectionClass);
        QFETCH(int, length);
        QFETCH(bool, found);
        KeyBag bag = KeyBag::parse(generated.data);
        if (unlocked)
            QVERIFY(bag.unlock("pw"));
        const QByteArray wrapped = (generated.storedFileKey.mid(4) + "x").left(length);
        QCOMPARE(bag.unwrapFileKey(protectionClass, wrapped), found ? generated.fileKey : QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestKeyBag)
#include "TestKeyBag.moc"
