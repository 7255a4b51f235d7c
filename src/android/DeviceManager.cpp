#include "android/DeviceManager.h"

#include <QCoreApplication>
#include <QUrl>

QString deviceManagerPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/VeltrominexDeviceManager");
}

QString deviceManagerLink()
{
    return QUrl::fromLocalFile(deviceManagerPath()).toString(QUrl::FullyEncoded);
}
