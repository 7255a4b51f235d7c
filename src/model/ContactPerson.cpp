#include "model/ContactPerson.h"

QString _ContactPerson::displayName() const
{
    QString name = first;
    for (const QString& part : {middle.trimmed(), last.trimmed()}) {
        if (!part.isEmpty())
            name += QLatin1Char(' ') + part;
    }
    return name.trimmed();
}
