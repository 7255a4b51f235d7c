#include "sqlite/Sqlite3RowReader.h"

#include "sqlite/Sqlite3Cursor.h"

#include <cstring>
#include <stdexcept>

bool Sqlite3RowReader::moveNext()
{
    m_next = 0;
    return m_cursor.moveNext();
}

int Sqlite3RowReader::position(const char* name)
{
    if (m_next == m_names.size()) {
        m_names.append(name);
        m_positions.append(m_cursor.columnIndex(QString::fromLatin1(name)));
    } else if (m_names[m_next] != name && std::strcmp(m_names[m_next], name) != 0) {
        throw std::logic_error(std::string("column ") + name + " read out of the first row's order");
    }
    return m_positions[m_next++];
}

QString Sqlite3RowReader::text(const char* name)
{
    return m_cursor.getText(position(name));
}

int Sqlite3RowReader::integer(const char* name)
{
    return m_cursor.getInt(position(name));
}

qint64 Sqlite3RowReader::int64(const char* name)
{
    return m_cursor.getInt64(position(name));
}

QByteArray Sqlite3RowReader::blob(const char* name)
{
    return m_cursor.getBlob(position(name));
}
