// The main window left open while phones come and go: a simulated iPhone (the device
// library's stand-in) and a simulated Android phone (the fake adb and the companion's
// simulator) are plugged in, read and listed, then unplugged, cycle after cycle. After a
// warm-up, the heap in use is taken after each cycle; what a cycle leaves behind is the
// growth per cycle (the slope of a least-squares line through the figures). Exits 1 above
// 10 kB a cycle, 2 when a phone did not arrive or leave.
//
// Runs with its own home, data and cache folders below a temporary folder: it never
// touches the user's own.
#include "support/FakeAdb.h"

#include "android/AndroidMonitor.h"
#include "frame/MessageBox.h"
#include "ios/mobiledevice_library.h"
#include "ui/ItemModelMain.h"
#include "ui/MainWindow.h"
#include "ui/MyTreeView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <functional>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's own statistics; its header does not come with every compiler.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace {

constexpr int warmUpCycles = 5;
constexpr int measuredCycles = 50;
constexpr double allowedGrowthPerCycle = 10 * 1024;
constexpr int arrivalLimitMs = 60000;

const QString udid = QStringLiteral("BENCH-PLUG-CYCLES");
const QString serial = QStringLiteral("emulator-5554");

// Bytes of heap the program holds now, freed blocks left out.
double heapInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer's allocator replaces malloc's, whose statistics then stay empty.
    return double(__sanitizer_get_current_allocated_bytes());
#else
    return double(mallinfo2().uordblks);
#endif
}

bool waitFor(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > arrivalLimitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// Lets queued work (deferred deletions, late signals) run before the heap is read.
void settle()
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 300) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

int listedPhones(MainWindow& window)
{
    const auto* tree = window.findChild<MyTreeView*>(QStringLiteral("treeViewDS"));
    const auto* model = static_cast<const ItemModelMain*>(tree->model());
    return int(model->deviceRoot->children.size());
}

bool makeIPhone(const QString& staging)
{
    const QString sms = staging + QStringLiteral("/sms.db");
    return QDir().mkpath(staging)
           && runCli(QStringLiteral("python3"), {QStringLiteral(FIXTURES_DIR "/msgdb/device_smsdb.py"), sms}).exitCode
                  == 0
           && runCli(QStringLiteral("python3"),
                     {QStringLiteral(MAKE_PHONE_PATH), staging, udid, QStringLiteral("--ios"), QStringLiteral("7.1.2"),
                      QStringLiteral("--sms"), sms, QStringLiteral("--name"), QStringLiteral("Bench iPhone")})
                      .exitCode
                  == 0;
}

void makeAndroidPhone(FakeAdb& adb)
{
    adb.serverAlreadyUp();
    adb.setPhone(serial, QJsonObject{{"packages", QJsonArray{"android", "com.veltrominex.smssync"}},
                                     {"hello", QJsonObject{{"model", "Bench Android"}}}});
    QJsonArray inbox;
    for (int i = 0; i < 20; ++i)
        inbox.append(QJsonArray{1700000000000LL + i * 60000LL, i % 2,
                                QStringLiteral("+4917612345%1").arg(i % 4, 3, 10, QLatin1Char('0')), QString(),
                                QStringLiteral("message %1").arg(i), QString()});
    QFile file(adb.phoneFolder(serial) + QStringLiteral("/inbox.json"));
    file.open(QIODevice::WriteOnly);
    file.write(QJsonDocument(inbox).toJson());
}

// The slope of the least-squares line through the figures, per step.
double slope(const std::vector<double>& figures)
{
    const double n = double(figures.size());
    double sumX = 0, sumY = 0, sumXY = 0, sumXX = 0;
    for (size_t i = 0; i < figures.size(); ++i) {
        sumX += double(i);
        sumY += figures[i];
        sumXY += double(i) * figures[i];
        sumXX += double(i) * double(i);
    }
    return (n * sumXY - sumX * sumY) / (n * sumXX - sumX * sumX);
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    for (const char* folder : {"home", "data", "cache", "config", "sim"})
        QDir().mkpath(home.filePath(QLatin1String(folder)));
    qputenv("HOME", QFile::encodeName(home.filePath(QStringLiteral("home"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.filePath(QStringLiteral("cache"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    qputenv("SIMDEVICE_ROOT", QFile::encodeName(home.filePath(QStringLiteral("sim"))));
    qputenv("VELTROMINEX_SERVER", "http://127.0.0.1:9");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    setHeadlessMessageBoxes(true);
    AndroidMonitor::setPollInterval(50);

    FakeAdb adb;
    makeAndroidPhone(adb);
    const QString staging = home.filePath(QStringLiteral("staging"));
    const QString plugged = home.filePath(QStringLiteral("sim/") + udid);
    const QString unplugged = staging + QLatin1Char('/') + udid;
    QString loadError;
    if (!makeIPhone(staging) || !mobiledevice_load_frameworks(loadError)) {
        std::fprintf(stderr, "cannot set up the simulated iPhone: %s\n", qPrintable(loadError));
        return 2;
    }

    MainWindow window(nullptr);
    window.show();
    const auto cycle = [&] {
        adb.setDevices({{serial, QStringLiteral("device")}});
        QDir().rename(unplugged, plugged);
        if (!waitFor([&] { return listedPhones(window) == 2; }))
            return false;
        adb.setDevices({});
        QDir().rename(plugged, unplugged);
        if (!waitFor([&] { return listedPhones(window) == 0; }))
            return false;
        settle();
        return true;
    };

    for (int i = 0; i < warmUpCycles; ++i) {
        if (!cycle()) {
            std::fprintf(stderr, "a phone did not arrive or leave within %d s in warm-up cycle %d\n",
                         arrivalLimitMs / 1000, i + 1);
            return 2;
        }
    }
    std::vector<double> figures{heapInUse()};
    for (int i = 0; i < measuredCycles; ++i) {
        if (!cycle()) {
            std::fprintf(stderr, "a phone did not arrive or leave within %d s in cycle %d\n", arrivalLimitMs / 1000,
                         i + 1);
            return 2;
        }
        figures.push_back(heapInUse());
    }

    const double growth = slope(figures);
    std::printf("{\"bench\":\"device_plug_cycles\",\"cycles\":%d,\"heap_after_warm_up_kb\":%.1f,"
                "\"heap_at_end_kb\":%.1f,\"growth_per_cycle_kb\":%.2f,\"limit_kb\":%.1f}\n",
                measuredCycles, figures.front() / 1024, figures.back() / 1024, growth / 1024,
                allowedGrowthPerCycle / 1024);
    return growth > allowedGrowthPerCycle ? 1 : 0;
}
