#include "itunes/MbdbRecord.h"

#include <QCryptographicHash>

#include <stdexcept>

QString MbdbString::toString() const
{
    if (!hasData())
        return QString();
    const qsizetype nul = bytes.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? bytes : bytes.left(nul));
}

void MbdbString::setBytes(const QByteArray& data)
{
    if (data.size() >= absentLength)
        throw std::runtime_error("A name or value of " + std::to_string(data.size())
                                 + " bytes is too long for the backup manifest.");
    bytes = data;
    length = quint16(data.size());
}

MbdbString MbdbString::fromText(const QString& text)
{
    MbdbString s;
    s.setBytes(text.toUtf8());
    return s;
}

QString MbdbRecord::fileHash() const
{
    const QByteArray name = domain.bytes + '-' + path.bytes;
    return QString::fromLatin1(QCryptographicHash::hash(name, QCryptographicHash::Sha1).toHex());
}

bool MbdbRecord::hasPlainPath() const
{
    if (!path.hasData())
        return true;
    return path.bytes.size() == path.length && !path.bytes.contains('\0')
        && path.toString().toUtf8() == path.bytes;
}

bool MbdbRecord::isDir() const
{
    return size == 0 && linkTarget.toString().isEmpty();
}

QString backupFileHash(const QString& domain, const QString& path)
{
    const QByteArray name = (domain + QLatin1Char('-') + path).toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(name, QCryptographicHash::Sha1).toHex());
}

bool mbdbRecordLessThan(const MbdbRecord& a, const MbdbRecord& b)
{
    const QString domainA = a.domain.toString();
    const QString domainB = b.domain.toString();
    if (domainA != domainB)
        return domainA < domainB;
    const QString pathA = a.path.toString();
    const QString pathB = b.path.toString();
    if (pathA != pathB)
        return pathA < pathB;
    // Texts cut at a NUL can be equal; the stored bytes still order the records.
    if (a.domain.bytes != b.domain.bytes)
        return a.domain.bytes < b.domain.bytes;
    return a.path.bytes < b.path.bytes;
}
