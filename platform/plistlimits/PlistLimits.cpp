#include "PlistLimits.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t binaryTrailerSize = 32;

std::uint64_t readBigEndian(const unsigned char* p, int size)
{
    std::uint64_t value = 0;
    for (int i = 0; i < size; ++i)
        value = (value << 8) | p[i];
    return value;
}

// The object table of a binary property list, read from its trailer. Objects are found
// through the offset table and refer to each other by index.
class BinaryObjects
{
public:
    BinaryObjects(const unsigned char* data, std::size_t size)
        : m_data(data)
    {
        if (size < 8 + binaryTrailerSize)
            return;
        const unsigned char* trailer = data + size - binaryTrailerSize;
        m_offsetSize = trailer[6];
        m_refSize = trailer[7];
        count = readBigEndian(trailer + 8, 8);
        top = readBigEndian(trailer + 16, 8);
        m_tableOffset = readBigEndian(trailer + 24, 8);
        const std::uint64_t objectsEnd = size - binaryTrailerSize;
        valid = m_offsetSize >= 1 && m_offsetSize <= 8 && m_refSize >= 1 && m_refSize <= 8 && count > 0 && top < count
                && m_tableOffset < objectsEnd && count <= (objectsEnd - m_tableOffset) / std::uint64_t(m_offsetSize);
    }

    bool valid = false;
    std::uint64_t count = 0;
    std::uint64_t top = 0;

    // The indexes an array, set or dictionary refers to (a dictionary's keys, then its
    // values); nothing for any other object, or for one the parser would refuse.
    std::vector<std::uint64_t> children(std::uint64_t index) const
    {
        const Header header = headerOf(index);
        if (header.type < 0xA || header.type > 0xD || header.items > m_tableOffset)
            return {};
        const std::uint64_t refs = header.type == 0xD ? header.items * 2 : header.items;
        if (refs > (m_tableOffset - header.pos) / std::uint64_t(m_refSize))
            return {};
        std::vector<std::uint64_t> result;
        result.reserve(std::size_t(refs));
        for (std::uint64_t i = 0; i < refs; ++i)
            result.push_back(readBigEndian(m_data + header.pos + i * std::uint64_t(m_refSize), m_refSize));
        return result;
    }

    // True for a dictionary with a key holding a NUL character, given its children: libplist
    // keeps the text after the NUL as well, and aborts on an assertion when the key is read.
    bool hasKeyWithNul(std::uint64_t index, const std::vector<std::uint64_t>& children) const
    {
        if (headerOf(index).type != 0xD)
            return false;
        return std::any_of(children.begin(), children.begin() + std::ptrdiff_t(children.size() / 2),
                           [this](std::uint64_t key) { return key < count && holdsNul(key); });
    }

private:
    // An object's type (the high nibble of its marker), its count of items, characters or
    // bytes, and the position of its contents; type 0 for an object the parser refuses.
    struct Header
    {
        int type = 0;
        std::uint64_t items = 0;
        std::uint64_t pos = 0;
    };

    Header headerOf(std::uint64_t index) const
    {
        const std::uint64_t offset =
            readBigEndian(m_data + m_tableOffset + index * std::uint64_t(m_offsetSize), m_offsetSize);
        if (offset >= m_tableOffset)
            return {};
        Header header{m_data[offset] >> 4, std::uint64_t(m_data[offset] & 0x0F), offset + 1};
        if (header.items == 0x0F) { // the count follows as an integer object
            if (header.pos >= m_tableOffset || m_data[header.pos] >> 4 != 0x1)
                return {};
            const int intSize = 1 << (m_data[header.pos] & 0x0F);
            if (intSize > 8 || header.pos + 1 + std::uint64_t(intSize) > m_tableOffset)
                return {};
            header.items = readBigEndian(m_data + header.pos + 1, intSize);
            header.pos += 1 + std::uint64_t(intSize);
        }
        return header;
    }

    // An ASCII (type 5) or UTF-16 (type 6) string whose characters lie before the offset table.
    bool holdsNul(std::uint64_t index) const
    {
        const Header header = headerOf(index);
        const std::uint64_t unit = header.type == 0x5 ? 1 : header.type == 0x6 ? 2 : 0;
        if (unit == 0 || header.items > (m_tableOffset - header.pos) / unit)
            return false;
        for (std::uint64_t i = 0; i < header.items; ++i) {
            const unsigned char* c = m_data + header.pos + i * unit;
            if (c[0] == 0 && (unit == 1 || c[1] == 0))
                return true;
        }
        return false;
    }

private:
    const unsigned char* m_data;
    int m_offsetSize = 0;
    int m_refSize = 0;
    std::uint64_t m_tableOffset = 0;
};

