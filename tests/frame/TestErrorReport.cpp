#include "frame/ErrorReport.h"

#include "support/HttpRecorder.h"

#include <QMap>
#include <QTest>

namespace {

QString decodeField(QByteArray value)
{
    value.replace('!', '/').replace('-', '=');
    return QString::fromUtf8(QByteArray::fromBase64(value, QByteArray::AbortOnBase64DecodingErrors));
}

// The body's fields in order, as name and raw value.
QList<QPair<QByteArray, QByteArray>> splitBody(const QByteArray& body)
{
    QList<QPair<QByteArray, QByteArray>> fields;
    for (const QByteArray& field : body.split('&')) {
        const qsizetype equals = field.indexOf('=');
        fields.append({field.left(equals), field.mid(equals + 1)});
    }
    return fields;
}

} // namespace

class TestErrorReport : public QObject
{
    Q_OBJECT

private slots:
    void fieldEncoding_data();
    void fieldEncoding();
    void body_data();
    void body();
    void postedToTheMakerServer();
};

void TestErrorReport::fieldEncoding_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("encoded");
    QTest::newRow("no padding") << "abc" << "YWJj";
    QTest::newRow("two padding characters") << "a" << "YQ--";
    QTest::newRow("slash becomes exclamation mark") << "?>?" << "Pz4!";
    QTest::newRow("plus stays") << "~~~" << "fn5+";
    QTest::newRow("UTF-8 bytes") << QStringLiteral("\u00e9") << "w6k-";
    QTest::newRow("empty") << "" << "";
}

void TestErrorReport::fieldEncoding()
{
    QFETCH(QString, text);
    QFETCH(QString, encoded);
    QCOMPARE(reportFieldEncode(text), encoded);
}

void TestErrorReport::body_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("reported");
    QTest::newRow("line break and bold") << "Bad<br/>thing <b>x</b>" << "Bad\r\nthing &lt;b&gt;x&lt;/b&gt;";
    QTest::newRow("line breaks in any case and spacing")
        << "a<BR />b< br>c<br  />d<Br>" << "a\r\nb\r\nc\r\nd\r\n";
    QTest::newRow("tag that only starts like a line break") << "<bra>" << "&lt;bra&gt;";
    QTest::newRow("non-ASCII text") << QStringLiteral("Datei \u00fcberschrieben") << QStringLiteral("Datei \u00fcberschrieben");
}

void TestErrorReport::body()
{
    QFETCH(QString, text);
    QFETCH(QString, reported);

    const auto fields = splitBody(errorReportBody(text));
    QCOMPARE(fields.size(), 3);
    QCOMPARE(fields[0].first, "prod");
    QCOMPARE(decodeField(fields[0].second), "Veltrominex Message Transfer");
    QCOMPARE(fields[1].first, "ver");
    QCOMPARE(fields[1].second, "Mi4xNC4xMig0MCk-");
    QCOMPARE(fields[2].first, "err");
    QCOMPARE(decodeField(fields[2].second), reported);
}

void TestErrorReport::postedToTheMakerServer()
{
    HttpRecorder server;
    QVERIFY(server.listening);
    qputenv("VELTROMINEX_SERVER", server.baseUrl() + "/");

    const QString text = QStringLiteral("Cannot open <b>sms.db</b><br/>disk full");
    sendErrorReport(text);
    QVERIFY(server.waitForRequests(1));

    const HttpRequest& request = server.requests.first();
    QCOMPARE(request.method, "POST");
    QCOMPARE(request.path, "/err_report.php");
    QCOMPARE(request.version, "HTTP/1.1");
    QCOMPARE(request.headers.value("host"), server.baseUrl().mid(int(strlen("http://"))));
    QCOMPARE(request.headers.value("content-type"), "application/x-www-form-urlencoded");
    QCOMPARE(request.body, errorReportBody(text));
}

QTEST_GUILESS_MAIN(TestErrorReport)
#include "TestErrorReport.moc"
