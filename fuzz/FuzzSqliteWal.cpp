#include "InputFile.h"
#include "SqliteReading.h"
#include "msgdb/Sqlite3File.h"
#include "msgdb/SqliteWalFrames.h"

#include <QByteArray>

#include <stdexcept>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    return 0;
}

// The input is a write-ahead log. Its frames are replayed, in order, onto an empty image
// of its page size, and each page is read as it stands after its frame, as a recovery
// reads the history a log keeps.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const SqliteWalFrames log = readWalFrames(inputFilePath(data, size));
    if (log.frames.isEmpty())
        return 0;
    QByteArray image(log.pageSize, '\0');
    image[16] = char(log.pageSize == 65536 ? 0 : log.pageSize >> 8);
    image[17] = char(log.pageSize == 65536 ? 1 : log.pageSize & 0xFF);
    Sqlite3File history{QString()};
    try {
        history.openImage(image);
    } catch (const std::runtime_error&) {
        return 0;
    }
    // Each page the database gains comes with a frame of its own: a recovery skips larger numbers.
    const qint64 lastPossiblePage = history.pageCount() + log.frames.size();
    for (const SqliteWalFrame& frame : log.frames) {
        if (frame.pageNo > lastPossiblePage)
            continue;
        history.putPage(int(frame.pageNo), frame.page);
        readPage(history, history.page(int(frame.pageNo)));
    }
    return 0;
}
