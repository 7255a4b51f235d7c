#pragma once

#include "model/PlistNode.h"

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QSharedPointer>
#include <QString>

// One node of a property list, over libplist. Copies share one PlistNode holder.
// Values taken with arrayItem or dictItem borrow a node of the tree they came from:
// the value owning that tree must outlive them. Nothing here throws; a type mismatch
// gives the empty result of each conversion.
class PlistValue
{
public:
    // Holds no node.
    PlistValue();
    // `node` is a plist_t.
    PlistValue(void* node, bool owned);

    static PlistValue newNone(bool owned = true);
    static PlistValue newBool(bool value, bool owned = true);
    static PlistValue newUInt(quint64 value, bool owned = true);
    static PlistValue newReal(double value, bool owned = true);
    static PlistValue newData(const QByteArray& bytes, bool owned = true);
    // Whole seconds since 2001-01-01 UTC, clamped to the 32-bit range the library keeps.
    static PlistValue newDate(const QDateTime& when, bool owned = true);
    static PlistValue newString(const QString& text, bool owned = true);
    static PlistValue newKey(const QString& text, bool owned = true);
    static PlistValue newArray(bool owned = true);
    static PlistValue newDict(bool owned = true);
    // Binary when longer than 8 bytes and starting "bplist00", else XML. A failed
    // parse gives a value that isNone, and so does a list nesting deeper than the parser
    // can safely go (see PlistLimits.h).
    static PlistValue fromData(const QByteArray& bytes, bool owned = true);
    PlistValue clone(bool owned = true) const;

    bool isNone() const;
    bool isBool() const;
    bool isUInt() const;
    bool isReal() const;
    bool isString() const;
    bool isArray() const;
    bool isDict() const;
    bool isDate() const;
    bool isData() const;
    bool isKey() const;

    bool toBool() const;
    quint64 toUInt() const;
    double toReal() const;
    QString toString() const; // "" (not null) when not a string
    QString toKey() const; // "" (not null) when not a key
    QByteArray toByteArray() const; // null when not data
    QDateTime toDateTime() const; // local time; null when not a date
    int arraySize() const;
    int dictSize() const;
    QString toXml() const; // "" when isNone
    QByteArray toBinary() const; // "" (not null) when isNone
    // Deep copies: the map stays valid after this value is gone.
    QMap<QString, PlistValue> toMap() const;

    // Borrowed values; without node when this is no array or dictionary, or nothing is there.
    PlistValue arrayItem(int index) const;
    PlistValue dictItem(const QString& key) const;
    // When this is an array (a dictionary), the item's node joins its tree and the item
    // turns borrowed. An item whose node already lies in a tree, this one included, is
    // copied in instead and keeps its node; an item without node changes nothing.
    void arrayAppend(const PlistValue& item);
    // Replaces (and frees) an entry under the same key.
    void setItem(const QString& key, const PlistValue& item);

    void* node() const { return holder->node(); }
    void freeNode() { holder->freeNode(); }

private:
    int nodeType() const;
    void* nodeToAttach(const PlistValue& item) const;

    QSharedPointer<PlistNode> holder;
};
