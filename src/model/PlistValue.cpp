#include "model/PlistValue.h"

#include "model/AppleTime.h"
#include "model/ModelLog.h"
#include "model/PlistLimits.h"

#include <plist/plist.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

namespace {

struct FreeDeleter
{
    void operator()(void* p) const { std::free(p); }
};
// Strings, data and iterators that libplist hands out are malloc'ed copies.
using MallocPtr = std::unique_ptr<char, FreeDeleter>;

QString nonNull(const QString& text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

quint64 bigEndian(const char* bytes, int size)
{
    quint64 value = 0;
    for (int i = 0; i < size; ++i)
        value = value << 8 | quint8(bytes[i]);
    return value;
}

// Seconds since the Apple epoch, in full. plist_get_date_val hands them out in 32 bits,
// which wraps a date past 2069 or before 1933 (9999-12-31 became 1932); libplist keeps
// the date as a double, which its binary form carries as it is: a marker 0x33 and eight
// big-endian bytes, found through the trailer's offset table. NaN when that fails.
double appleSecondsOf(plist_t date)
{
    char* raw = nullptr;
    uint32_t length = 0;
    plist_to_bin(date, &raw, &length);
    const MallocPtr bytes(raw);
    constexpr int trailerSize = 32;
    if (!bytes || length < 8 + trailerSize)
        return std::numeric_limits<double>::quiet_NaN();
    const char* trailer = bytes.get() + length - trailerSize;
    const quint64 end = length - trailerSize;
    const int offsetSize = quint8(trailer[6]);
    const quint64 objects = bigEndian(trailer + 8, 8);
    const quint64 top = bigEndian(trailer + 16, 8);
    const quint64 table = bigEndian(trailer + 24, 8);
    if (offsetSize < 1 || offsetSize > 8 || top >= objects || objects > end || table > end
        || (top + 1) * quint64(offsetSize) > end - table)
        return std::numeric_limits<double>::quiet_NaN();
    const quint64 object = bigEndian(bytes.get() + table + top * quint64(offsetSize), offsetSize);
    if (object > end || end - object < 9 || quint8(bytes.get()[object]) != 0x33)
        return std::numeric_limits<double>::quiet_NaN();
    const quint64 bits = bigEndian(bytes.get() + object + 1, 8);
    double seconds = 0;
    static_assert(sizeof seconds == sizeof bits);
    std::memcpy(&seconds, &bits, sizeof seconds);
    return seconds;
}

bool isAncestorOrSelf(plist_t candidate, plist_t node)
{
    for (plist_t n = node; n; n = plist_get_parent(n))
        if (n == candidate)
            return true;
    return false;
}

} // namespace

PlistValue::PlistValue() : holder(QSharedPointer<PlistNode>::create(nullptr, true)) {}

PlistValue::PlistValue(void* node, bool owned) : holder(QSharedPointer<PlistNode>::create(node, owned)) {}

PlistValue PlistValue::newNone(bool owned)
{
    return PlistValue(nullptr, owned);
}

PlistValue PlistValue::newBool(bool value, bool owned)
{
    return PlistValue(plist_new_bool(value ? 1 : 0), owned);
}

PlistValue PlistValue::newUInt(quint64 value, bool owned)
{
    return PlistValue(plist_new_uint(value), owned);
}

PlistValue PlistValue::newReal(double value, bool owned)
{
    return PlistValue(plist_new_real(value), owned);
}

PlistValue PlistValue::newData(const QByteArray& bytes, bool owned)
{
    return PlistValue(plist_new_data(bytes.constData(), uint64_t(bytes.size())), owned);
}

PlistValue PlistValue::newDate(const QDateTime& when, bool owned)
{
    const qint64 seconds = std::clamp<qint64>(when.toSecsSinceEpoch() - appleEpochUnixSeconds,
                                              std::numeric_limits<int32_t>::min(),
                                              std::numeric_limits<int32_t>::max());
    return PlistValue(plist_new_date(int32_t(seconds), 0), owned);
}

PlistValue PlistValue::newString(const QString& text, bool owned)
{
    return PlistValue(plist_new_string(text.toUtf8().constData()), owned);
}

PlistValue PlistValue::newKey(const QString& text, bool owned)
{
    const QByteArray utf8 = text.toUtf8();
    plist_t node = plist_new_string(utf8.constData());
    plist_set_key_val(node, utf8.constData()); // also turns the node into a key
    return PlistValue(node, owned);
}

PlistValue PlistValue::newArray(bool owned)
{
    return PlistValue(plist_new_array(), owned);
}

PlistValue PlistValue::newDict(bool owned)
{
    return PlistValue(plist_new_dict(), owned);
}

PlistValue PlistValue::fromData(const QByteArray& bytes, bool owned)
{
    plist_t root = nullptr;
    if (exceedsPlistLimits(bytes)) {
        qCWarning(lcModel, "refused a property list of %lld bytes: it nests too deep or multiplies shared objects",
                  qlonglong(bytes.size()));
    } else if (bytes.size() <= qsizetype(std::numeric_limits<uint32_t>::max())) {
        if (bytes.size() > 8 && bytes.startsWith("bplist00"))
            plist_from_bin(bytes.constData(), uint32_t(bytes.size()), &root);
        else
            plist_from_xml(bytes.constData(), uint32_t(bytes.size()), &root);
    }
    return PlistValue(root, owned);
}

PlistValue PlistValue::clone(bool owned) const
{
    return PlistValue(node() ? plist_copy(node()) : nullptr, owned);
}

int PlistValue::nodeType() const
{
    return node() ? plist_get_node_type(node()) : PLIST_NONE;
}

bool PlistValue::isNone() const { return nodeType() == PLIST_NONE; }
bool PlistValue::isBool() const { return nodeType() == PLIST_BOOLEAN; }
bool PlistValue::isUInt() const { return nodeType() == PLIST_UINT; }
bool PlistValue::isReal() const { return nodeType() == PLIST_REAL; }
bool PlistValue::isString() const { return nodeType() == PLIST_STRING; }
bool PlistValue::isArray() const { return nodeType() == PLIST_ARRAY; }
bool PlistValue::isDict() const { return nodeType() == PLIST_DICT; }
bool PlistValue::isDate() const { return nodeType() == PLIST_DATE; }
bool PlistValue::isData() const { return nodeType() == PLIST_DATA; }
bool PlistValue::isKey() const { return nodeType() == PLIST_KEY; }

bool PlistValue::toBool() const
{
    if (!isBool())
        return false;
    uint8_t value = 0;
    plist_get_bool_val(node(), &value);
    return value != 0;
}

quint64 PlistValue::toUInt() const
{
    if (!isUInt())
        return 0;
    uint64_t value = 0;
    plist_get_uint_val(node(), &value);
    return value;
}

double PlistValue::toReal() const
{
    if (!isReal())
        return 0.0;
    double value = 0.0;
    plist_get_real_val(node(), &value);
    return value;
}

QString PlistValue::toString() const
{
    if (!isString())
        return QStringLiteral("");
    // A file may hold a string with a NUL byte in it, which plist_get_string_val asserts
    // away; the text ends at the first NUL, as for a C string.
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(node(), &length);
    if (!text)
        return QStringLiteral("");
    return nonNull(QString::fromUtf8(text, qsizetype(qstrnlen(text, size_t(length)))));
}

QString PlistValue::toKey() const
{
    if (!isKey())
        return QStringLiteral("");
    char* raw = nullptr;
    plist_get_key_val(node(), &raw);
    const MallocPtr text(raw);
    return nonNull(QString::fromUtf8(text.get()));
}

QByteArray PlistValue::toByteArray() const
{
    if (!isData())
        return QByteArray();
    char* raw = nullptr;
    uint64_t length = 0;
    plist_get_data_val(node(), &raw, &length);
    const MallocPtr bytes(raw);
    if (!bytes || length == 0)
        return QByteArray(""); // a data node of no bytes is still data
    return QByteArray(bytes.get(), qsizetype(length));
}

QDateTime PlistValue::toDateTime() const
{
    if (!isDate())
        return QDateTime();
    // Beyond a million years either way a date is no date; the bound keeps the milliseconds
    // within 64 bits.
    constexpr double farthestSeconds = 1e6 * 366 * 86400;
    const double seconds = appleSecondsOf(node());
    if (!(std::fabs(seconds) <= farthestSeconds))
        return QDateTime();
    return QDateTime::fromMSecsSinceEpoch(appleEpochUnixSeconds * 1000 + qint64(std::floor(seconds * 1000)));
}

int PlistValue::arraySize() const
{
    return isArray() ? int(plist_array_get_size(node())) : 0;
}

int PlistValue::dictSize() const
{
    return isDict() ? int(plist_dict_get_size(node())) : 0;
}

QString PlistValue::toXml() const
{
    if (isNone())
        return QStringLiteral("");
    char* raw = nullptr;
    uint32_t length = 0;
    plist_to_xml(node(), &raw, &length);
    if (!raw)
        return QStringLiteral("");
    const QString xml = QString::fromUtf8(raw, qsizetype(length));
    plist_to_xml_free(raw);
    return nonNull(xml);
}

QByteArray PlistValue::toBinary() const
{
    if (isNone())
        return QByteArray("");
    char* raw = nullptr;
    uint32_t length = 0;
    plist_to_bin(node(), &raw, &length);
    if (!raw)
        return QByteArray("");
    const QByteArray bytes(raw, qsizetype(length));
    plist_to_bin_free(raw);
    return bytes;
}

QMap<QString, PlistValue> PlistValue::toMap() const
{
    QMap<QString, PlistValue> map;
    if (!isDict())
        return map;
    plist_dict_iter rawIter = nullptr;
    plist_dict_new_iter(node(), &rawIter);
    const MallocPtr iter(static_cast<char*>(rawIter));
    if (!iter)
        return map;
    for (;;) {
        char* rawKey = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node(), rawIter, &rawKey, &item);
        const MallocPtr key(rawKey);
        if (!key)
            break;
        map.insert(QString::fromUtf8(key.get()), PlistValue(item ? plist_copy(item) : nullptr, true));
    }
    return map;
}