// Walks down from the top object with a stack of its own, remembering the levels and the
// nodes of the tree below each object, so that an object shared by many is measured once.
bool binaryExceedsLimits(const unsigned char* data, std::size_t size)
{
    const BinaryObjects objects(data, size);
    if (!objects.valid)
        return false;
    struct Tree
    {
        int levels = 0; // 0 until measured
        std::uint64_t nodes = 0;
    };
    std::vector<Tree> measured(std::size_t(objects.count));
    std::vector<bool> onPath(std::size_t(objects.count), false);
    struct Frame
    {
        std::uint64_t index;
        std::vector<std::uint64_t> children;
        std::size_t next = 0;
        Tree below;
    };
    // A tree without shared objects has fewer nodes than the file has bytes, since every
    // reference takes at least one byte.
    const std::uint64_t maxNodes = size;
    std::vector<Frame> path;
    // Enters an object not measured yet; false when its keys already exceed the limits.
    const auto enter = [&](std::uint64_t index) {
        std::vector<std::uint64_t> children = objects.children(index);
        if (objects.hasKeyWithNul(index, children))
            return false;
        onPath[index] = true;
        path.push_back({index, std::move(children), 0, {}});
        return true;
    };
    if (!enter(objects.top))
        return true;
    while (!path.empty()) {
        Frame& frame = path.back();
        std::uint64_t child = 0;
        if (frame.next < frame.children.size()) {
            child = frame.children[frame.next++];
            if (child >= objects.count)
                continue; // the parser refuses the list
            if (onPath[child])
                return true;
            if (measured[child].levels == 0) {
                if (path.size() >= std::size_t(maxPlistNesting) || !enter(child))
                    return true;
                continue;
            }
        } else {
            // Every child is measured, so this object is too.
            measured[frame.index] = {frame.below.levels + 1, frame.below.nodes + 1};
            onPath[frame.index] = false;
            child = frame.index;
            path.pop_back();
            if (path.empty())
                break;
        }
        // The child's tree, measured now or earlier, joins its parent's.
        Frame& parent = path.back();
        const Tree& tree = measured[child];
        if (path.size() + std::size_t(tree.levels) > std::size_t(maxPlistNesting)
            || tree.nodes > maxNodes - parent.below.nodes)
            return true;
        parent.below.levels = std::max(parent.below.levels, tree.levels);
        parent.below.nodes += tree.nodes;
    }
    return false;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// Counts open elements the way the parser meets them: comments, CDATA sections, the
// document type and processing instructions are skipped. A closing tag that does not close
// the element opened last makes the count meaningless, and counts as too deep.
bool xmlExceedsLimits(std::string_view xml)
{
    struct Skipped
    {
        std::string_view start;
        std::string_view end;
    };
    static constexpr Skipped skipped[] = {{"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}};
    constexpr auto npos = std::string_view::npos;

    std::vector<std::string_view> open;
    std::size_t pos = 0;
    while ((pos = xml.find('<', pos)) != npos) {
        const std::string_view rest = xml.substr(pos);
        const auto s = std::find_if(std::begin(skipped), std::end(skipped),
                                    [&rest](const Skipped& s) { return rest.substr(0, s.start.size()) == s.start; });
        if (s != std::end(skipped)) {
            const std::size_t end = xml.find(s->end, pos + s->start.size());
            if (end == npos)
                return false;
            pos = end + s->end.size();
            continue;
        }
        std::size_t end = xml.find('>', pos);
        if (end == npos)
            return false;
        if (rest.substr(0, 2) == "<!") { // the document type, perhaps with declarations in brackets
            const std::size_t bracket = xml.find('[', pos);
            if (bracket != npos && bracket < end) {
                end = xml.find("]>", bracket);
                if (end == npos)
                    return false;
                ++end;
            }
            pos = end + 1;
            continue;
        }
        const std::string_view tag = trimmed(xml.substr(pos + 1, end - pos - 1));
        pos = end + 1;
        if (!tag.empty() && tag.front() == '/') {
            if (open.empty() || open.back() != trimmed(tag.substr(1)))
                return true;
            open.pop_back();
        } else if (tag.empty() || tag.back() != '/') {
            const auto nameEnd = std::find_if(tag.begin(), tag.end(), isSpace);
            open.push_back(tag.substr(0, std::size_t(nameEnd - tag.begin())));
            if (open.size() > std::size_t(maxPlistNesting))
                return true;
        }
    }
    return false;
}

} // namespace

bool exceedsPlistLimits(const char* bytes, std::size_t size)
{
    if (size > 8 && std::memcmp(bytes, "bplist00", 8) == 0)
        return binaryExceedsLimits(reinterpret_cast<const unsigned char*>(bytes), size);
    return xmlExceedsLimits(std::string_view(bytes, size));
}
