#include "frame/MakerServer.h"

#include <QtGlobal>

QUrl makerServerUrl(const QString& path)
{
    QString base = qEnvironmentVariable("VELTROMINEX_SERVER");
    if (base.isEmpty())
        base = QStringLiteral("http://www.veltrominex.example");
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return QUrl(base + QLatin1Char('/') + path);
}
