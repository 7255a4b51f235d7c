// The English texts compiled to ":/en.qm": looked up by context and key as the code
// does, and complete for every key the sources use.

#include "support/Cli.h"

#include <QDir>
#include <QLibraryInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QXmlStreamReader>

class TestTranslation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void englishByContext_data();
    void englishByContext();
    void everyKeyOfTheSourcesHasItsEnglish();

private:
    QTranslator english;
};

void TestTranslation::initTestCase()
{
    QVERIFY(english.load(QStringLiteral(":/en.qm"), QString(), QString(), QString()));
}

void TestTranslation::englishByContext_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    const QList<std::array<const char*, 3>> rows{
        {"QObject", "Veltrominex Message Transfer", "Veltrominex Message Transfer"},
        {"QObject", "IDS_SEL_ONE_IOS_DEVICE", "Please select an iPhone:"},
        {"QObject", "IDS_SEL_ONE_ANDROID_DEVICE", "Please select an Android device:"},
        {"MainWindow", "Messages: 0", "SMS: 0"},
        {"MainWindow", "Messages: %1", "SMS: %1"},
        {"MainWindow", "Conversations", "Conversations"},
        {"MainWindow", "IDS_CAN_NOT_FOUND_AND_MESSAGES", "Can't find any SMS."},
        {"MainWindow", "IDS_CAN_NOT_FOUNDSMS_KEYWORD_%0", "Find no SMS with keyword %1."},
        {"MainWindow", "IDS_CAN_NOT_FOUNDCONTACT_KEYWORD_%0", "Find no contact with keyword %1."},
        {"ItemModelMain", "IDS_ROOT_DEVICE", "Devices"},
        {"ItemModelMain", "IDS_ROOT_LOCALDB", "Local Databases"},
        {"AndroidConnectWithUSBThread", "IDS_GET_ANDROID_DEVICE_INFO", "Getting Android info..."},
        {"AndroidConnectWithWiFiThread", "IDS_GET_ANDROID_DEVICE_INFO", "Getting Android info..."},
        {"ProgressForm", "Cancel", "Cancel"},
        {"LocalDbUpdateThread", "IDS_UPDATING_LOCALDB_%1", "Updating local database '%1'..."},
        {"LocalDbUpdateThread", "IDS_LOCALDB_UPDATE_SUC_RESTART_REFRESH",
         "Successfully updated local database. Please restart software."},
        {"PasscodeDlg", "IDS_PWD_IS_NULL", "Password is required."},
    };
    for (const auto& [context, key, text] : rows)
        QTest::newRow(QByteArray(context).append('/').append(key)) << context << key << text;
    // A key looked up in a context that does not hold it is not translated.
    QTest::newRow("wrong context") << "MainWindow"
                                   << "IDS_ROOT_DEVICE"
                                   << "";
}

void TestTranslation::englishByContext()
{
    QFETCH(QString, context);
    QFETCH(QString, key);
    QFETCH(QString, text);
    QCOMPARE(english.translate(context.toLatin1().constData(), key.toUtf8().constData()), text);
}

void TestTranslation::everyKeyOfTheSourcesHasItsEnglish()
{
    const QString lupdate = QLibraryInfo::path(QLibraryInfo::BinariesPath) + QStringLiteral("/lupdate");
    QTemporaryDir work;
    const QString listed = work.filePath(QStringLiteral("sources.ts"));
    const CliResult r = runCli(
        lupdate, {QStringLiteral("-silent"), QStringLiteral(PLATFORM_DIR "/../src"), QStringLiteral("-ts"), listed});
    QCOMPARE(r.exitCode, 0);

    QFile file(listed);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QString context;
    QStringList missing;
    int keys = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("source")) {
            const QString source = xml.readElementText();
            // Keys, and the form texts written in another language; English source texts
            // show as they stand.
            const bool needsEnglish =
                source.startsWith(QLatin1String("IDS_"))
                || std::any_of(source.begin(), source.end(), [](QChar c) { return c.unicode() > 0x7f; });
            if (!needsEnglish)
                continue;
            ++keys;
            if (english.translate(context.toUtf8().constData(), source.toUtf8().constData()).isEmpty())
                missing << context + QLatin1Char('/') + source;
        }
    }
    QVERIFY(!xml.hasError());
    QVERIFY(keys > 20); // lupdate did read the sources
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(TestTranslation)
#include "TestTranslation.moc"
