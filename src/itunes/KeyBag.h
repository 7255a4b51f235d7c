#pragma once

#include "itunes/BackupCrypto.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

// The keybag of an encrypted backup ("BackupKeyBag" of Manifest.plist): items of a
// 4-letter tag, a 32-bit big-endian length and a value, running to the end of the data.
// The items before the second "UUID" describe the keybag; every later "UUID" begins the
// entry of one protection class, whose class key is wrapped with the password key.
class KeyBag
{
public:
    using TagMap = QMap<QString, QByteArray>;

    TagMap attributes;
    // Protection class to its entry; unlock() adds the unwrapped class key as "KEY".
    QMap<int, TagMap> classKeys;

    // Never fails: an item cut short by the end of the data ends the parse, and the items
    // before it stay.
    static KeyBag parse(const QByteArray& data);

    // Above this many rounds of key derivation a keybag is taken for damaged: an unlock
    // would run for hours.
    static constexpr quint32 maxIterations = 10'000'000;

    // True when at least one class key is wrapped with the password key and every such
    // key was unwrapped and passed the integrity check. False for a wrong password or a
    // damaged keybag (no such key, or one of another length): a keybag without them
    // proves no password. The first failure ends the unlock; entries done before keep
    // their "KEY". progress follows the key derivation and may stop it, which fails the
    // unlock. Throws std::runtime_error for an iteration count above maxIterations.
    bool unlock(const QByteArray& password, const DerivationProgress& progress = {});
    // The part of unlock() after the key derivation, given the derived password key.
    bool unlockWithPasswordKey(const QByteArray& passwordKey);

    // The first four bytes of the tag's value, big-endian; 0 when absent or shorter.
    static quint32 attrInt(const TagMap& items, const QString& tag);

    // The key of one file from its wrapped key (40 bytes); empty when the class is unknown
    // or was not unlocked, or the wrapped key has another length or fails to unwrap.
    QByteArray unwrapFileKey(int protectionClass, const QByteArray& wrappedKey) const;

private:
    // The class entries whose key is wrapped with the password key.
    QList<TagMap*> passwordWrappedKeys();
};
