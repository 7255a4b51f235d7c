#pragma once

#include <QString>

// Where a phone file lives in a backup: its domain and its path inside the domain.
struct DomainPath
{
    QString domain;
    QString path;
};

// A path below fs/ ("var/mobile/Library/SMS/sms.db") as the backup names it; an empty
// domain for files that are not backed up.
DomainPath domainPathOf(const QString& phonePath);
// The reverse: the path below fs/, or empty for a domain the tool does not know.
QString phonePathOf(const DomainPath& entry);
