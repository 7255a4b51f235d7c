// Every compiled-in resource the program names is there: images decode, other files
// are not empty.

#include <QFile>
#include <QImage>
#include <QTest>

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void present_data();
    void present();
};

void TestResources::present_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("imageSize"); // empty for files that are not images
    const QSize icon(32, 32);
    const QSize toolIcon(64, 64);
    const QSize listIcon(24, 24);
    const QList<QPair<const char*, QSize>> resources{
        {":style.css", {}},
        {":/en.qm", {}},
        {":main", QSize(256, 256)},
        {":/main-bg.png", QSize(1920, 96)},
        {":/subwin-bg.png", QSize(800, 44)},
        {":/res/search.png", QSize(20, 20)},
        {":res/devices.png", icon},
        {":res/databases.png", icon},
        {":res/iphone.png", QSize(36, 36)},
        {":res/android.png", icon},
        {":res/database.png", icon},
        {":res/group.png", icon},
        {":res/contact.png", icon},
        {":res/backup.png", toolIcon},
        {":res/a2i.png", toolIcon},
        {":res/db2i.png", toolIcon},
        {":res/export.png", toolIcon},
        {":res/print.png", toolIcon},
        {":res/delete.png", toolIcon},
        {":res/open_db_folder.png", toolIcon},
        {":res/exit.png", toolIcon},
        {":res/help.png", toolIcon},
        {":res/unmount.png", toolIcon},
        {":/res/imsg-send.png", listIcon},
        {":/res/imsg-rec.png", listIcon},
        {":/res/icon_sms-sent.png", listIcon},
        {":/res/icon_sms-receive.png", listIcon},
        {":res/close_icloudbk.jpg", {}},
        {":res/close_itunesbkenc.jpg", {}},
        {":res/countries.db", {}},
        {":res/localmsgdb_ddl.sql", {}},
        {":res/cache_db.sql", {}},
        {":/res/com.veltrominex.smssync.apk", {}},
    };
    for (const auto& [path, size] : resources)
        QTest::newRow(path) << QString::fromLatin1(path) << size;
}

void TestResources::present()
{
    QFETCH(QString, path);
    QFETCH(QSize, imageSize);
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
    const QByteArray bytes = file.readAll();
    QVERIFY(!bytes.isEmpty());
    if (path.endsWith(QLatin1String(".jpg"))) {
        QVERIFY(!QImage::fromData(bytes, "JPG").isNull());
    } else if (imageSize.isValid()) {
        QCOMPARE(QImage::fromData(bytes).size(), imageSize);
    }
}

QTEST_GUILESS_MAIN(TestResources)
#include "TestResources.moc"
