#include "PhoneLink.h"

#include "ToolError.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

namespace {

bool isPluggedIn(const QString& deviceFolder)
{
    return QFileInfo(deviceFolder + QStringLiteral("/values.plist")).isFile();
}

} // namespace

PhoneLink::PhoneLink(const QString& deviceFolder)
    : m_folder(deviceFolder)
{
    if (!isPluggedIn(deviceFolder))
        throw ToolError("No device " + QFileInfo(deviceFolder).fileName().toStdString());
    m_files =
        ::open(QFile::encodeName(deviceFolder + QStringLiteral("/fs")).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

PhoneLink::~PhoneLink()
{
    if (m_files >= 0)
        ::close(m_files);
}

void PhoneLink::check() const
{
    if (m_files < 0 || !isPluggedIn(m_folder))
        throw ToolError("The device was disconnected");
}

QString PhoneLink::heldFiles() const
{
    return QStringLiteral("/proc/self/fd/%1").arg(m_files);
}
