#include "itunes/KeyBag.h"

#include "itunes/BackupCrypto.h"
#include "itunes/ITunesLog.h"

#include <QList>
#include <QStringList>
#include <QtEndian>

#include <stdexcept>

namespace {

constexpr quint32 wrappedWithPasswordKey = 2; // bit of a class entry's "WRAP"
constexpr int itemHeaderSize = 8;
constexpr int keyLength = 32;
constexpr int wrappedKeyLength = 40; // a 32-byte key and the 8-byte integrity value

bool isClassTag(const QString& tag)
{
    static const QStringList classTags = {"CLAS", "WRAP", "WPKY", "KTYP", "PBKY"};
    return classTags.contains(tag);
}

} // namespace

KeyBag KeyBag::parse(const QByteArray& data)
{
    KeyBag bag;
    TagMap entry;
    qsizetype pos = 0;
    while (data.size() - pos >= itemHeaderSize) {
        const QString tag = QString::fromLatin1(data.constData() + pos, 4);
        const quint32 length = qFromBigEndian<quint32>(data.constData() + pos + 4);
        pos += itemHeaderSize;
        if (length > quint64(data.size() - pos))
            break;
        const QByteArray value = data.mid(pos, length);
        pos += length;

        if ((tag == QLatin1String("UUID") || tag == QLatin1String("WRAP")) && !bag.attributes.contains(tag)) {
            bag.attributes.insert(tag, value);
        } else if (tag == QLatin1String("UUID")) {
            entry.clear();
            entry.insert(tag, value);
        } else if (isClassTag(tag)) {
            entry.insert(tag, value);
        } else {
            bag.attributes.insert(tag, value);
        }
        if (entry.contains(QStringLiteral("CLAS")))
            bag.classKeys.insert(int(attrInt(entry, QStringLiteral("CLAS"))), entry);
    }
    return bag;
}

bool KeyBag::unlock(const QByteArray& password, const DerivationProgress& progress)
{
    const quint32 iterations = attrInt(attributes, QStringLiteral("ITER"));
    if (iterations > maxIterations) {
        qCWarning(lcITunes, "keybag: refused an iteration count of %u", iterations);
        throw std::runtime_error(QStringLiteral("The backup's keybag is damaged: it asks for %1 rounds of key "
                                                "derivation, more than %2.")
                                     .arg(iterations)
                                     .arg(maxIterations)
                                     .toStdString());
    }
    QList<TagMap*> wrapped;
    for (TagMap& entry : classKeys) {
        if ((attrInt(entry, QStringLiteral("WRAP")) & wrappedWithPasswordKey) && entry.contains(QStringLiteral("WPKY")))
            wrapped.append(&entry);
    }
    if (wrapped.isEmpty()) {
        qCWarning(lcITunes, "keybag: no class key is wrapped with the password key");
        return false;
    }

    const QByteArray passwordKey =
        pbkdf2Sha1(password, attributes.value(QStringLiteral("SALT")), iterations, keyLength, progress);
    if (passwordKey.isEmpty())
        return false;
    for (TagMap* entry : std::as_const(wrapped)) {
        const QByteArray wrappedKey = entry->value(QStringLiteral("WPKY"));
        const QByteArray key =
            wrappedKey.size() == wrappedKeyLength ? aesUnwrap(passwordKey, wrappedKey) : QByteArray();
        if (key.isEmpty())
            return false;
        entry->insert(QStringLiteral("KEY"), key);
    }
    return true;
}

quint32 KeyBag::attrInt(const TagMap& items, const QString& tag)
{
    const auto it = items.constFind(tag);
    if (it == items.constEnd() || it->size() < 4)
        return 0;
    return qFromBigEndian<quint32>(it->constData());
}

QByteArray KeyBag::unwrapFileKey(int protectionClass, const QByteArray& wrappedKey) const
{
    const auto entry = classKeys.constFind(protectionClass);
    if (entry == classKeys.constEnd() || wrappedKey.size() != wrappedKeyLength)
        return QByteArray();
    const QByteArray classKey = entry->value(QStringLiteral("KEY"));
    if (classKey.isEmpty())
        return QByteArray();
    return aesUnwrap(classKey, wrappedKey);
}
