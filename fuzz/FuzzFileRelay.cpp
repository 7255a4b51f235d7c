#include "InputFile.h"
#include "frame/WorkerReport.h"
#include "ios/FileRelayUnpacker.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace {

// Small, so that an input that unpacks to much more than it is ends early, as a gzip bomb
// from a phone does.
constexpr qint64 sizeLimit = 1 << 20;

// Progress goes nowhere; no run is cancelled.
class SilentReport : public WorkerReport
{
public:
    void postProgress(const QString&, int, const QString&) override {}
    void postError(const QString&) override {}
    void postSucceed(const QString&) override {}

protected:
    void showTip(const QString&) override {}
};

// In memory where there is a memory file system: every staged file is synced, which then
// costs nothing.
std::unique_ptr<QTemporaryDir> scratch;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    const QString memory = QStringLiteral("/dev/shm");
    scratch = std::make_unique<QTemporaryDir>(QFileInfo(memory).isWritable()
                                                  ? memory + QStringLiteral("/fuzz-filerelay-XXXXXX")
                                                  : QDir::tempPath() + QStringLiteral("/fuzz-filerelay-XXXXXX"));
    if (!scratch->isValid()) {
        std::fprintf(stderr, "no scratch folder: %s\n", qPrintable(scratch->errorString()));
        std::abort();
    }
    return 0;
}

// One input is one archive as a phone's file_relay service sends it, unpacked into a
// phone's cache folder that starts empty each time.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString archivePath = inputFilePath(data, size);
    QDir cache(scratch->filePath(QStringLiteral("cache")));
    if (!QDir().mkpath(cache.path()))
        std::abort();
    SilentReport report;
    try {
        FileRelayUnpacker(report, sizeLimit).unpack(archivePath, cache);
    } catch (const std::runtime_error&) {
    }
    if (!cache.removeRecursively())
        std::abort();
    return 0;
}
