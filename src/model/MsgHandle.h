#pragma once

#include <QByteArray>
#include <QString>

// One correspondent of a message database.
struct _MsgHandle
{
    qint64 rowid = 0;
    QString id; // phone number ("+" international form where known) or e-mail address
    QString country; // two-letter country code
    QString service = QStringLiteral("SMS");
    QString uncanonicalized_id;
    QString _ct_name; // contact display name
    QByteArray _photo;

    // The contact name, with the id in parentheses when withId is set; the id alone
    // when the handle has no contact name.
    QString displayName(bool withId) const;
};
