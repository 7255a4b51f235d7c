#include "InputFile.h"
#include "itunes/MbdbFile.h"

#include <QByteArray>

#include <cstdlib>
#include <stdexcept>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        (void)parseMbdb(bytes, QStringLiteral("Manifest.mbdb"), MbdbCheck::Strict);
    } catch (const std::runtime_error&) {
    }
    try {
        QList<MbdbRecord> records = parseMbdb(bytes, QStringLiteral("Manifest.mbdb"), MbdbCheck::Lenient).values();
        // A merge rewrites the manifest it read: what it writes must read back strictly, to
        // the same bytes.
        const QByteArray written = encodeMbdb(records);
        QList<MbdbRecord> reread = parseMbdb(written, QStringLiteral("Manifest.mbdb"), MbdbCheck::Strict).values();
        if (encodeMbdb(reread) != written)
            abort();
    } catch (const std::runtime_error&) {
    }
    return 0;
}
