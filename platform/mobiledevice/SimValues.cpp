#include "SimValues.h"

#include "PlistLimits.h"

#include "mobiledevice/simdevice.h"

#include <plist/plist.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include <unistd.h>

void PlistFree::operator()(void* node) const
{
    plist_free(node);
}

namespace {

constexpr char simKey[] = "Sim";
constexpr char relayPrefix[] = "relay:";
constexpr char fileRelayService[] = "com.apple.mobile.file_relay";

// Keys that name a lockdown domain are reverse-DNS names; plain keys are the default domain.
bool isDomainKey(const char* key)
{
    return std::strchr(key, '.') != nullptr || std::strcmp(key, simKey) == 0;
}

std::string folderName(const std::string& folder)
{
    const auto slash = folder.find_last_of('/');
    return slash == std::string::npos ? folder : folder.substr(slash + 1);
}

} // namespace

std::string plistString(plist_t node)
{
    // Read with its length: a string may hold a NUL character, on which libplist's copying
    // reader aborts.
    std::uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    return text ? std::string(text, std::size_t(length)) : std::string();
}

SimValues::SimValues(std::string folder, PlistNode root, bool binary)
    : m_folder(std::move(folder)), m_root(std::move(root)), m_binary(binary)
{
}

std::optional<SimValues> SimValues::load(const std::string& deviceFolder)
{
    std::ifstream in(deviceFolder + "/values.plist", std::ios::binary);
    if (!in)
        return std::nullopt;
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty() || bytes.size() > UINT32_MAX || exceedsPlistLimits(bytes.data(), bytes.size()))
        return std::nullopt;
    plist_t raw = nullptr;
    plist_from_memory(bytes.data(), std::uint32_t(bytes.size()), &raw);
    PlistNode root(raw);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT)
        return std::nullopt;
    const bool binary = bytes.size() >= 8 && std::memcmp(bytes.data(), "bplist00", 8) == 0;
    return SimValues(deviceFolder, std::move(root), binary);
}

plist_t SimValues::knobs() const
{
    plist_t sim = plist_dict_get_item(m_root.get(), simKey);
    return sim && plist_get_node_type(sim) == PLIST_DICT ? sim : nullptr;
}

bool SimValues::paired() const
{
    plist_t knob = knobs() ? plist_dict_get_item(knobs(), "Paired") : nullptr;
    if (!knob || plist_get_node_type(knob) != PLIST_BOOLEAN)
        return true;
    std::uint8_t value = 1;
    plist_get_bool_val(knob, &value);
    return value != 0;
}

int SimValues::resultKnob(const char* name) const
{
    plist_t knob = knobs() ? plist_dict_get_item(knobs(), name) : nullptr;
    if (!knob || plist_get_node_type(knob) != PLIST_UINT)
        return 0;
    std::uint64_t value = 0;
    plist_get_uint_val(knob, &value);
    return int(std::int64_t(value)); // negative codes arrive as their two's complement
}

ServiceAnswer SimValues::service(const std::string& name) const
{
    plist_t table = knobs() ? plist_dict_get_item(knobs(), "Services") : nullptr;
    plist_t entry = table && plist_get_node_type(table) == PLIST_DICT ? plist_dict_get_item(table, name.c_str()) : nullptr;
    if (entry && plist_get_node_type(entry) == PLIST_UINT) {
        std::uint64_t value = 0;
        plist_get_uint_val(entry, &value);
        if (value != 0)
            return {ServiceAnswer::errorCode, {}, int(std::int64_t(value))};
    }
    if (entry && plist_get_node_type(entry) == PLIST_STRING) {
        const std::string text = plistString(entry);
        if (text.rfind(relayPrefix, 0) == 0)
            return {ServiceAnswer::relay, text.substr(std::strlen(relayPrefix)), 0};
    }
    if (name == fileRelayService)
        return {ServiceAnswer::builtInFileRelay, {}, 0};
    return {ServiceAnswer::errorCode, {}, simDeviceUnknownService};
}

PlistNode SimValues::knob(const char* name) const
{
    plist_t node = knobs() ? plist_dict_get_item(knobs(), name) : nullptr;
    return PlistNode(node ? plist_copy(node) : nullptr);
}

plist_t SimValues::defaultDomain() const
{
    plist_t domain = plist_new_dict();
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(m_root.get(), &it);
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(m_root.get(), it, &key, &value);
        if (!value) {
            std::free(key);
            break;
        }
        if (!isDomainKey(key))
            plist_dict_set_item(domain, key, plist_copy(value));
        std::free(key);
    }
    std::free(it);
    if (!plist_dict_get_item(domain, "UniqueDeviceID"))
        plist_dict_set_item(domain, "UniqueDeviceID", plist_new_string(folderName(m_folder).c_str()));
    return domain;
}

PlistNode SimValues::lockdownValue(const std::string& domain, const std::string& key) const
{
    PlistNode whole;
    if (domain.empty()) {
        whole.reset(defaultDomain());
    } else {
        plist_t node = isDomainKey(domain.c_str()) && domain != simKey ? plist_dict_get_item(m_root.get(), domain.c_str())
                                                                        : nullptr;
        if (!node || plist_get_node_type(node) != PLIST_DICT)
            return nullptr;
        whole.reset(plist_copy(node));
    }
    if (key.empty())
        return whole;
    plist_t value = plist_dict_get_item(whole.get(), key.c_str());
    return PlistNode(value ? plist_copy(value) : nullptr);
}

void SimValues::setPaired()
{
    if (!knobs())
        plist_dict_set_item(m_root.get(), simKey, plist_new_dict());
    plist_dict_set_item(knobs(), "Paired", plist_new_bool(1));
}

void SimValues::setLockdownValue(const std::string& domain, const std::string& key, PlistNode value)
{
    plist_t target = m_root.get();
    if (!domain.empty()) {
        target = plist_dict_get_item(m_root.get(), domain.c_str());
        if (!target || plist_get_node_type(target) != PLIST_DICT) {
            plist_dict_set_item(m_root.get(), domain.c_str(), plist_new_dict());
            target = plist_dict_get_item(m_root.get(), domain.c_str());
        }
    }
    plist_dict_set_item(target, key.c_str(), value.release());
}

bool SimValues::save() const
{
    char* raw = nullptr;
    std::uint32_t length = 0;
    if (m_binary)
        plist_to_bin(m_root.get(), &raw, &length);
    else
        plist_to_xml(m_root.get(), &raw, &length);
    if (!raw)
        return false;
    const std::string path = m_folder + "/values.plist";
    const std::string temporary = path + ".part";
    bool ok = false;
    if (std::FILE* f = std::fopen(temporary.c_str(), "wb")) {
        ok = std::fwrite(raw, 1, length, f) == length;
        ok = std::fflush(f) == 0 && ::fsync(fileno(f)) == 0 && ok;
        ok = std::fclose(f) == 0 && ok;
    }
    std::free(raw);
    if (ok)
        ok = std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok)
        std::remove(temporary.c_str());
    return ok;
}
