// The file_relay request and answer, and the archive the simulated phone streams, read
// by an independent cpio reader.

#include "ios/mobiledevice_file_relay.h"
#include "ios/mobiledevice_socket.h"

#include "FileRelayPhone.h"
#include "SimPhoneArrivals.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <functional>
#include <stdexcept>

namespace {

QString requestError(void* handle, const QStringList& sources)
{
    int socket = -1;
    try {
        mobiledevice_file_relay_start(handle, &socket);
        mobiledevice_file_relay_request(socket, sources);
    } catch (const std::runtime_error& e) {
        if (socket >= 0)
            mobiledevice_close_socket(socket);
        return QString::fromUtf8(e.what());
    }
    mobiledevice_close_socket(socket);
    return QString();
}

} // namespace

class TestMobileDeviceFileRelay : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    SimPhoneArrivals m_phones{m_dir.filePath("root")};
    int m_count = 0;

private slots:
    void answers_data()
    {
        QTest::addColumn<QString>("knobs"); // python value of the FileRelay knobs
        QTest::addColumn<QStringList>("sources");
        QTest::addColumn<QStringList>("errorParts"); // empty: acknowledged
        QTest::newRow("acknowledged") << "{}" << QStringList{"UserDatabases"} << QStringList();
        QTest::newRow("acknowledged in lower case")
            << "{'Status': 'acknowledged'}" << QStringList{"UserDatabases"} << QStringList();
        QTest::newRow("no Status") << "{'Status': False}" << QStringList{"UserDatabases"}
                                   << QStringList{"invalid feedback.\n<?xml", "<dict/>", "</plist>"};
        QTest::newRow("another Status") << "{'Status': 'Busy'}" << QStringList{"UserDatabases"}
                                        << QStringList{"invalid feedback.\n<?xml", "<key>Status</key>", "<string>Busy</string>"};
        QTest::newRow("a source the phone lacks")
            << "{}" << QStringList{"UserDatabases", "Nope"}
            << QStringList{"invalid feedback.\n<?xml", "<key>Error</key>", "<string>InvalidSource</string>"};
    }
    void answers()
    {
        QFETCH(QString, knobs);
        QFETCH(QStringList, sources);
        QFETCH(QStringList, errorParts);
        const QString udid = QStringLiteral("ANSWER%1").arg(++m_count);
        const IOSDevice device = m_phones.plugIn(udid);
        QVERIFY(device.handle);
        QVERIFY(editPhoneValues(m_phones.folder(udid), "v['Sim']['FileRelay']=" + knobs));
        const QString error = requestError(device.handle, sources);
        if (errorParts.isEmpty())
            QCOMPARE(error, QString());
        for (const QString& part : std::as_const(errorParts))
            QVERIFY2(error.contains(part) && error.startsWith(errorParts.first()), qPrintable(error));
        QCOMPARE(callsLog(m_phones.folder(udid)).last(), "file_relay Sources=" + sources.join(","));
    }

    void anAnswerThatDoesNotParse()
    {
        const IOSDevice device = m_phones.plugIn("UNPARSED");
        QVERIFY(device.handle);
        QVERIFY(editPhoneValues(m_phones.folder("UNPARSED"), "v['Sim']['FileRelay']={'Status': b'not a list'}"));
        QCOMPARE(requestError(device.handle, {"UserDatabases"}), QStringLiteral("invalid feedback.\n"));
    }

    void streamIsACompressedCpioOfTheDatabaseFolders()
    {
        const QString sms = m_dir.filePath("sms.db");
        QVERIFY(makeSmsDb(sms));
        const IOSDevice device = m_phones.plugIn("STREAMING", {}, {"--sms", sms, "--file", "var/mobile/Media/photo=" + sms});
        QVERIFY(device.handle);
        int socket = -1;
        mobiledevice_file_relay_start(device.handle, &socket);
        mobiledevice_file_relay_request(socket, {"UserDatabases"});
        QByteArray stream(8 << 20, Qt::Uninitialized);
        stream.resize(mobiledevice_receive_data(socket, stream.data(), int(stream.size()), 10000));
        mobiledevice_close_socket(socket);
        const QString archive = m_dir.filePath("stream.cpio.gz");
        QFile file(archive);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(stream) == stream.size());
        file.close();

        const QJsonArray entries = readCpio(archive);
        QStringList names;
        for (const QJsonValue& entry : entries)
            names << entry["name"].toString();
        // Folders come before what they hold; the phone's other folders are not sent.
        QCOMPARE(names, QStringList({"./var/mobile/Library/SMS", "./var/mobile/Library/SMS/sms.db"}));
        const QString phoneDb = m_phones.folder("STREAMING") + "/fs/var/mobile/Library/SMS/sms.db";
        struct stat status;
        QCOMPARE(::stat(QFile::encodeName(phoneDb).constData(), &status), 0);
        const QJsonObject db = entries[1].toObject();
        QCOMPARE(db["mtime"].toInteger(), qint64(status.st_mtime));
        QCOMPARE(db["size"].toInteger(), qint64(status.st_size));
        QCOMPARE(db["sha1"].toString().toLatin1(), runCli("sha1sum", {phoneDb}).out.left(40));
        QCOMPARE(db["mode"].toInt() & 0170000, 0100000);
        QCOMPARE(entries[0]["mode"].toInt() & 0170000, 0040000);
    }

    // A phone unplugged mid-stream ends the archive where it is, without its trailer.
    void unpluggedPhoneCutsTheStream()
    {
        const QString big = m_dir.filePath("cut-big");
        QVERIFY(makeRandomFile(big, 1000000));
        const IOSDevice device = m_phones.plugIn("CUT", {{"FileRelay", QJsonObject{{"ChunkDelayMs", 100}}}},
                                                 {"--file", "var/mobile/Library/SMS/big=" + big});
        QVERIFY(device.handle);
        int socket = -1;
        mobiledevice_file_relay_start(device.handle, &socket);
        mobiledevice_file_relay_request(socket, {"UserDatabases"});
        QByteArray stream(8 << 20, Qt::Uninitialized);
        const int first = mobiledevice_receive_data(socket, stream.data(), 100000, 10000);
        QCOMPARE(first, 100000);
        QVERIFY(QDir().rename(m_phones.folder("CUT"), m_dir.filePath("CUT")));
        stream.resize(first
                      + mobiledevice_receive_data(socket, stream.data() + first, int(stream.size()) - first, 10000));
        mobiledevice_close_socket(socket);
        QVERIFY2(stream.size() < 1000000, qPrintable(QString::number(stream.size())));

        const QString archive = m_dir.filePath("cut.cpio.gz");
        QFile file(archive);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(stream) == stream.size());
        file.close();
        QVERIFY(runCli("python3", {FIXTURES_DIR "/ios/cpio.py", "read", archive}).exitCode != 0);
        QVERIFY(!QFileInfo::exists(m_phones.folder("CUT")));
    }
};

QTEST_GUILESS_MAIN(TestMobileDeviceFileRelay)
#include "TestMobileDeviceFileRelay.moc"
#include "moc_SimPhoneArrivals.cpp"
