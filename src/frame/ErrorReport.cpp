#include "frame/ErrorReport.h"

#include "frame/AppVersion.h"
#include "frame/MakerServer.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>

namespace {

// One manager for the process, never destroyed: a report may still be under way when the
// program ends, and destroying the manager then leaves its connection objects behind.
QNetworkAccessManager* network()
{
    static QNetworkAccessManager* manager = new QNetworkAccessManager;
    return manager;
}

// Line-break tags become CR LF; every other tag is sent as text, not markup.
QString plainErrorText(QString text)
{
    static const QRegularExpression lineBreak(QStringLiteral("< *br */?>"), QRegularExpression::CaseInsensitiveOption);
    text.replace(lineBreak, QStringLiteral("\r\n"));
    text.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
    text.replace(QLatin1Char('>'), QStringLiteral("&gt;"));
    return text;
}

} // namespace

QString reportFieldEncode(const QString& text)
{
    QString encoded = QString::fromLatin1(text.toUtf8().toBase64());
    encoded.replace(QLatin1Char('/'), QLatin1Char('!'));
    encoded.replace(QLatin1Char('='), QLatin1Char('-'));
    return encoded;
}

QByteArray errorReportBody(const QString& text)
{
    const QString version = QStringLiteral("%1(%2)").arg(QLatin1String(appVersionNumber)).arg(appBuildNumber);
    const QString body = QStringLiteral("prod=") + reportFieldEncode(QObject::tr("Veltrominex Message Transfer"))
                         + QStringLiteral("&ver=") + reportFieldEncode(version)
                         + QStringLiteral("&err=") + reportFieldEncode(plainErrorText(text));
    return body.toUtf8();
}

void sendErrorReport(const QString& text)
{
    QNetworkRequest request(makerServerUrl(QStringLiteral("err_report.php")));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    QNetworkReply* reply = network()->post(request, errorReportBody(text));
    QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
}
