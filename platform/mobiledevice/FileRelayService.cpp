#include "FileRelayService.h"

#include "CallLog.h"
#include "SimValues.h"

#include <archive.h>
#include <archive_entry.h>
#include <plist/plist.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::uint32_t maxRequestLength = 1024 * 1024;
constexpr int requestTimeoutMs = 60000;
constexpr std::size_t chunkSize = 64 * 1024;

using Bytes = std::vector<char>;

struct Knobs
{
    enum StatusKind { text, absent, raw } statusKind = text;
    std::string status = "Acknowledged";
    Bytes rawReply;
    std::map<std::string, std::vector<std::string>> sources{
        {"UserDatabases", {"var/mobile/Library/SMS", "var/mobile/Library/AddressBook"}}};
    std::string archiveFile;
    std::optional<std::uint64_t> truncateAfter;
    int chunkDelayMs = 0;
};

plist_t itemOf(plist_t dict, const char* key, plist_type type)
{
    plist_t item = dict ? plist_dict_get_item(dict, key) : nullptr;
    return item && plist_get_node_type(item) == type ? item : nullptr;
}

std::vector<std::string> stringsOf(plist_t array)
{
    std::vector<std::string> strings;
    for (std::uint32_t i = 0; array && i < plist_array_get_size(array); ++i) {
        plist_t item = plist_array_get_item(array, i);
        if (plist_get_node_type(item) == PLIST_STRING)
            strings.push_back(plistString(item));
    }
    return strings;
}

Knobs knobsOf(const std::string& deviceFolder)
{
    Knobs knobs;
    const std::optional<SimValues> values = SimValues::load(deviceFolder);
    const PlistNode relay = values ? values->knob("FileRelay") : nullptr;
    plist_t dict = relay && plist_get_node_type(relay.get()) == PLIST_DICT ? relay.get() : nullptr;
    if (plist_t status = dict ? plist_dict_get_item(dict, "Status") : nullptr) {
        if (plist_get_node_type(status) == PLIST_STRING) {
            knobs.status = plistString(status);
        } else if (plist_get_node_type(status) == PLIST_BOOLEAN) {
            knobs.statusKind = Knobs::absent;
        } else if (plist_get_node_type(status) == PLIST_DATA) {
            char* raw = nullptr;
            std::uint64_t length = 0;
            plist_get_data_val(status, &raw, &length);
            knobs.statusKind = Knobs::raw;
            knobs.rawReply.assign(raw, raw + length);
            std::free(raw);
        }
    }
    if (plist_t sources = itemOf(dict, "Sources", PLIST_DICT)) {
        knobs.sources.clear();
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(sources, &it);
        for (;;) {
            char* key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(sources, it, &key, &value);
            if (!value) {
                std::free(key);
                break;
            }
            if (plist_get_node_type(value) == PLIST_ARRAY)
                knobs.sources[key] = stringsOf(value);
            std::free(key);
        }
        std::free(it);
    }
    if (plist_t file = itemOf(dict, "ArchiveFile", PLIST_STRING))
        knobs.archiveFile = plistString(file);
    if (plist_t limit = itemOf(dict, "TruncateAfter", PLIST_UINT)) {
        std::uint64_t value = 0;
        plist_get_uint_val(limit, &value);
        knobs.truncateAfter = value;
    }
    if (plist_t delay = itemOf(dict, "ChunkDelayMs", PLIST_UINT)) {
        std::uint64_t value = 0;
        plist_get_uint_val(delay, &value);
        knobs.chunkDelayMs = int(std::min<std::uint64_t>(value, 60000));
    }
    return knobs;
}

