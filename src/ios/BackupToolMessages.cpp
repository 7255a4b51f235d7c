#include "ios/BackupToolMessages.h"

#include "frame/MakerServer.h"
#include "ios/IOSDevice.h"

#include <QRegularExpression>

namespace {

const QString restartNote = QStringLiteral("<br/><br/>Note: You can restart your device to try again.");

// "&" first, so that the entities made for "<" and ">" stay as they are.
QString escaped(const QString& text)
{
    QString result = text;
    result.replace(QLatin1Char('&'), QLatin1String("&amp;"));
    result.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    result.replace(QLatin1Char('>'), QLatin1String("&gt;"));
    return result;
}

QString findMyIPhoneAdvice()
{
    return QStringLiteral("Please follow <a href=\"%1\"> this tutorial</a> to disable \"Find my iPhone\" first and "
                          "then restart your iPhone to try again.<br/><br/>")
        .arg(makerServerUrl(QStringLiteral("guides/how-to-disable-find-my-iphone.html")).toString());
}

QString freeSpaceAdvice(qint64 requiredBytes)
{
    // 'g' with 3 digits: "3", "12", "1.4"; one digit would show 12 as "1e+01".
    const double gigabytes = double(requiredBytes) / 1024 / 1024 / 1024;
    return QStringLiteral("%1 GB free disk space on your device is required restore data.  Please remove some camera "
                          "roll videos from your device to computer to free up disk space first and then try again.")
        .arg(QString::number(gigabytes, 'g', 3));
}

} // namespace

QString deviceBackupRefusal(const IOSDevice& device)
{
    if (!device.handle)
        return QStringLiteral("This iPhone is not connected. Please connect it to the computer and try again.");
    if (!IOSDevice::isPlainDeviceId(device.uniqueDeviceId))
        return QStringLiteral("This iPhone reports an identifier that cannot name its backup folder.");
    return QString();
}

QString backupFailureMessage(const QString& toolText)
{
    return escaped(toolText) + restartNote;
}

QString restoreFailureMessage(const QString& toolText)
{
    static const QRegularExpression findMy(QStringLiteral("Find My iPhone must be disabled"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression freeSpace(
        QStringLiteral("Insufficient free disk space on device to restore \\((\\d+) [^\\d]+ (\\d+)\\)"),
        QRegularExpression::CaseInsensitiveOption);
    const QString message = escaped(toolText);
    if (message.contains(findMy))
        return findMyIPhoneAdvice();
    const QRegularExpressionMatch match = freeSpace.match(message);
    if (match.hasMatch())
        return freeSpaceAdvice(match.captured(2).toLongLong());
    return message + restartNote;
}
