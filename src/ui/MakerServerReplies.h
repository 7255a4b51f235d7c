#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QUrl>

// What the window makes of the maker's server: the once-a-day gate of the update check,
// the addresses it asks, and the two kinds of reply. No network here.

inline constexpr int makerVersionCode = 40;
// A reply longer than this is refused: an address or a link needs far less.
inline constexpr qint64 makerReplyLimit = 64 * 1024;
inline constexpr char lastCheckTimeFileName[] = "last-check-version-time";
inline constexpr char lastAdvFileName[] = "last-adv";

// True unless the stored time of the last answer lies less than 86401 s back. A stored
// time in the future wraps round to a huge difference, so it lets the check pass.
bool updateCheckDue(const QDir& dataFolder, quint32 now);
void writeLastCheckTime(const QDir& dataFolder, quint32 now);

QUrl updateCheckUrl();
QUrl updatePageUrl();
QUrl advLinkUrl();

// The download address an update reply offers, or an empty URL when it offers none.
QUrl offeredDownload(const QByteArray& body);
// The anchor drawn in the link colour, or an empty text when the reply is not an anchor
// to an http or https address.
QString decoratedAdvLink(const QByteArray& body);
// The saved link, or an empty text.
QString savedAdvLink(const QDir& dataFolder);
void saveAdvLink(const QDir& dataFolder, const QString& link);
