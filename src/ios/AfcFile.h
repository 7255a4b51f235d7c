#pragma once

#include <QtGlobal>

// An open file of an AfcConnection, which must outlive it: the file borrows its socket.
class AfcFile
{
public:
    AfcFile() = default;
    ~AfcFile();
    Q_DISABLE_COPY_MOVE(AfcFile)

    bool isOpen() const { return m_handle != 0; }
    // Errors are ignored: the phone forgets the handle with the connection anyway.
    void close();
    // The count read or written, -1 on failure.
    qint64 read(char* buffer, qint64 count);
    qint64 write(const char* data, qint64 count);

private:
    friend class AfcConnection;

    int m_socket = 0;
    quint64 m_handle = 0;
};
