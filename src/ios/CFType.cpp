#include "ios/CFType.h"

#include "ios/mobiledevice_library.h"

#include <QFile>

#include <cmath>

namespace {

constexpr CFNumberType numberSInt8 = 1;
constexpr CFNumberType numberSInt16 = 2;
constexpr CFNumberType numberSInt32 = 3;
constexpr CFNumberType numberSInt64 = 4;
constexpr CFNumberType numberFloat32 = 5;
constexpr CFNumberType numberFloat64 = 6;
constexpr CFNumberType numberLongLong = 11;
constexpr CFNumberType numberFloat = 12;
constexpr CFNumberType numberDouble = 13;
constexpr CFNumberType numberCFIndex = 14;
constexpr UInt8 lossByte = '?';

// The callback structures are passed by their address, looked up once per run.
struct CollectionCallbacks
{
    const CFDictionaryKeyCallBacks* keys = nullptr;
    const CFDictionaryValueCallBacks* values = nullptr;
    const CFArrayCallBacks* array = nullptr;
};

const CollectionCallbacks& collectionCallbacks()
{
    static const CollectionCallbacks callbacks{
        static_cast<const CFDictionaryKeyCallBacks*>(cf_resolve("kCFTypeDictionaryKeyCallBacks")),
        static_cast<const CFDictionaryValueCallBacks*>(cf_resolve("kCFTypeDictionaryValueCallBacks")),
        static_cast<const CFArrayCallBacks*>(cf_resolve("kCFTypeArrayCallBacks"))};
    return callbacks;
}

CFBooleanRef booleanConstant(bool value)
{
    return *static_cast<const CFBooleanRef*>(cf_resolve(value ? "kCFBooleanTrue" : "kCFBooleanFalse"));
}

template <class T>
CFType createNumber(CFNumberType type, T value)
{
    return CFType(CF_FN(CFNumberCreate)(nullptr, type, &value), true);
}

template <class T>
T numberValue(const CFType& number, CFNumberType type, T defaultValue)
{
    if (!number.isNumber())
        return defaultValue;
    T value{};
    return CF_FN(CFNumberGetValue)(static_cast<CFNumberRef>(number.ref()), type, &value) ? value : defaultValue;
}

} // namespace

CFTypeHolder::~CFTypeHolder()
{
    if (ref && owned)
        CF_FN(CFRelease)(ref);
}

CFType::CFType(CFTypeRef ref, bool owned) : m_holder(Holder::create(ref, owned)) {}

CFType::~CFType() = default;

CFTypeID CFType::typeId() const
{
    return ref() ? CF_FN(CFGetTypeID)(ref()) : CF_FN(CFNullGetTypeID)();
}

bool CFType::isNumber() const
{
    return typeId() == CF_FN(CFNumberGetTypeID)();
}
bool CFType::isBoolean() const
{
    return typeId() == CF_FN(CFBooleanGetTypeID)();
}
bool CFType::isString() const
{
    return typeId() == CF_FN(CFStringGetTypeID)();
}
bool CFType::isData() const
{
    return typeId() == CF_FN(CFDataGetTypeID)();
}
bool CFType::isDate() const
{
    return typeId() == CF_FN(CFDateGetTypeID)();
}
bool CFType::isDictionary() const
{
    return typeId() == CF_FN(CFDictionaryGetTypeID)();
}
bool CFType::isArray() const
{
    return typeId() == CF_FN(CFArrayGetTypeID)();
}

int CFType::toInt(int defaultValue) const
{
    return numberValue<qint32>(*this, numberSInt32, defaultValue);
}

qint64 CFType::toLongLong(qint64 defaultValue) const
{
    return numberValue<qint64>(*this, numberSInt64, defaultValue);
}

double CFType::toDouble(double defaultValue) const
{
    return numberValue<double>(*this, numberFloat64, defaultValue);
}

bool CFType::toBool(bool defaultValue) const
{
    if (!isBoolean())
        return defaultValue;
    quint8 value = defaultValue ? 1 : 0;
    CF_FN(CFNumberGetValue)(static_cast<CFNumberRef>(ref()), numberSInt8, &value);
    return value != 0;
}

CFIndex CFType::stringLength() const
{
    return isString() ? CF_FN(CFStringGetLength)(static_cast<CFStringRef>(ref())) : 0;
}

