#pragma once

// The binary interface of the two device libraries that the program loads at run time
// ("iTunesMobileDevice" and "CoreFoundation"). The program looks every name up and casts
// the address to the type declared here; the stand-ins declare their exports with the
// same types, so the two sides cannot drift apart.

#include <cstdint>

extern "C" {

// CoreFoundation values. Every reference points at an object of the library; the struct
// tags are never defined on the program's side.
typedef const void* CFTypeRef;
typedef const struct CFOpaqueString* CFStringRef;
typedef const struct CFOpaqueNumber* CFNumberRef;
typedef const struct CFOpaqueBoolean* CFBooleanRef;
typedef const struct CFOpaqueData* CFDataRef;
typedef const struct CFOpaqueDate* CFDateRef;
typedef const struct CFOpaqueTimeZone* CFTimeZoneRef;
typedef const struct CFOpaqueDictionary* CFDictionaryRef;
typedef struct CFOpaqueDictionary* CFMutableDictionaryRef;
typedef const struct CFOpaqueArray* CFArrayRef;
typedef struct CFOpaqueArray* CFMutableArrayRef;
typedef const struct CFOpaqueAllocator* CFAllocatorRef;
typedef struct CFOpaqueError* CFErrorRef;

typedef unsigned long CFTypeID;
typedef long CFIndex;
typedef unsigned long CFOptionFlags;
typedef unsigned char Boolean;
typedef unsigned char UInt8;
typedef std::uint32_t CFStringEncoding;
typedef CFIndex CFNumberType;
typedef CFIndex CFPropertyListFormat;
typedef double CFAbsoluteTime;
typedef double CFTimeInterval;
typedef CFTypeRef CFPropertyListRef;

struct CFRange
{
    CFIndex location;
    CFIndex length;
};

struct CFGregorianDate
{
    std::int32_t year;
    std::int8_t month;
    std::int8_t day;
    std::int8_t hour;
    std::int8_t minute;
    double second;
};

// Opaque to the program: it only passes the addresses of the library's own instances.
struct CFDictionaryKeyCallBacks;
struct CFDictionaryValueCallBacks;
struct CFArrayCallBacks;

using CFRelease_fn = void(CFTypeRef value);
using CFGetTypeID_fn = CFTypeID(CFTypeRef value);
using CFNullGetTypeID_fn = CFTypeID();
using CFNumberGetTypeID_fn = CFTypeID();
using CFBooleanGetTypeID_fn = CFTypeID();
using CFStringGetTypeID_fn = CFTypeID();
using CFDataGetTypeID_fn = CFTypeID();
using CFDateGetTypeID_fn = CFTypeID();
using CFDictionaryGetTypeID_fn = CFTypeID();
using CFArrayGetTypeID_fn = CFTypeID();
using CFNumberGetValue_fn = Boolean(CFNumberRef number, CFNumberType type, void* valueOut);
using CFNumberGetType_fn = CFNumberType(CFNumberRef number);
using CFNumberCreate_fn = CFNumberRef(CFAllocatorRef allocator, CFNumberType type, const void* value);
using CFStringGetLength_fn = CFIndex(CFStringRef string);
using CFStringGetBytes_fn = CFIndex(CFStringRef string, CFRange range, CFStringEncoding encoding, UInt8 lossByte,
                                    Boolean isExternalRepresentation, UInt8* buffer, CFIndex maxBufferLength,
                                    CFIndex* usedBufferLength);
using CFStringCreateWithBytes_fn = CFStringRef(CFAllocatorRef allocator, const UInt8* bytes, CFIndex count,
                                               CFStringEncoding encoding, Boolean isExternalRepresentation);
using CFDataGetLength_fn = CFIndex(CFDataRef data);
using CFDataGetBytes_fn = void(CFDataRef data, CFRange range, UInt8* buffer);
using CFDataCreate_fn = CFDataRef(CFAllocatorRef allocator, const UInt8* bytes, CFIndex length);
using CFDateGetAbsoluteTime_fn = CFAbsoluteTime(CFDateRef date);
using CFAbsoluteTimeGetGregorianDate_fn = CFGregorianDate(CFAbsoluteTime time, CFTimeZoneRef zone);
using CFGregorianDateGetAbsoluteTime_fn = CFAbsoluteTime(CFGregorianDate date, CFTimeZoneRef zone);
using CFDateCreate_fn = CFDateRef(CFAllocatorRef allocator, CFAbsoluteTime time);
using CFTimeZoneCreateWithTimeIntervalFromGMT_fn = CFTimeZoneRef(CFAllocatorRef allocator, CFTimeInterval offset);
using CFTimeZoneCreateWithName_fn = CFTimeZoneRef(CFAllocatorRef allocator, CFStringRef name, Boolean tryAbbreviations);
using CFDictionaryCreateMutable_fn = CFMutableDictionaryRef(CFAllocatorRef allocator, CFIndex capacity,
                                                            const CFDictionaryKeyCallBacks* keyCallBacks,
                                                            const CFDictionaryValueCallBacks* valueCallBacks);
using CFDictionaryGetValue_fn = CFTypeRef(CFDictionaryRef dictionary, CFTypeRef key);
using CFDictionarySetValue_fn = void(CFMutableDictionaryRef dictionary, CFTypeRef key, CFTypeRef value);
using CFDictionaryGetCount_fn = CFIndex(CFDictionaryRef dictionary);
using CFDictionaryGetKeysAndValues_fn = void(CFDictionaryRef dictionary, CFTypeRef* keys, CFTypeRef* values);
using CFArrayCreateMutable_fn = CFMutableArrayRef(CFAllocatorRef allocator, CFIndex capacity,
                                                  const CFArrayCallBacks* callBacks);
using CFArrayAppendValue_fn = void(CFMutableArrayRef array, CFTypeRef value);
using CFArrayGetCount_fn = CFIndex(CFArrayRef array);
using CFArrayGetValueAtIndex_fn = CFTypeRef(CFArrayRef array, CFIndex index);
using CFPropertyListCreateData_fn = CFDataRef(CFAllocatorRef allocator, CFPropertyListRef value,
                                              CFPropertyListFormat format, CFOptionFlags options, CFErrorRef* error);
using CFPropertyListCreateWithData_fn = CFPropertyListRef(CFAllocatorRef allocator, CFDataRef data,
                                                          CFOptionFlags options, CFPropertyListFormat* format,
                                                          CFErrorRef* error);

// The types of the data symbols: the booleans are read through the looked-up address,
// the callback structures are passed by it.
using kCFBooleanTrue_var = const CFBooleanRef;
using kCFBooleanFalse_var = const CFBooleanRef;
using kCFTypeDictionaryKeyCallBacks_var = const CFDictionaryKeyCallBacks;
using kCFTypeDictionaryValueCallBacks_var = const CFDictionaryValueCallBacks;
using kCFTypeArrayCallBacks_var = const CFArrayCallBacks;

// MobileDevice. A device handle belongs to the library and lives until the process ends.
typedef struct AMOpaqueDevice* AMDeviceRef;

struct AMDeviceNotificationRecord
{
    AMDeviceRef device;
    unsigned message; // 1 arrived, 2 left; other numbers are to be ignored
};

// Runs on a thread of the library, never inside AMDeviceNotificationSubscribe.
using AMDeviceNotificationCallback = void (*)(const AMDeviceNotificationRecord* record, void* context);

using AMDeviceNotificationSubscribe_fn = int(AMDeviceNotificationCallback callback, unsigned unused1,
                                             unsigned unused2, void* context, void** subscriptionOut);
using AMDeviceConnect_fn = int(AMDeviceRef device);
using AMDeviceIsPaired_fn = int(AMDeviceRef device);
using AMDevicePair_fn = int(AMDeviceRef device);
using AMDeviceValidatePairing_fn = int(AMDeviceRef device);
using AMDeviceStartSession_fn = int(AMDeviceRef device);
using AMDeviceStopSession_fn = int(AMDeviceRef device);
using AMDeviceDisconnect_fn = int(AMDeviceRef device);
using AMDeviceStartService_fn = int(AMDeviceRef device, CFStringRef serviceName, int* socketOut, void* reserved);
using AMDeviceCopyValue_fn = CFTypeRef(AMDeviceRef device, CFStringRef domain, CFStringRef key);
using AMDeviceSetValue_fn = int(AMDeviceRef device, CFStringRef domain, CFStringRef key, CFTypeRef value);
using AMDeviceCopyDeviceIdentifier_fn = CFStringRef(AMDeviceRef device);

} // extern "C"

