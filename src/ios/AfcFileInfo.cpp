#include "ios/AfcFileInfo.h"

#include "ios/AfcConnection.h"
#include "ios/afc.h"

#include <exception>

AfcFileInfo AfcFileInfo::query(AfcConnection& connection, const QString& path)
{
    if (connection.socket() == 0)
        return {};
    try {
        const QMap<QString, QString> map = afc_get_file_info(connection.socket(), path);
        AfcFileInfo info(path);
        info.st_ifmt = map.value(QStringLiteral("st_ifmt"));
        info.size = map.value(QStringLiteral("st_size")).toLongLong();
        const auto mtime = map.constFind(QStringLiteral("st_mtime"));
        // Nanoseconds since 1970, shown in local time.
        if (mtime != map.constEnd())
            info.mtime = QDateTime::fromMSecsSinceEpoch(mtime->toLongLong() / 1000000);
        return info;
    } catch (const std::exception&) {
        return {};
    }
}
