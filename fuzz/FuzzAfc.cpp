#include "InputFile.h"
#include "ios/AfcFileInfo.h"
#include "ios/afc.h"

#include <QByteArray>

#include <stdexcept>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    return 0;
}

// One input is one reply packet: its header, then its payload, which goes through every
// reader of a reply's contents.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < size_t(afcHeaderLength))
        return 0;
    const char* bytes = reinterpret_cast<const char*>(data);
    const QByteArray payload(bytes + afcHeaderLength, qsizetype(size) - afcHeaderLength);
    try {
        const AfcPacketHeader header = afc_decode_header(bytes);
        int status = 0;
        (void)afc_decode_reply(header.operation, payload, &status);
        (void)afc_decode_reply(header.operation, payload);
    } catch (const std::runtime_error&) {
    }
    (void)afc_decode_texts(payload);
    (void)AfcFileInfo::fromPairs(QStringLiteral("/f"), afc_decode_file_info(payload));
    return 0;
}
