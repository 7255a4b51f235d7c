#include "ios/AfcFile.h"

#include "ios/afc.h"

#include <exception>

AfcFile::~AfcFile()
{
    close();
}

void AfcFile::close()
{
    if (m_handle == 0)
        return;
    try {
        afc_file_close(m_socket, m_handle);
    } catch (const std::exception&) {
    }
    m_handle = 0;
}

qint64 AfcFile::read(char* buffer, qint64 count)
{
    if (m_handle == 0)
        return -1;
    try {
        return afc_file_read(m_socket, m_handle, buffer, count);
    } catch (const std::exception&) {
        return -1;
    }
}

qint64 AfcFile::write(const char* data, qint64 count)
{
    if (m_handle == 0)
        return -1;
    try {
        return afc_file_write(m_socket, m_handle, data, count);
    } catch (const std::exception&) {
        return -1;
    }
}
