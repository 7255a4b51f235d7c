#include "ios/AfcConnection.h"

#include "ios/AfcFile.h"
#include "ios/afc.h"
#include "ios/mobiledevice_session.h"
#include "ios/mobiledevice_socket.h"

#include <QDir>

#include <exception>

namespace {

// Runs one operation; a std::exception becomes false. Without a socket nothing is sent:
// socket 0 is the process's standard input, never a phone.
template <class Operation>
bool succeeded(int socket, Operation operation)
{
    if (socket == 0)
        return false;
    try {
        operation();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

AfcConnection::AfcConnection(void* device) : m_device(device) {}

AfcConnection::~AfcConnection()
{
    close();
}

void AfcConnection::connect(const QString& appId)
{
    close();
    int socket = 0;
    mobiledevice_start_service(m_device, appId.isEmpty() ? "com.apple.afc" : "com.apple.mobile.house_arrest", &socket);
    if (!appId.isEmpty()) {
        try {
            afc_house_arrest_vend_container(socket, appId);
        } catch (...) {
            mobiledevice_close_socket(socket);
            throw;
        }
    }
    m_socket = socket;
}

void AfcConnection::close()
{
    if (m_socket != 0)
        mobiledevice_close_socket(m_socket);
    m_socket = 0;
}

bool AfcConnection::makeDirectory(const QString& path)
{
    return succeeded(m_socket, [&] { afc_make_directory(m_socket, path); });
}

bool AfcConnection::remove(const QString& path)
{
    return succeeded(m_socket, [&] { afc_remove_path(m_socket, path); });
}

bool AfcConnection::rename(const QString& oldPath, const QString& newPath)
{
    return succeeded(m_socket, [&] { afc_rename_path(m_socket, oldPath, newPath); });
}

bool AfcConnection::open(const QString& path, quint64 mode, AfcFile& file)
{
    quint64 handle = 0;
    if (!succeeded(m_socket, [&] { handle = afc_file_open(m_socket, path, mode); }) || handle == 0)
        return false;
    file.close();
    file.m_socket = m_socket;
    file.m_handle = handle;
    return true;
}

QList<AfcFileInfo> AfcConnection::list(const QString& folder)
{
    QStringList names;
    if (!succeeded(m_socket, [&] { names = afc_read_directory(m_socket, folder); }))
        return {};
    QList<AfcFileInfo> entries;
    const QDir dir(folder);
    for (const QString& name : names) {
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            continue;
        const AfcFileInfo info = AfcFileInfo::query(*this, dir.absoluteFilePath(name));
        if (info.isFile() || info.isDir())
            entries.append(info);
    }
    return entries;
}
