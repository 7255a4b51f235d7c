#include "ui/LocalDbNames.h"

bool isUsableLocalDbName(const QString& name)
{
    static const QString refused = QStringLiteral("\\/:*?\"<>|");
    bool onlyDotsAndBlanks = true;
    for (const QChar c : name) {
        if (refused.contains(c) || c.category() == QChar::Other_Control)
            return false;
        if (c != QLatin1Char('.') && !c.isSpace())
            onlyDotsAndBlanks = false;
    }
    return !onlyDotsAndBlanks;
}

int indexOfLocalDbName(const QStringList& names, const QString& name)
{
    const int exact = int(names.indexOf(name));
    if (exact >= 0)
        return exact;
    for (int i = 0; i < names.size(); ++i) {
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}
