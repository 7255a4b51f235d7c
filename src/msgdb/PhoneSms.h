#pragma once

#include <QString>

class ExportMessagesDb;

// One SMS as a phone's own store keeps it (an Android phone, an older local database):
// a correspondent's address already in canonical form, plain texts, seconds since 2001.
struct PhoneSms
{
    QString address;
    QString contactName;
    QString text;
    QString subject;
    qint32 date = 0;
    bool fromMe = false;
};

// Writes it as a delivered SMS of the one-to-one chat "SMS;-;" + address, its GUID made
// from its fingerprint, so the same SMS always gets the same GUID and is stored once.
void writePhoneSms(ExportMessagesDb& exporter, const PhoneSms& sms);
