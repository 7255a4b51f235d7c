#include "frame/StyleSheet.h"

#include <QFile>

QString appStyleSheet()
{
    static QString cache;
    if (cache.isEmpty()) {
        QFile file(QStringLiteral(":style.css"));
        if (file.open(QIODevice::ReadOnly)) {
            QByteArray bytes = file.readAll();
            const qsizetype nul = bytes.indexOf('\0');
            if (nul >= 0)
                bytes.truncate(nul);
            cache = QString::fromLatin1(bytes);
        }
    }
    return cache;
}
