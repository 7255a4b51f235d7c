#include "model/PlistLimits.h"

#include <QByteArrayView>
#include <QList>

#include <algorithm>
#include <iterator>
#include <vector>

namespace {

constexpr int binaryTrailerSize = 32;

quint64 readBigEndian(const uchar* p, int size)
{
    quint64 value = 0;
    for (int i = 0; i < size; ++i)
        value = (value << 8) | p[i];
    return value;
}

// The object table of a binary property list, read from its trailer. Objects are found
// through the offset table and refer to each other by index.
class BinaryObjects
{
public:
    explicit BinaryObjects(const QByteArray& bytes)
        : data(reinterpret_cast<const uchar*>(bytes.constData()))
        , size(quint64(bytes.size()))
    {
        if (size < 8 + binaryTrailerSize)
            return;
        const uchar* trailer = data + size - binaryTrailerSize;
        offsetSize = trailer[6];
        refSize = trailer[7];
        count = readBigEndian(trailer + 8, 8);
        top = readBigEndian(trailer + 16, 8);
        tableOffset = readBigEndian(trailer + 24, 8);
        const quint64 objectsEnd = size - binaryTrailerSize;
        valid = offsetSize >= 1 && offsetSize <= 8 && refSize >= 1 && refSize <= 8 && count > 0 && top < count
                && tableOffset < objectsEnd && count <= (objectsEnd - tableOffset) / quint64(offsetSize);
    }

    bool valid = false;
    quint64 count = 0;
    quint64 top = 0;

    // The indexes an array, set or dictionary refers to (a dictionary's keys, then its
    // values); nothing for any other object, or for one the parser would refuse.
    std::vector<quint64> children(quint64 index) const
    {
        const Header header = headerOf(index);
        if (header.type < 0xA || header.type > 0xD)
            return {};
        const quint64 refs = header.type == 0xD ? header.items * 2 : header.items;
        if (header.items > tableOffset || refs > (tableOffset - header.pos) / quint64(refSize))
            return {};
        std::vector<quint64> result;
        result.reserve(size_t(refs));
        for (quint64 i = 0; i < refs; ++i)
            result.push_back(readBigEndian(data + header.pos + i * quint64(refSize), refSize));
        return result;
    }

    // True for a dictionary with a key holding a NUL character: libplist keeps the text
    // after the NUL as well, and aborts on an assertion when the key is read.
    bool hasKeyWithNul(quint64 index) const
    {
        if (headerOf(index).type != 0xD)
            return false;
        const std::vector<quint64> refs = children(index);
        for (size_t i = 0; i < refs.size() / 2; ++i) {
            if (refs[i] < count && holdsNul(refs[i]))
                return true;
        }
        return false;
    }

private:
    // An object's type (the high nibble of its marker), its count of items, characters
    // or bytes, and the position of its contents; type 0 for an object the parser refuses.
    struct Header
    {
        int type = 0;
        quint64 items = 0;
        quint64 pos = 0;
    };

    Header headerOf(quint64 index) const
    {
        const quint64 offset = readBigEndian(data + tableOffset + index * quint64(offsetSize), offsetSize);
        if (offset >= tableOffset)
            return {};
        const uchar marker = data[offset];
        Header header{marker >> 4, quint64(marker & 0x0F), offset + 1};
        if (header.items == 0x0F) { // the count follows as an integer object
            if (header.pos >= tableOffset || data[header.pos] >> 4 != 0x1)
                return {};
            const int intSize = 1 << (data[header.pos] & 0x0F);
            if (intSize > 8 || header.pos + 1 + quint64(intSize) > tableOffset)
                return {};
            header.items = readBigEndian(data + header.pos + 1, intSize);
            header.pos += 1 + quint64(intSize);
        }
        return header;
    }

    // An ASCII (type 5) or UTF-16 (type 6) string whose characters lie before the offset table.
    bool holdsNul(quint64 index) const
    {
        const Header header = headerOf(index);
        const quint64 unit = header.type == 0x5 ? 1 : header.type == 0x6 ? 2 : 0;
        if (unit == 0 || header.items > (tableOffset - header.pos) / unit)
            return false;
        for (quint64 i = 0; i < header.items; ++i) {
            const uchar* c = data + header.pos + i * unit;
            if (c[0] == 0 && (unit == 1 || c[1] == 0))
                return true;
        }
        return false;
    }

