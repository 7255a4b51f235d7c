#include "InputFile.h"
#include "ios/CFType.h"
#include "ios/mobiledevice_backup2.h"
#include "ios/mobiledevice_library.h"
#include "ios/mobiledevice_link.h"

#include <QByteArray>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

// The values go through our CoreFoundation, loaded as the program loads it.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    QString error;
    if (!mobiledevice_load_frameworks(error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        std::abort();
    }
    return 0;
}

// One input is the body of one message from the phone: a DeviceLink message, perhaps
// carrying a mobilebackup2 reply.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const CFType message =
        CFType::fromData(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    try {
        (void)mobiledevice_link_dl_message_name(message);
        const CFType dictionary = mobiledevice_link_process_message_dictionary(message);
        (void)dictionary.value(QStringLiteral("ProtocolVersion")).toDouble(0.0);
        (void)mobiledevice_backup2_response_error(dictionary, message);
    } catch (const std::runtime_error&) {
    }
    return 0;
}
