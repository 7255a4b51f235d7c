#include "itunes/AesDecryptor.h"
#include "itunes/BackupFileDecryptor.h"

#include <QTest>

namespace {

// NIST SP 800-38A, F.2.6 (CBC-AES256, decryption).
const QByteArray nistKey = QByteArray::fromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
const QByteArray nistIv = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
const QByteArray nistCipher = QByteArray::fromHex("f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
                                                  "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b");
const QByteArray nistPlain = QByteArray::fromHex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
                                                 "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");

const QByteArray fileKey(32, '\x5a');

} // namespace

class TestBackupFileDecryptor : public QObject
{
    Q_OBJECT

private slots:
    void cbcChainRunsOnAcrossCalls_data()
    {
        QTest::addColumn<int>("firstPart");
        QTest::newRow("one call") << 64;
        QTest::newRow("32 then 32 bytes") << 32;
        QTest::newRow("16 then 48 bytes") << 16;
    }
    void cbcChainRunsOnAcrossCalls()
    {
        QFETCH(int, firstPart);
        AesDecryptor aes(nistKey);
        unsigned char iv[16];
        memcpy(iv, nistIv.constData(), 16);
        QByteArray plain = aes.decryptCbc(nistCipher.constData(), firstPart, iv);
        if (firstPart < nistCipher.size())
            plain += aes.decryptCbc(nistCipher.constData() + firstPart, nistCipher.size() - firstPart, iv);
        QCOMPARE(plain.toHex(), nistPlain.toHex());
        QCOMPARE(QByteArray(reinterpret_cast<char*>(iv), 16), nistCipher.right(16));
        QVERIFY(aes.decryptCbc(nistCipher.constData(), 15, iv).isEmpty());
    }

    void paddingIsCutAtTheRecordedSize_data()
    {
        QTest::addColumn<quint64>("recordedSize");
        QTest::addColumn<QList<int>>("blocks");
        QTest::addColumn<QList<int>>("written");
        QTest::newRow("size 100 in 112 bytes") << quint64(100) << QList<int>{112} << QList<int>{100};
        QTest::newRow("size 96 in 112 bytes: a whole block of padding") << quint64(96) << QList<int>{112}
                                                                        << QList<int>{96};
        QTest::newRow("padding in the second block") << quint64(8200) << QList<int>{8192, 16} << QList<int>{8192, 8};
        QTest::newRow("whole padding block alone") << quint64(8192) << QList<int>{8192, 16} << QList<int>{8192, 0};
        QTest::newRow("no padding") << quint64(112) << QList<int>{112} << QList<int>{112};
        QTest::newRow("record larger than the file") << quint64(500) << QList<int>{112} << QList<int>{112};
        QTest::newRow("record far smaller than the file") << quint64(50) << QList<int>{112} << QList<int>{112};
    }
    void paddingIsCutAtTheRecordedSize()
    {
        QFETCH(quint64, recordedSize);
        QFETCH(QList<int>, blocks);
        QFETCH(QList<int>, written);
        BackupFileDecryptor decryptor(fileKey, recordedSize, "abc");
        AesDecryptor whole(fileKey);
        unsigned char iv[16] = {};
        for (int i = 0; i < blocks.size(); ++i) {
            const QByteArray block(blocks[i], char('a' + i));
            const QByteArray plain = decryptor.decrypt(block);
            QCOMPARE(plain.size(), written[i]);
            QCOMPARE(plain, whole.decryptCbc(block.constData(), block.size(), iv).left(written[i]));
        }
    }

    void blockOfWrongLengthNamesTheFile()
    {
        BackupFileDecryptor decryptor(fileKey, 8200, "3d0d7e5fb2ce288813306e4d4636395e047a3d28");
        QCOMPARE(decryptor.decrypt(QByteArray(8192, 'x')).size(), 8192);
        try {
            decryptor.decrypt(QByteArray(8, 'x'));
            QFAIL("no error");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString(e.what()),
                     QString("3d0d7e5fb2ce288813306e4d4636395e047a3d28, POLARSSL_ERR_AES_INVALID_INPUT_LENGTH."));
        }
    }
};

QTEST_GUILESS_MAIN(TestBackupFileDecryptor)
#include "TestBackupFileDecryptor.moc"