QString CFType::toString() const
{
    if (!isString())
        return {};
    const auto string = static_cast<CFStringRef>(ref());
    const CFRange all{0, CF_FN(CFStringGetLength)(string)};
    // First count the UTF-8 bytes, then fill a buffer of that size.
    CFIndex byteCount = 0;
    if (CF_FN(CFStringGetBytes)(string, all, kCFStringEncodingUTF8, lossByte, false, nullptr, 0, &byteCount) <= 0)
        return {};
    QByteArray bytes(qsizetype(byteCount), Qt::Uninitialized);
    if (CF_FN(CFStringGetBytes)(string, all, kCFStringEncodingUTF8, lossByte, false,
                                reinterpret_cast<UInt8*>(bytes.data()), byteCount, nullptr)
        <= 0)
        return {};
    return QString::fromUtf8(bytes);
}

CFIndex CFType::dataLength() const
{
    return isData() ? CF_FN(CFDataGetLength)(static_cast<CFDataRef>(ref())) : 0;
}

QByteArray CFType::toByteArray() const
{
    if (!isData())
        return {};
    const auto data = static_cast<CFDataRef>(ref());
    const CFIndex length = CF_FN(CFDataGetLength)(data);
    QByteArray bytes;
    if (length > 0) {
        bytes.resize(qsizetype(length));
        CF_FN(CFDataGetBytes)(data, {0, length}, reinterpret_cast<UInt8*>(bytes.data()));
    }
    return bytes;
}

QDateTime CFType::toDateTime(CFTimeZoneRef zone) const
{
    if (!isDate())
        return {};
    const CFAbsoluteTime t = CF_FN(CFDateGetAbsoluteTime)(static_cast<CFDateRef>(ref()));
    const CFGregorianDate fields = CF_FN(CFAbsoluteTimeGetGregorianDate)(t, zone);
    return QDateTime(QDate(fields.year, fields.month, fields.day),
                     QTime(fields.hour, fields.minute, int(std::trunc(fields.second)), 0), Qt::LocalTime);
}

QDateTime CFType::toDateTime(int offsetSeconds) const
{
    const CFTimeZoneRef zone = CF_FN(CFTimeZoneCreateWithTimeIntervalFromGMT)(nullptr, offsetSeconds);
    const QDateTime result = toDateTime(zone);
    if (zone)
        CF_FN(CFRelease)(zone);
    return result;
}

QDateTime CFType::toDateTime(const QString& zoneName) const
{
    if (zoneName.isEmpty())
        return toDateTime(CFTimeZoneRef(nullptr));
    const CFType name = fromString(zoneName);
    const CFTimeZoneRef zone =
        CF_FN(CFTimeZoneCreateWithName)(nullptr, static_cast<CFStringRef>(name.ref()), true);
    const QDateTime result = toDateTime(zone);
    if (zone)
        CF_FN(CFRelease)(zone);
    return result;
}

QString CFType::valueText() const
{
    if (isString())
        return toString();
    if (isNumber()) {
        switch (CF_FN(CFNumberGetType)(static_cast<CFNumberRef>(ref()))) {
        case numberFloat32:
        case numberFloat64:
        case numberFloat:
        case numberDouble:
            return QString::number(toDouble(0), 'g', 6);
        case numberSInt64:
        case numberLongLong:
            return QString::number(toLongLong(0));
        default:
            return QString::number(toInt(0));
        }
    }
    if (isBoolean())
        return toBool(false) ? QStringLiteral("1") : QStringLiteral("0");
    if (isDate())
        return toDateTime(CFTimeZoneRef(nullptr)).toString();
    if (isData())
        return QString::fromUtf8(toByteArray());
    return {};
}

CFType CFType::createDictionary()
{
    const CollectionCallbacks& callbacks = collectionCallbacks();
    return CFType(CF_FN(CFDictionaryCreateMutable)(nullptr, 0, callbacks.keys, callbacks.values), true);
}

CFType CFType::createArray()
{
    return CFType(CF_FN(CFArrayCreateMutable)(nullptr, 0, collectionCallbacks().array), true);
}

CFIndex CFType::dictionaryCount() const
{
    return isDictionary() ? CF_FN(CFDictionaryGetCount)(static_cast<CFDictionaryRef>(ref())) : 0;
}

CFIndex CFType::arrayCount() const
{
    return isArray() ? CF_FN(CFArrayGetCount)(static_cast<CFArrayRef>(ref())) : 0;
}

CFType CFType::value(const CFType& key) const
{
    if (!isDictionary() || !key.ref())
        return {};
    return CFType(CF_FN(CFDictionaryGetValue)(static_cast<CFDictionaryRef>(ref()), key.ref()), false);
}

