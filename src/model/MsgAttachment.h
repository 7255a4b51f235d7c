#pragma once

#include <QByteArray>
#include <QString>

// One attachment row of a message database. Dates are seconds since 2001-01-01 UTC.
struct _MsgAttachment
{
    qint64 rowid = 0;
    QString guid;
    qint32 created_date = 0;
    qint32 start_date = 0;
    QString filename; // the path on the phone, as the phone's database stores it
    QString uti;
    QString mime_type;
    qint32 transfer_state = 5;
    qint32 is_outgoing = 0;
    QByteArray user_info;
    QString transfer_name;
    qint64 total_bytes = 0;
    QString localPath; // a copy of the file on this computer; writers and thumbnails read it
};
