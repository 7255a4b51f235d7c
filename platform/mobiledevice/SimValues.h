#pragma once

#include <memory>
#include <optional>
#include <string>

typedef void* plist_t;

struct PlistFree
{
    void operator()(void* node) const;
};
using PlistNode = std::unique_ptr<void, PlistFree>;

// The text of a string node; empty for any other node.
std::string plistString(plist_t node);

// How a phone folder's "Services" knob answers for one service name.
struct ServiceAnswer
{
    enum Kind { builtInFileRelay, relay, errorCode } kind;
    std::string relayPath;
    int code = 0;
};

// A phone folder's values.plist: lockdown values by domain and the "Sim" knobs. Read
// afresh for every call, so that a test may change it while the phone is attached.
class SimValues
{
public:
    // Empty when the file is missing or is no dictionary.
    static std::optional<SimValues> load(const std::string& deviceFolder);

    // A missing knob means the phone behaves well.
    bool paired() const;
    int resultKnob(const char* name) const;
    ServiceAnswer service(const std::string& name) const;
    // A copy of one knob, or null.
    PlistNode knob(const char* name) const;

    // A copy of one value, or null. An empty domain is the default domain; an empty key
    // asks for the whole domain as a dictionary.
    PlistNode lockdownValue(const std::string& domain, const std::string& key) const;

    void setPaired();
    void setLockdownValue(const std::string& domain, const std::string& key, PlistNode value);
    // Replaces the file atomically, in the format it was read in.
    bool save() const;

private:
    SimValues(std::string folder, PlistNode root, bool binary);
    plist_t knobs() const;
    plist_t defaultDomain() const;

    std::string m_folder;
    PlistNode m_root;
    bool m_binary;
};