// Every name looked up, as X(name); the types above are name##_fn and name##_var.
#define MOBILEDEVICE_FUNCTIONS(X)                                                                                    \
    X(AMDeviceNotificationSubscribe)                                                                                   \
    X(AMDeviceConnect)                                                                                                 \
    X(AMDeviceIsPaired)                                                                                                \
    X(AMDevicePair)                                                                                                    \
    X(AMDeviceValidatePairing)                                                                                         \
    X(AMDeviceStartSession)                                                                                            \
    X(AMDeviceStopSession)                                                                                             \
    X(AMDeviceDisconnect)                                                                                              \
    X(AMDeviceStartService)                                                                                            \
    X(AMDeviceCopyValue)                                                                                               \
    X(AMDeviceSetValue)                                                                                                \
    X(AMDeviceCopyDeviceIdentifier)

#define COREFOUNDATION_FUNCTIONS(X)                                                                                  \
    X(CFRelease)                                                                                                       \
    X(CFGetTypeID)                                                                                                     \
    X(CFNullGetTypeID)                                                                                                 \
    X(CFNumberGetTypeID)                                                                                               \
    X(CFBooleanGetTypeID)                                                                                              \
    X(CFStringGetTypeID)                                                                                               \
    X(CFDataGetTypeID)                                                                                                 \
    X(CFDateGetTypeID)                                                                                                 \
    X(CFDictionaryGetTypeID)                                                                                           \
    X(CFArrayGetTypeID)                                                                                                \
    X(CFNumberGetValue)                                                                                                \
    X(CFNumberGetType)                                                                                                 \
    X(CFNumberCreate)                                                                                                  \
    X(CFStringGetLength)                                                                                               \
    X(CFStringGetBytes)                                                                                                \
    X(CFStringCreateWithBytes)                                                                                         \
    X(CFDataGetLength)                                                                                                 \
    X(CFDataGetBytes)                                                                                                  \
    X(CFDataCreate)                                                                                                    \
    X(CFDateGetAbsoluteTime)                                                                                           \
    X(CFAbsoluteTimeGetGregorianDate)                                                                                  \
    X(CFGregorianDateGetAbsoluteTime)                                                                                  \
    X(CFDateCreate)                                                                                                    \
    X(CFTimeZoneCreateWithTimeIntervalFromGMT)                                                                         \
    X(CFTimeZoneCreateWithName)                                                                                        \
    X(CFDictionaryCreateMutable)                                                                                       \
    X(CFDictionaryGetValue)                                                                                            \
    X(CFDictionarySetValue)                                                                                            \
    X(CFDictionaryGetCount)                                                                                            \
    X(CFDictionaryGetKeysAndValues)                                                                                    \
    X(CFArrayCreateMutable)                                                                                            \
    X(CFArrayAppendValue)                                                                                              \
    X(CFArrayGetCount)                                                                                                 \
    X(CFArrayGetValueAtIndex)                                                                                          \
    X(CFPropertyListCreateData)                                                                                        \
    X(CFPropertyListCreateWithData)

#define COREFOUNDATION_DATA(X)                                                                                       \
    X(kCFBooleanTrue)                                                                                                  \
    X(kCFBooleanFalse)                                                                                                 \
    X(kCFTypeDictionaryKeyCallBacks)                                                                                   \
    X(kCFTypeDictionaryValueCallBacks)                                                                                 \
    X(kCFTypeArrayCallBacks)

inline constexpr std::uint32_t kCFStringEncodingUTF8 = 0x08000100;
inline constexpr CFPropertyListFormat kCFPropertyListXMLFormat_v1_0 = 100;
inline constexpr CFPropertyListFormat kCFPropertyListBinaryFormat_v1_0 = 200;