CFType CFType::value(const QString& key) const
{
    return value(fromString(key));
}

CFType& CFType::setValue(const CFType& key, const CFType& value)
{
    if (!isDictionary() || !key.ref() || !value.ref())
        return *this;
    m_keptPairs.insert(key.m_holder.data(), qMakePair(key.m_holder, value.m_holder));
    CF_FN(CFDictionarySetValue)(static_cast<CFMutableDictionaryRef>(const_cast<void*>(ref())), key.ref(), value.ref());
    return *this;
}

QList<CFType> CFType::keys() const
{
    const CFIndex count = dictionaryCount();
    if (count <= 0)
        return {};
    QList<CFTypeRef> refs(qsizetype(count), nullptr);
    CF_FN(CFDictionaryGetKeysAndValues)(static_cast<CFDictionaryRef>(ref()), refs.data(), nullptr);
    QList<CFType> keys;
    keys.reserve(refs.size());
    for (CFTypeRef key : refs)
        keys.append(CFType(key, false));
    return keys;
}

CFType CFType::at(int index) const
{
    if (index < 0 || index >= arrayCount())
        return {};
    return CFType(CF_FN(CFArrayGetValueAtIndex)(static_cast<CFArrayRef>(ref()), index), false);
}

CFType& CFType::append(const CFType& item)
{
    if (!isArray() || !item.ref())
        return *this;
    m_keptItems.append(item.m_holder);
    CF_FN(CFArrayAppendValue)(static_cast<CFMutableArrayRef>(const_cast<void*>(ref())), item.ref());
    return *this;
}

CFType CFType::fromBool(bool value)
{
    return CFType(booleanConstant(value), false);
}

CFType CFType::fromInt8(qint8 value)
{
    return createNumber(numberSInt8, value);
}
CFType CFType::fromInt16(qint16 value)
{
    return createNumber(numberSInt16, value);
}
CFType CFType::fromInt32(qint32 value)
{
    return createNumber(numberSInt32, value);
}
CFType CFType::fromInt64(qint64 value)
{
    return createNumber(numberSInt64, value);
}
CFType CFType::fromFloat(float value)
{
    return createNumber(numberFloat32, value);
}
CFType CFType::fromDouble(double value)
{
    return createNumber(numberFloat64, value);
}
CFType CFType::fromIndex(CFIndex value)
{
    return createNumber(numberCFIndex, value);
}

CFType CFType::fromString(const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    return CFType(CF_FN(CFStringCreateWithBytes)(nullptr, reinterpret_cast<const UInt8*>(utf8.constData()),
                                                 CFIndex(utf8.size()), kCFStringEncodingUTF8, false),
                  true);
}

CFType CFType::fromByteArray(const QByteArray& value)
{
    return CFType(CF_FN(CFDataCreate)(nullptr, reinterpret_cast<const UInt8*>(value.constData()), CFIndex(value.size())),
                  true);
}

CFType CFType::fromDateTime(const QDateTime& value)
{
    const QDate date = value.date();
    const QTime time = value.time();
    const CFGregorianDate fields{std::int32_t(date.year()), std::int8_t(date.month()), std::int8_t(date.day()),
                                 std::int8_t(time.hour()), std::int8_t(time.minute()), double(time.second())};
    const CFAbsoluteTime t = CF_FN(CFGregorianDateGetAbsoluteTime)(fields, nullptr);
    return CFType(CF_FN(CFDateCreate)(nullptr, t), true);
}

CFType CFType::serialize(int format) const
{
    if (!ref())
        return {};
    CFErrorRef error = nullptr;
    return CFType(CF_FN(CFPropertyListCreateData)(nullptr, ref(), format, 0, &error), true);
}

QByteArray CFType::toData(int format) const
{
    return serialize(format).toByteArray();
}

CFType CFType::fromData(const QByteArray& bytes)
{
    const CFType data = fromByteArray(bytes);
    if (!data.ref())
        return {};
    CFPropertyListFormat format = 0;
    CFErrorRef error = nullptr;
    return CFType(CF_FN(CFPropertyListCreateWithData)(nullptr, static_cast<CFDataRef>(data.ref()), 0, &format, &error),
                  true);
}

CFType CFType::deepCopy(const CFType& other)
{
    return fromData(other.toData(kCFPropertyListXMLFormat_v1_0));
}

CFType CFType::loadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return fromData(file.readAll());
}