// Every byte or false: a program that hung up ends the service.
bool sendAll(int socket, const char* data, std::size_t length)
{
    while (length > 0) {
        const ssize_t sent = ::send(socket, data, length, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        length -= std::size_t(sent);
    }
    return true;
}

bool receiveAll(int socket, char* data, std::size_t length)
{
    while (length > 0) {
        pollfd entry{socket, POLLIN, 0};
        const int ready = ::poll(&entry, 1, requestTimeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t received = ::recv(socket, data, length, 0);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0)
            return false;
        data += received;
        length -= std::size_t(received);
    }
    return true;
}

bool sendFramed(int socket, const Bytes& body)
{
    const auto length = std::uint32_t(body.size());
    const char header[4] = {char(length >> 24), char(length >> 16), char(length >> 8), char(length)};
    return sendAll(socket, header, 4) && sendAll(socket, body.data(), body.size());
}

Bytes xmlOf(plist_t node)
{
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(node, &xml, &length);
    Bytes bytes(xml, xml + (xml ? length : 0));
    std::free(xml);
    return bytes;
}

bool sendDictionary(int socket, const char* key, const std::string& value)
{
    PlistNode reply(plist_new_dict());
    if (key)
        plist_dict_set_item(reply.get(), key, plist_new_string(value.c_str()));
    return sendFramed(socket, xmlOf(reply.get()));
}

// The names of the request's "Sources", or nothing when it is not such a request.
std::optional<std::vector<std::string>> readRequest(int socket)
{
    char header[4];
    if (!receiveAll(socket, header, 4))
        return std::nullopt;
    const std::uint32_t length = std::uint32_t(std::uint8_t(header[0])) << 24 | std::uint32_t(std::uint8_t(header[1])) << 16
        | std::uint32_t(std::uint8_t(header[2])) << 8 | std::uint8_t(header[3]);
    if (length == 0 || length > maxRequestLength)
        return std::nullopt;
    Bytes body(length);
    if (!receiveAll(socket, body.data(), length))
        return std::nullopt;
    plist_t raw = nullptr;
    plist_from_memory(body.data(), length, &raw);
    const PlistNode request(raw);
    plist_t sources = request && plist_get_node_type(request.get()) == PLIST_DICT
        ? itemOf(request.get(), "Sources", PLIST_ARRAY)
        : nullptr;
    if (!sources)
        return std::nullopt;
    return stringsOf(sources);
}

bool isPluggedIn(const std::string& deviceFolder)
{
    struct stat status;
    return ::stat((deviceFolder + "/values.plist").c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// The archive's way to the program: in chunks, with the pauses and the cut the knobs ask
// for. A phone that leaves ends it where it is, without the archive's trailer.
class ArchiveStream
{
public:
    ArchiveStream(const std::string& deviceFolder, int socket, const Knobs& knobs)
        : m_deviceFolder(deviceFolder)
        , m_socket(socket)
        , m_knobs(knobs)
    {
    }

    bool send(const char* data, std::size_t length)
    {
        while (length > 0) {
            if (m_knobs.truncateAfter && m_sent >= *m_knobs.truncateAfter)
                return false;
            std::size_t chunk = std::min(length, chunkSize);
            if (m_knobs.truncateAfter)
                chunk = std::size_t(std::min<std::uint64_t>(chunk, *m_knobs.truncateAfter - m_sent));
            if (m_sent > 0 && m_knobs.chunkDelayMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(m_knobs.chunkDelayMs));
            if (m_stopped || !isPluggedIn(m_deviceFolder)) {
                m_stopped = true;
                return false;
            }
            if (!sendAll(m_socket, data, chunk))
                return false;
            m_sent += chunk;
            data += chunk;
            length -= chunk;
        }
        return true;
    }

    static la_ssize_t write(archive*, void* stream, const void* data, std::size_t length)
    {
        return static_cast<ArchiveStream*>(stream)->send(static_cast<const char*>(data), length) ? la_ssize_t(length)
                                                                                                : -1;
    }

private:
    std::string m_deviceFolder;
    int m_socket;
    const Knobs& m_knobs;
    std::uint64_t m_sent = 0;
    bool m_stopped = false;
};

bool sendFile(const std::string& path, ArchiveStream& stream)
{
    std::ifstream in(path, std::ios::binary);
    const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return in.good() || in.eof() ? stream.send(bytes.data(), bytes.size()) : false;
}

class ArchiveWriter
{
public:
    ArchiveWriter(const std::string& fsRoot, ArchiveStream& stream) : m_fsRoot(fsRoot), m_archive(archive_write_new())
    {
        m_ok = archive_write_add_filter_gzip(m_archive) == ARCHIVE_OK
            && archive_write_set_format_cpio_newc(m_archive) == ARCHIVE_OK
            && archive_write_set_bytes_in_last_block(m_archive, 1) == ARCHIVE_OK
            && archive_write_open(m_archive, &stream, nullptr, &ArchiveStream::write, nullptr) == ARCHIVE_OK;
    }
    ~ArchiveWriter() { archive_write_free(m_archive); }
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    // A folder with everything below it, folders before what they hold, names sorted.
    void addTree(const std::string& devicePath)
    {
        struct stat status;
        const std::string path = m_fsRoot + "/" + devicePath;
        if (!m_ok || ::lstat(path.c_str(), &status) != 0)
            return;
        if (S_ISREG(status.st_mode)) {
            addEntry(devicePath, status);
            return;
        }
        if (!S_ISDIR(status.st_mode) || !addEntry(devicePath, status))
            return;
        std::vector<std::string> names;
        std::error_code error;
        for (const auto& child : std::filesystem::directory_iterator(path, error))
            names.push_back(child.path().filename().string());
        std::sort(names.begin(), names.end());
        for (const std::string& name : names)
            addTree(devicePath + "/" + name);
    }

    bool finish()
    {
        if (m_ok)
            m_ok = archive_write_close(m_archive) == ARCHIVE_OK;
        return m_ok;
    }

private:
    bool addEntry(const std::string& devicePath, const struct stat& status)
    {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, ("./" + devicePath).c_str());
        archive_entry_set_filetype(entry, S_ISDIR(status.st_mode) ? AE_IFDIR : AE_IFREG);
        archive_entry_set_perm(entry, status.st_mode & 07777);
        archive_entry_set_size(entry, S_ISREG(status.st_mode) ? status.st_size : 0);
        archive_entry_set_mtime(entry, status.st_mtim.tv_sec, status.st_mtim.tv_nsec);
        m_ok = archive_write_header(m_archive, entry) == ARCHIVE_OK;
        archive_entry_free(entry);
        if (m_ok && S_ISREG(status.st_mode))
            m_ok = addData(m_fsRoot + "/" + devicePath);
        return m_ok;
    }

    bool addData(const std::string& path)
    {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        Bytes buffer(chunkSize);
        bool ok = true;
        for (;;) {
            const ssize_t n = ::read(fd, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                ok = n == 0;
                break;
            }
            if (archive_write_data(m_archive, buffer.data(), std::size_t(n)) != n) {
                ok = false;
                break;
            }
        }
        ::close(fd);
        return ok;
    }

    std::string m_fsRoot;
    archive* m_archive;
    bool m_ok = false;
};

void serve(const std::string& deviceFolder, int socket)
{
    const std::optional<std::vector<std::string>> sources = readRequest(socket);
    std::string joined;
    for (const std::string& name : sources.value_or(std::vector<std::string>()))
        joined += (joined.empty() ? "" : ",") + name;
    appendCallLine(deviceFolder, "file_relay Sources=" + joined);
    if (!sources) {
        sendDictionary(socket, "Error", "InvalidRequest");
        return;
    }
    const Knobs knobs = knobsOf(deviceFolder);
    for (const std::string& name : *sources) {
        if (!knobs.sources.count(name)) {
            sendDictionary(socket, "Error", "InvalidSource");
            return;
        }
    }
    const bool answered = knobs.statusKind == Knobs::raw    ? sendFramed(socket, knobs.rawReply)
                          : knobs.statusKind == Knobs::absent ? sendDictionary(socket, nullptr, {})
                                                              : sendDictionary(socket, "Status", knobs.status);
    if (!answered)
        return;

    ArchiveStream stream(deviceFolder, socket, knobs);
    if (!knobs.archiveFile.empty()) {
        sendFile(deviceFolder + "/" + knobs.archiveFile, stream);
        return;
    }
    ArchiveWriter writer(deviceFolder + "/fs", stream);
    for (const std::string& name : *sources) {
        for (const std::string& devicePath : knobs.sources.at(name))
            writer.addTree(devicePath);
    }
    writer.finish();
}

} // namespace

void serveFileRelay(const std::string& deviceFolder, int socket)
{
    serve(deviceFolder, socket);
    ::close(socket);
}
