#include "itunes/BackupCrypto.h"

#include <QTest>

namespace {

const QByteArray kek = QByteArray::fromHex("000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F");

} // namespace

class TestBackupCrypto : public QObject
{
    Q_OBJECT

private slots:
    // RFC 3394, sections 4.3, 4.5 and 4.6 (256-bit key-encryption key).
    void unwrapRfc3394Vectors_data()
    {
        QTest::addColumn<QByteArray>("wrapped");
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("128-bit key data") << QByteArray::fromHex("64E8C3F9CE0F5BA263E9777905818A2A93C8191E7D6E8AE7")
                                          << QByteArray::fromHex("00112233445566778899AABBCCDDEEFF");
        QTest::newRow("192-bit key data")
            << QByteArray::fromHex("A8F9BC1612C68B3FF6E6F4FBE30E71E4769C8B80A32CB8958CD5D17D6B254DA1")
            << QByteArray::fromHex("00112233445566778899AABBCCDDEEFF0001020304050607");
        QTest::newRow("256-bit key data, as in backups")
            << QByteArray::fromHex("28C9F404C4B810F4CBCCB35CFB87F8263F5786E2D80ED326CBC7F0E71A99F43BFB988B9B7A02DD21")
            << QByteArray::fromHex("00112233445566778899AABBCCDDEEFF000102030405060708090A0B0C0D0E0F");
    }
    void unwrapRfc3394Vectors()
    {
        QFETCH(QByteArray, wrapped);
        QFETCH(QByteArray, key);
        QCOMPARE(aesUnwrap(kek, wrapped).toHex(), key.toHex());
        // Trailing bytes short of a block are not key data.
        QCOMPARE(aesUnwrap(kek, wrapped + "xyz").toHex(), key.toHex());
        for (int i = 0; i < wrapped.size(); ++i) {
            QByteArray damaged = wrapped;
            damaged[i] = char(damaged[i] ^ 0x01);
            QVERIFY2(aesUnwrap(kek, damaged).isEmpty(), qPrintable(QString("byte %1").arg(i)));
        }
        QByteArray otherKek = kek;
        otherKek[31] = 0;
        QVERIFY(aesUnwrap(otherKek, wrapped).isEmpty());
    }

    void unwrapRefusesShortInput()
    {
        const QByteArray wrapped = QByteArray::fromHex("64E8C3F9CE0F5BA263E9777905818A2A93C8191E7D6E8AE7");
        QVERIFY(aesUnwrap(kek, wrapped.left(15)).isEmpty());
        QVERIFY(aesUnwrap(kek.left(31), wrapped).isEmpty());
    }

    // RFC 6070 inputs; the 32-byte outputs extend the RFC's 20-byte values.
    void pbkdf2Vectors_data()
    {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QByteArray>("salt");
        QTest::addColumn<quint32>("iterations");
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("1 iteration") << QByteArray("password") << QByteArray("salt") << 1u
                                     << QByteArray("0c60c80f961f0e71f3a9b524af6012062fe037a6e0f0eb94fe8fc46bdc637164");
        QTest::newRow("2 iterations") << QByteArray("password") << QByteArray("salt") << 2u
                                      << QByteArray("ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957cae93136266537a8d7bf4b76");
        QTest::newRow("4096 iterations") << QByteArray("password") << QByteArray("salt") << 4096u
                                         << QByteArray("4b007901b765489abead49d926f721d065a429c12e463f6c4cd79401085b03db");
        QTest::newRow("long password and salt")
            << QByteArray("passwordPASSWORDpassword") << QByteArray("saltSALTsaltSALTsaltSALTsaltSALTsalt") << 4096u
            << QByteArray("3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038b6b89a48612c5a");
        QTest::newRow("NUL bytes inside password and salt")
            << QByteArray("pass\0word", 9) << QByteArray("sa\0lt", 5) << 4096u
            << QByteArray("56fa6aa75548099dcc37d7f03425e0c37f1c42b2e380c9bcd397764eb05be64a");
    }
    void pbkdf2Vectors()
    {
        QFETCH(QByteArray, password);
        QFETCH(QByteArray, salt);
        QFETCH(quint32, iterations);
        QFETCH(QByteArray, key);
        QCOMPARE(pbkdf2Sha1(password, salt, iterations, 32).toHex(), key);
    }
};

QTEST_GUILESS_MAIN(TestBackupCrypto)
#include "TestBackupCrypto.moc"
