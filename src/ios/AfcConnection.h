#pragma once

#include "ios/AfcFileInfo.h"

#include <QList>
#include <QString>

class AfcFile;

// A connection to the phone's media files, or to one app's container. Only connect()
// throws; every other operation turns a failure into its failure value.
class AfcConnection
{
public:
    // Open modes; other values go to the phone as they are.
    static constexpr quint64 readMode = 1;
    static constexpr quint64 writeMode = 3;

    // The device handle is borrowed.
    explicit AfcConnection(void* device);
    ~AfcConnection();
    Q_DISABLE_COPY_MOVE(AfcConnection)

    // An empty appId opens the media files, another one that app's container.
    void connect(const QString& appId = {});
    void close();
    // 0 when not connected.
    int socket() const { return m_socket; }

    bool makeDirectory(const QString& path);
    bool remove(const QString& path);
    bool rename(const QString& oldPath, const QString& newPath);
    bool open(const QString& path, quint64 mode, AfcFile& file);
    bool openRead(const QString& path, AfcFile& file) { return open(path, readMode, file); }
    bool openWrite(const QString& path, AfcFile& file) { return open(path, writeMode, file); }
    // The files and folders of folder, in the phone's order; links and entries whose
    // information cannot be read are left out.
    QList<AfcFileInfo> list(const QString& folder);

private:
    void* m_device;
    int m_socket = 0;
};
