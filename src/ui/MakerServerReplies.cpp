#include "ui/MakerServerReplies.h"

#include "frame/DataFolder.h"
#include "frame/MakerServer.h"
#include "ui/AdvLinkMarkup.h"

#include <QFile>
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

bool isWebUrl(const QUrl& url)
{
    return url.isValid() && !url.host().isEmpty()
           && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

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
    return advLinkMarkup(QString::fromUtf8(upToNul(body)));
}

QString savedAdvLink(const QDir& dataFolder)
{
    const QString path = dataFolder.filePath(QLatin1String(lastAdvFileName));
    const QString link = advLinkMarkup(QString::fromUtf8(upToNul(readFile(path))));
    // A text that is no such link (an older program saved the reply as it came) would be
    // dropped again at every start.
    if (link.isEmpty())
        QFile::remove(path);
    return link;
}

void saveAdvLink(const QDir& dataFolder, const QString& link)
{
    writeFile(dataFolder.filePath(QLatin1String(lastAdvFileName)), link.toUtf8());
}
