#include "ui/MakerServerReplies.h"

#include "frame/DataFolder.h"
#include "frame/MakerServer.h"

#include <QFile>
#include <QRegularExpression>
#include <QUrlQuery>

namespace {

constexpr quint32 checkInterval = 86401;

QByteArray upToNul(const QByteArray& bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.left(nul);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(makerReplyLimit) : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

bool isWebUrl(const QUrl& url)
{
    return url.isValid() && !url.host().isEmpty()
           && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

QUrl updateUrl(bool automatic)
{
    QUrl url = makerServerUrl(QStringLiteral("sms_check_update.php"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("pid"), QString::fromLatin1(productId));
    query.addQueryItem(QStringLiteral("ver"), QString::number(makerVersionCode));
    if (automatic)
        query.addQueryItem(QStringLiteral("q"), QStringLiteral("1"));
    url.setQuery(query);
    return url;
}

} // namespace

bool updateCheckDue(const QDir& dataFolder, quint32 now)
{
    const quint32 last = upToNul(readFile(dataFolder.filePath(QLatin1String(lastCheckTimeFileName)))).toUInt();
    return last == 0 || quint32(now - last) >= checkInterval;
}

void writeLastCheckTime(const QDir& dataFolder, quint32 now)
{
    writeFile(dataFolder.filePath(QLatin1String(lastCheckTimeFileName)), QByteArray::number(now));
}

QUrl updateCheckUrl()
{
    return updateUrl(true);
}

QUrl updatePageUrl()
{
    return updateUrl(false);
}

QUrl advLinkUrl()
{
    QUrl url = makerServerUrl(QStringLiteral("adv.php"));
    url.setQuery(QStringLiteral("pid=") + QString::fromLatin1(productId));
    return url;
}

QUrl offeredDownload(const QByteArray& body)
{
    const QString text = QString::fromLatin1(upToNul(body));
    if (!text.startsWith(QLatin1String("http://"), Qt::CaseInsensitive))
        return {};
    // The server ends its line with CR LF; taken as it is, the line end would become part
    // of the address ("%0D%0A") and break the download, so it is trimmed off.
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    return isWebUrl(url) ? url : QUrl();
}

QString decoratedAdvLink(const QByteArray& body)
{
    static const QRegularExpression anchorStart(QStringLiteral("^<a"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression href(QStringLiteral("^<a\\s[^>]*?\\bhref\\s*=\\s*[\"']?([^\"'\\s>]+)"),
                                         QRegularExpression::CaseInsensitiveOption);
    QString text = QString::fromUtf8(upToNul(body));
    // The reply comes over plain HTTP into a label that opens its links: only a link to a
    // web page is shown, never one that would start a program or open a local file.
    const QRegularExpressionMatch target = href.match(text);
    if (!target.hasMatch() || !isWebUrl(QUrl(target.captured(1), QUrl::StrictMode)))
        return {};
    return text.replace(anchorStart, QStringLiteral("<a style=\"color:#2762DA;text-decoration:none;\""));
}

QString savedAdvLink(const QDir& dataFolder)
{
    return QString::fromUtf8(upToNul(readFile(dataFolder.filePath(QLatin1String(lastAdvFileName)))));
}

void saveAdvLink(const QDir& dataFolder, const QString& link)
{
    writeFile(dataFolder.filePath(QLatin1String(lastAdvFileName)), link.toUtf8());
}
