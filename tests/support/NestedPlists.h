#pragma once

// Property lists that nest or share their arrays beyond what any reader should follow.

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
