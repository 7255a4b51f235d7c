#include "itunes/SafeCacheEntry.h"

#include <QStringList>

#include <algorithm>

namespace {

bool hasControlCharacter(const QString& text)
{
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}

bool isPlainComponent(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/')) && !hasControlCharacter(name);
}

} // namespace

bool isSafeCacheEntry(const QString& nodeName, const QString& recordPath)
{
    if (!isPlainComponent(nodeName))
        return false;
    if (recordPath.isEmpty())
        return true;
    const QStringList components = recordPath.split(QLatin1Char('/'));
    return std::all_of(components.begin(), components.end(), isPlainComponent);
}
