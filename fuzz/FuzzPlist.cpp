#include "model/PlistValue.h"

#include <QByteArray>
#include <QtGlobal>

#include "InputFile.h"

namespace {

// Reads every value the way the program's readers do: by type, through the values layer.
void readAll(const PlistValue& value)
{
    (void)value.toString();
    (void)value.toKey();
    (void)value.toByteArray();
    (void)value.toDateTime();
    (void)value.toUInt();
    (void)value.toReal();
    (void)value.toBool();
    for (int i = 0; i < value.arraySize(); ++i)
        readAll(value.arrayItem(i));
    const QMap<QString, PlistValue> items = value.toMap();
    for (auto it = items.cbegin(); it != items.cend(); ++it)
        readAll(value.dictItem(it.key()));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const PlistValue value = PlistValue::fromData(bytes);
    if (value.isNone())
        return 0;
    readAll(value);
    (void)value.toBinary();
    (void)value.toXml();
    return 0;
}