PlistValue PlistValue::arrayItem(int index) const
{
    if (!isArray() || index < 0)
        return PlistValue(nullptr, false);
    return PlistValue(plist_array_get_item(node(), uint32_t(index)), false);
}

PlistValue PlistValue::dictItem(const QString& key) const
{
    if (!isDict())
        return PlistValue(nullptr, false);
    return PlistValue(plist_dict_get_item(node(), key.toUtf8().constData()), false);
}

// libplist attaches a node without checking whether it already has a parent; a node
// in two trees is freed twice. Such an item, or one that holds this tree, goes in as
// a copy; otherwise the tree takes the item's own node over.
void* PlistValue::nodeToAttach(const PlistValue& item) const
{
    plist_t itemNode = item.node();
    if (plist_get_parent(itemNode) || isAncestorOrSelf(itemNode, node()))
        return plist_copy(itemNode);
    item.holder->owned = false;
    return itemNode;
}

void PlistValue::arrayAppend(const PlistValue& item)
{
    if (!isArray() || !item.node())
        return;
    plist_array_append_item(node(), nodeToAttach(item));
}

void PlistValue::setItem(const QString& key, const PlistValue& item)
{
    if (!isDict() || !item.node())
        return;
    const QByteArray utf8 = key.toUtf8();
    // Setting an entry to itself would free the item before inserting it.
    if (plist_dict_get_item(node(), utf8.constData()) == item.node())
        return;
    plist_dict_set_item(node(), utf8.constData(), nodeToAttach(item));
}
