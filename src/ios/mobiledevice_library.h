#pragma once

#include "mobiledevice/abi.h"

#include <QString>

// A string value below HKEY_LOCAL_MACHINE, read from the INI file that
// $VELTROMINEX_REGISTRY names (group = key path with "/" for "\", key = value name).
// Empty when there is no such file or value, or the value is longer than the registry
// buffer of 256 bytes would hold.
QString read_hklm_string_value(const QString& keyPath, const QString& valueName);

// Puts the two library folders in front of PATH and loads both libraries, each checked
// to export every name the program looks up. On false, error holds the reason.
bool mobiledevice_load_frameworks(QString& error);
bool mobiledevice_frameworks_loaded();

void* mobiledevice_resolve(const char* name);
void* cf_resolve(const char* name);

// A looked-up function with its declared type, e.g. CF_FN(CFRelease)(ref).
#define MOBILEDEVICE_FN(name) (reinterpret_cast<name##_fn*>(mobiledevice_resolve(#name)))
#define CF_FN(name) (reinterpret_cast<name##_fn*>(cf_resolve(#name)))

inline constexpr char mobileDeviceRegistryKey[] = "SOFTWARE\\Apple Inc.\\Apple Mobile Device Support";
inline constexpr char applicationSupportRegistryKey[] = "SOFTWARE\\Apple Inc.\\Apple Application Support";
inline constexpr char installDirValueName[] = "InstallDir";
