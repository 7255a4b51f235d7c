#include "ios/CommonProgramFiles.h"

QString commonProgramFilesFolder()
{
    const QString fromEnvironment = qEnvironmentVariable("CommonProgramFiles");
    return fromEnvironment.isEmpty() ? QStringLiteral(DEVICE_COMMON_FILES_DIR) : fromEnvironment;
}
