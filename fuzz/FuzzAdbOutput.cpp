#include "InputFile.h"
#include "android/AdbClient.h"

#include <QByteArray>

#include <cstdlib>
#include <stdexcept>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    return 0;
}

// One input is what adb printed; it is judged the way every call judges it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString output = utf8UpToNul(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    for (const AdbDevice& device : parseAdbDevices(output)) {
        // The monitor keys phones by serial: a device is announced only with a serial and a state.
        if (device.devid.isEmpty() || device.state.isEmpty() || !device.line.startsWith(device.devid))
            abort();
        (void)device.isReady();
        (void)device.isUnusable();
    }
    (void)parseAdbPackages(output);
    try {
        requireSuccessLine(output);
    } catch (const std::runtime_error&) {
    }
    try {
        requireNoErrorLine(output);
    } catch (const std::runtime_error&) {
    }
    return 0;
}
