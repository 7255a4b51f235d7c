#pragma once

// Property lists made to break a reader: nested or shared beyond what any reader should
// follow, or holding what libplist cannot read back.

#include <QByteArray>
#include <QList>

// A binary list of `arrays` arrays, each holding `refs` references to the next one (the
// last one holding none), or, with `cycle`, the last one referring back to the first.
inline QByteArray nestedBinary(int arrays, int refs = 1, bool cycle = false)
{
    QByteArray data("bplist00");
    QList<quint32> offsets;
    auto appendBigEndian = [&data](quint32 v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            data.append(char(v >> shift));
    };
    for (int i = 0; i < arrays; ++i) {
        offsets << quint32(data.size());
        const bool last = i == arrays - 1;
        if (last && !cycle) {
            data.append(char(0xA0));
            continue;
        }
        data.append(char(0xA0 | refs));
        for (int r = 0; r < refs; ++r)
            appendBigEndian(last ? 0 : quint32(i + 1));
    }
    const quint32 table = quint32(data.size());
    for (const quint32 offset : std::as_const(offsets))
        appendBigEndian(offset);
    data.append(QByteArray(6, '\0')).append(char(4)).append(char(4));
    for (const quint64 v : {quint64(arrays), quint64(0), quint64(table)}) {
        appendBigEndian(quint32(v >> 32));
        appendBigEndian(quint32(v));
    }
    return data;
}

// An XML list of `elements` nested elements, the plist element included.
inline QByteArray nestedXml(int elements)
{
    return "<plist version=\"1.0\">" + QByteArray("<array>").repeated(elements - 1)
           + QByteArray("</array>").repeated(elements - 1) + "</plist>";
}

// A binary list of one dictionary mapping the given key object to the string "x".
inline QByteArray binaryDictionary(const QByteArray& keyObject)
{
    const QByteArray objects = QByteArray("\xD1\x01\x02", 3) + keyObject + QByteArray("\x51x", 2);
    const char table = char(8 + objects.size());
    QByteArray data = "bplist00" + objects;
    data.append(char(8)).append(char(11)).append(char(11 + keyObject.size()));
    data.append(QByteArray(6, '\0')).append(char(1)).append(char(1));
    data.append(QByteArray(7, '\0')).append(char(3)).append(QByteArray(8, '\0'));
    return data.append(QByteArray(7, '\0')).append(table);
}
