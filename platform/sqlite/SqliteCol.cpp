#include "sqlite/SqliteCol.h"

namespace {

enum class Affinity { Integer, Text, Blob, Real, Numeric };

Affinity affinityOf(const QString& declaredType)
{
    const QString t = declaredType.toUpper();
    if (t.contains(QLatin1String("INT")))
        return Affinity::Integer;
    if (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("CLOB")) || t.contains(QLatin1String("TEXT")))
        return Affinity::Text;
    if (t.contains(QLatin1String("BLOB")) || t.trimmed().isEmpty())
        return Affinity::Blob;
    if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA")) || t.contains(QLatin1String("DOUB")))
        return Affinity::Real;
    return Affinity::Numeric;
}

} // namespace

_SqliteCol::_SqliteCol(const QString& name, const QString& type, bool notNull, bool hasDefault, bool primaryKey)
    : name(name), type(type), notNull(notNull), hasDefault(hasDefault), primaryKey(primaryKey)
{
}

bool _SqliteCol::isInteger() const { return affinityOf(type) == Affinity::Integer; }
bool _SqliteCol::isText() const { return affinityOf(type) == Affinity::Text; }
bool _SqliteCol::isBlob() const { return affinityOf(type) == Affinity::Blob; }
bool _SqliteCol::isReal() const { return affinityOf(type) == Affinity::Real; }
bool _SqliteCol::isNumeric() const { return affinityOf(type) == Affinity::Numeric; }
