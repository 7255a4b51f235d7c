#include "model/AttributedBody.h"
#include "support/Cli.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

class TestAttributedBody : public QObject
{
    Q_OBJECT

private slots:
    // python rebuilds the blob from the published template and compares bytes.
    void matchesTheTemplate()
    {
        const QString guid = QStringLiteral("0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0");
        const QByteArray body = makeAttributedBody(guid);
        QCOMPARE(body.size(), 308);
        QCOMPARE(body.mid(200, 36), guid.toUtf8());
        QTemporaryDir dir;
        QFile file(dir.filePath("body.bin"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(body), body.size());
        file.close();
        const CliResult check = python(
            "import sys\n"
            "prefix = bytes.fromhex('040B73747265616D747970656481E803840140848484194E534D757461626C654174747269627574"
            "6564537472696E67008484124E5341747472696275746564537472696E67008484084E534F626A656374008592848484"
            "0F4E534D757461626C65537472696E67018484084E53537472696E67019584012B03EFBFBC8684026949010192848484"
            "0C4E5344696374696F6E61727900958401690292849898225F5F6B494D46696C655472616E736665724755494441747472"
            "69627574654E616D65869284989824')\n"
            "suffix = bytes.fromhex('86928498981D5F5F6B494D4D657373616765506172744174747269627574654E616D65869284"
            "8484084E534E756D626572008484074E5356616C7565009584012A849B9B00868686')\n"
            "expected = prefix + sys.argv[2].encode() + suffix\n"
            "sys.exit(0 if open(sys.argv[1], 'rb').read() == expected and len(expected) == 308 else 1)\n",
            {file.fileName(), guid});
        QVERIFY2(check.exitCode == 0, check.err.constData());
    }

    void otherGuidLengthsRefused_data()
    {
        QTest::addColumn<QString>("guid");
        QTest::newRow("empty") << "";
        QTest::newRow("35 characters") << "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F";
        QTest::newRow("36 characters, 37 UTF-8 bytes") << "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1Fé";
    }
    void otherGuidLengthsRefused()
    {
        QFETCH(QString, guid);
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, makeAttributedBody(guid));
    }
};

QTEST_GUILESS_MAIN(TestAttributedBody)
#include "TestAttributedBody.moc"
