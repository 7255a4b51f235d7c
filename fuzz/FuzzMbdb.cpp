#include "InputFile.h"
#include "itunes/MbdbFile.h"

#include <stdexcept>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        const MbdbMap records = readMbdb(inputFilePath(data, size));
        for (const MbdbRecord& record : records) {
            (void)record.domain.toString();
            (void)record.path.toString();
            (void)record.linkTarget.toString();
            (void)record.isDir();
        }
    } catch (const std::runtime_error&) {
    }
    return 0;
}
