#pragma once

#include "SimValues.h"

#include "mobiledevice/abi.h"

#include <optional>
#include <string>

// Moves values between CoreFoundation, as the program hands them over, and the phone
// folder's property list, through CoreFoundation's own serialisation.
std::optional<std::string> utf8Of(CFStringRef string);
CFStringRef createString(const std::string& utf8);
CFTypeRef createValue(const PlistNode& node); // owned by the caller; null for a null node
PlistNode plistOf(CFTypeRef value);           // null when the value is no property list
