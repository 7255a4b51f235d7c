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

// A valid http or https address with a host: the only kind the window opens from what
// the maker's server sent.
bool isWebUrl(const QUrl& url);

// The download address an update reply offers, or an empty URL when it offers none.
QUrl offeredDownload(const QByteArray& body);
// The link label's markup for a reply that begins with an anchor to an http or https
// address around plain text (advLinkMarkup), or an empty text.
QString decoratedAdvLink(const QByteArray& body);
// The saved link, rebuilt as decoratedAdvLink builds it, or an empty text; a saved text
// that is no such link is removed.
QString savedAdvLink(const QDir& dataFolder);
void saveAdvLink(const QDir& dataFolder, const QString& link);