    const uchar* data;
    quint64 size;
    int offsetSize = 0;
    int refSize = 0;
    quint64 tableOffset = 0;
};

// Walks the objects from the top one with a stack of its own, remembering the size of the
// tree below each object, so that a shared object is measured once.
bool binaryExceedsLimits(const QByteArray& bytes)
{
    const BinaryObjects objects(bytes);
    if (!objects.valid)
        return false;
    // A tree without shared containers has fewer nodes than the file has bytes, since
    // every reference takes at least one byte.
    const quint64 maxNodes = quint64(bytes.size());
    enum State : uchar { Unvisited, OnPath, Measured };
    std::vector<State> state(size_t(objects.count), Unvisited);
    std::vector<quint64> treeSize(size_t(objects.count), 0);

    struct Frame
    {
        quint64 index;
        std::vector<quint64> children;
        size_t next = 0;
    };
    std::vector<Frame> path;
    if (objects.hasKeyWithNul(objects.top))
        return true;
    path.push_back({objects.top, objects.children(objects.top)});
    state[objects.top] = OnPath;
    while (!path.empty()) {
        Frame& frame = path.back();
        if (frame.next == frame.children.size()) {
            quint64 nodes = 1;
            for (const quint64 child : frame.children) {
                nodes += child < objects.count ? treeSize[child] : 1;
                if (nodes > maxNodes)
                    return true;
            }
            treeSize[frame.index] = nodes;
            state[frame.index] = Measured;
            path.pop_back();
            continue;
        }
        const quint64 child = frame.children[frame.next++];
        if (child >= objects.count || state[child] == Measured)
            continue;
        if (state[child] == OnPath || path.size() >= size_t(maxPlistNesting) || objects.hasKeyWithNul(child))
            return true;
        state[child] = OnPath;
        path.push_back({child, objects.children(child)});
    }
    return false;
}

// Counts open elements the way the parser meets them: comments, CDATA sections, the
// document type and processing instructions are skipped, and every closing tag must
// close the element opened last.
bool xmlExceedsLimits(const QByteArray& xml)
{
    struct Skipped
    {
        QByteArrayView start;
        QByteArrayView end;
    };
    static constexpr Skipped skipped[] = {{"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}};

    QList<QByteArray> open;
    qsizetype pos = 0;
    while ((pos = xml.indexOf('<', pos)) >= 0) {
        const QByteArrayView rest = QByteArrayView(xml).sliced(pos);
        const auto s = std::find_if(std::begin(skipped), std::end(skipped),
                                    [&rest](const Skipped& s) { return rest.startsWith(s.start); });
        if (s != std::end(skipped)) {
            const qsizetype end = xml.indexOf(s->end, pos + s->start.size());
            if (end < 0)
                return false;
            pos = end + s->end.size();
            continue;
        }
        qsizetype end = xml.indexOf('>', pos);
        if (end < 0)
            return false;
        if (rest.startsWith("<!")) { // the document type, perhaps with declarations in brackets
            const qsizetype bracket = xml.indexOf('[', pos);
            if (bracket >= 0 && bracket < end) {
                end = xml.indexOf("]>", bracket);
                if (end < 0)
                    return false;
                ++end;
            }
            pos = end + 1;
            continue;
        }
        const QByteArray tag = xml.mid(pos + 1, end - pos - 1);
        pos = end + 1;
        if (tag.startsWith('/')) {
            if (open.isEmpty() || open.last() != tag.mid(1).trimmed())
                return true;
            open.removeLast();
        } else if (!tag.endsWith('/')) {
            const QByteArray name = tag.simplified().split(' ').value(0);
            open.append(name);
            if (open.size() > maxPlistNesting)
                return true;
        }
    }
    return false;
}

} // namespace

bool exceedsPlistLimits(const QByteArray& bytes)
{
    if (bytes.size() > 8 && bytes.startsWith("bplist00"))
        return binaryExceedsLimits(bytes);
    return xmlExceedsLimits(bytes);
}
