#include "MbdbFile.h"

#include "ToolError.h"

#include <QtEndian>

namespace {

const QByteArray magic("mbdb\x05\x00", 6);
constexpr quint16 absent = 0xFFFF;

class Writer
{
public:
    QByteArray bytes = magic;

    template<typename T>
    void number(T value)
    {
        char raw[sizeof(T)];
        qToBigEndian(value, raw);
        bytes.append(raw, sizeof(T));
    }
    void string(const QByteArray& text, bool present = true)
    {
        if (!present || text.size() >= absent) {
            number<quint16>(absent);
            return;
        }
        number<quint16>(quint16(text.size()));
        bytes.append(text);
    }
};

class Reader
{
public:
    explicit Reader(const QByteArray& bytes)
        : bytes(bytes)
    {
    }

    bool atEnd() const { return offset == bytes.size(); }
    template<typename T>
    T number()
    {
        need(sizeof(T));
        const T value = qFromBigEndian<T>(bytes.constData() + offset);
        offset += sizeof(T);
        return value;
    }
    QByteArray string()
    {
        const quint16 length = number<quint16>();
        if (length == absent)
            return QByteArray();
        need(length);
        const QByteArray text = bytes.mid(offset, length);
        offset += length;
        return text;
    }

private:
    void need(qsizetype count) const
    {
        if (bytes.size() - offset < count)
            throw ToolError("Manifest.mbdb is cut short");
    }

    const QByteArray& bytes;
    qsizetype offset = magic.size();
};

} // namespace

QByteArray encodeMbdb(const QList<MbdbEntry>& entries)
{
    Writer w;
    for (const MbdbEntry& e : entries) {
        w.string(e.domain.toUtf8());
        w.string(e.path.toUtf8());
        w.string(QByteArray(), false); // link target
        w.string(e.digest, !e.digest.isEmpty());
        w.string(QByteArray(), false); // encryption key
        w.number<quint16>(e.mode);
        w.number<quint64>(0);   // inode
        w.number<quint32>(501); // uid of the phone's user "mobile"
        w.number<quint32>(501);
        w.number<quint32>(e.mtime);
        w.number<quint32>(e.mtime); // atime
        w.number<quint32>(e.mtime); // ctime
        w.number<quint64>(e.size);
        w.number<quint8>(e.isFile() ? 3 : 0); // protection class
        w.number<quint8>(0);                  // no properties
    }
    return w.bytes;
}

QList<MbdbEntry> decodeMbdb(const QByteArray& bytes)
{
    if (!bytes.startsWith(magic))
        throw ToolError("Manifest.mbdb is not a backup manifest");
    Reader r(bytes);
    QList<MbdbEntry> entries;
    while (!r.atEnd()) {
        MbdbEntry e;
        e.domain = QString::fromUtf8(r.string());
        e.path = QString::fromUtf8(r.string());
        r.string(); // link target
        e.digest = r.string();
        r.string(); // encryption key
        e.mode = r.number<quint16>();
        r.number<quint64>(); // inode
        r.number<quint32>(); // uid
        r.number<quint32>(); // gid
        e.mtime = r.number<quint32>();
        r.number<quint32>(); // atime
        r.number<quint32>(); // ctime
        e.size = r.number<quint64>();
        r.number<quint8>(); // protection class
        for (int properties = r.number<quint8>(); properties > 0; --properties) {
            r.string();
            r.string();
        }
        entries.append(e);
    }
    return entries;
}
