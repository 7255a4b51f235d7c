#pragma once

#include <QByteArray>
#include <QString>

// One address-book contact; every field is empty when no contact was found.
class _ContactPerson
{
public:
    QString first;
    QString middle;
    QString last;
    QByteArray photo; // thumbnail image bytes

    // First, middle and last name joined by single blanks; blank parts are left out.
    QString displayName() const;
};
