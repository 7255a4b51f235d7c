#include "ui/MainWindow.h"

#include "frame/DataFolder.h"
#include "frame/MakerServerNetwork.h"
#include "frame/MessageBox.h"
#include "ui/MakerServerReplies.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStatusBar>

namespace {

// A server that accepts the connection and then says nothing must not keep the reply
// open for the rest of the run.
constexpr int replyTimeoutMs = 30000;

QNetworkReply* getFromMakerServer(const QUrl& url)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(replyTimeoutMs);
    QNetworkReply* reply = makerServerNetwork().get(request);
    // Nothing the window wants is this long: a longer reply is stopped, not held in memory.
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > makerReplyLimit)
            reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    return reply;
}

// The reply the slot handles, once it has finished; the member is cleared, so that a
// second call finds nothing.
QNetworkReply* takeFinished(QPointer<QNetworkReply>& pending)
{
    if (!pending || !pending->isFinished())
        return nullptr;
    QNetworkReply* reply = pending;
    pending.clear();
    return reply;
}

// The body of a complete reply with status 200; empty when it is longer than
// makerReplyLimit, since a part of an address is no address.
QByteArray completeBody(QNetworkReply& reply)
{
    if (reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200 || reply.error() != QNetworkReply::NoError)
        return {};
    const QByteArray body = reply.read(makerReplyLimit + 1);
    return body.size() > makerReplyLimit ? QByteArray() : body;
}

} // namespace

void MainWindow::createAdvLinkLabel()
{
    advLinkLabel = new QLabel(statusBar());
    advLinkLabel->setObjectName(QStringLiteral("lbAdvLink"));
    advLinkLabel->setTextFormat(Qt::RichText);
    advLinkLabel->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    advLinkLabel->setOpenExternalLinks(false);
    connect(advLinkLabel, &QLabel::linkActivated, this, &MainWindow::openAdvLink);
    statusBar()->addWidget(advLinkLabel, 0);
    statusBar()->setStyleSheet(QStringLiteral("QStatusBar::item{border: 0px}"));
    advLinkLabel->setText(savedAdvLink(appDataDir()));
}

void MainWindow::openAdvLink(const QString& link)
{
    // The link text came over plain HTTP: a click may show a web page, never start a
    // program or open a local file.
    const QUrl url(link, QUrl::StrictMode);
    if (isWebUrl(url))
        QDesktopServices::openUrl(url);
}

void MainWindow::startDailyUpdateCheck()
{
    if (!updateCheckDue(appDataDir(), quint32(QDateTime::currentSecsSinceEpoch())))
        return;
    updateCheckReply = getFromMakerServer(updateCheckUrl());
    connect(updateCheckReply, &QNetworkReply::finished, this, &MainWindow::onCheckVersionReadyRead);
    advLinkReply = getFromMakerServer(advLinkUrl());
    connect(advLinkReply, &QNetworkReply::finished, this, &MainWindow::onGetAdvLinkRead);
}

void MainWindow::onCheckVersionReadyRead()
{
    QNetworkReply* reply = takeFinished(updateCheckReply);
    // Only a reply with a status counts as an answer; without one (no connection, no
    // reply in time) the next start asks again.
    if (!reply || !reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return;
    writeLastCheckTime(appDataDir(), quint32(QDateTime::currentSecsSinceEpoch()));
    const QUrl download = offeredDownload(completeBody(*reply));
    if (download.isEmpty())
        return;
    if (!askYesNo(QStringLiteral("A new version of %1 is available. Would you like to download it now?")
                      .arg(QObject::tr("Veltrominex Message Transfer"))))
        return;
    QDesktopServices::openUrl(download);
    close();
}

void MainWindow::onGetAdvLinkRead()
{
    QNetworkReply* reply = takeFinished(advLinkReply);
    if (!reply)
        return;
    const QString link = decoratedAdvLink(completeBody(*reply));
    if (link.isEmpty())
        return;
    advLinkLabel->setText(link);
    saveAdvLink(appDataDir(), link);
}

void MainWindow::miCheckUpdate()
{
    QDesktopServices::openUrl(updatePageUrl());
}
