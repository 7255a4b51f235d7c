#pragma once

#include "mobiledevice/abi.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QPair>
#include <QSharedPointer>
#include <QString>

// One wrapped CoreFoundation reference. Deleting the last holder releases the reference
// when the wrapper owns it.
struct CFTypeHolder
{
    CFTypeHolder(CFTypeRef r, bool o) : ref(r), owned(o) {}
    ~CFTypeHolder();
    Q_DISABLE_COPY_MOVE(CFTypeHolder)

    CFTypeRef ref;
    bool owned;
};

// A shared CoreFoundation value: the program's one way to CoreFoundation. Copies share the
// reference; children put into a dictionary or array stay alive with every copy of it.
// Results of value(), at() and keys() are borrowed: keep their container alive meanwhile.
// The device libraries must be loaded before any use.
class CFType
{
public:
    CFType() : CFType(nullptr, true) {}
    CFType(CFTypeRef ref, bool owned);
    CFType(const CFType&) = default;
    CFType& operator=(const CFType&) = default;
    virtual ~CFType();

    CFTypeRef ref() const { return m_holder->ref; }
    CFTypeID typeId() const;
    bool isNumber() const;
    bool isBoolean() const;
    bool isString() const;
    bool isData() const;
    bool isDate() const;
    bool isDictionary() const;
    bool isArray() const;

    // A value of another type gives the default or an empty result.
    int toInt(int defaultValue = 0) const;
    qint64 toLongLong(qint64 defaultValue = 0) const;
    double toDouble(double defaultValue = 0) const;
    bool toBool(bool defaultValue = false) const; // booleans only, not numbers
    CFIndex stringLength() const;                 // UTF-16 units
    QString toString() const;
    CFIndex dataLength() const;
    QByteArray toByteArray() const;
    // The calendar fields in that zone (null: GMT), labelled as local time as they stand.
    QDateTime toDateTime(CFTimeZoneRef zone) const;
    QDateTime toDateTime(int offsetSeconds) const;
    QDateTime toDateTime(const QString& zoneName) const;
    QString valueText() const;

    static CFType createDictionary();
    static CFType createArray();
    CFIndex dictionaryCount() const;
    CFIndex arrayCount() const;
    CFType value(const CFType& key) const;
    CFType value(const QString& key) const;
    CFType& setValue(const CFType& key, const CFType& value);
    QList<CFType> keys() const;
    // A null wrapper when index is outside the array: a phone's array may be short.
    CFType at(int index) const;
    CFType& append(const CFType& item);

    static CFType fromBool(bool value);
    static CFType fromInt8(qint8 value);
    static CFType fromInt16(qint16 value);
    static CFType fromInt32(qint32 value);
    static CFType fromInt64(qint64 value);
    static CFType fromFloat(float value);
    static CFType fromDouble(double value);
    static CFType fromIndex(CFIndex value);
    static CFType fromString(const QString& value); // "" gives an empty string, not null
    static CFType fromByteArray(const QByteArray& value);
    // The fields of value as they stand, taken as GMT; milliseconds are dropped.
    static CFType fromDateTime(const QDateTime& value);

    // format: kCFPropertyListXMLFormat_v1_0 (100) or kCFPropertyListBinaryFormat_v1_0 (200).
    CFType serialize(int format) const;
    QByteArray toData(int format) const;
    // Either format; immutable containers; a null wrapper when the bytes do not parse.
    static CFType fromData(const QByteArray& bytes);
    static CFType deepCopy(const CFType& other);
    static CFType loadFile(const QString& path);

private:
    using Holder = QSharedPointer<CFTypeHolder>;

    Holder m_holder;
    QMap<const CFTypeHolder*, QPair<Holder, Holder>> m_keptPairs; // key holder -> (key, value)
    QList<Holder> m_keptItems;
};
