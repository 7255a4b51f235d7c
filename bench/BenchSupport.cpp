#include "BenchSupport.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

PairedTimes pairedRuns(int rounds, const TimedRun& baseline, const TimedRun& ours)
{
    return pairedRounds(rounds, [&] {
        const double baselineMs = baseline();
        return PairMs{baselineMs, ours()};
    });
}

PairedTimes pairedRounds(int rounds, const std::function<PairMs()>& run)
{
    std::vector<double> baselineMs, oursMs, ratios;
    for (int i = 0; i < rounds; ++i) {
        const PairMs pair = run();
        baselineMs.push_back(pair.baselineMs);
        oursMs.push_back(pair.oursMs);
        ratios.push_back(pair.oursMs / pair.baselineMs);
    }
    return {median(oursMs), median(baselineMs), median(ratios)};
}

int roundsFor(int messages)
{
    return std::clamp(300000 / std::max(messages, 1), 3, 31);
}

double timeMs(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

ChildRun runChild(const QString& program, const QStringList& args)
{
    std::vector<QByteArray> words{QFile::encodeName(program)};
    for (const QString& arg : args)
        words.push_back(arg.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    ChildRun run;
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return run;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.ms = double(timer.nsecsElapsed()) / 1e6;
    run.peakKb = usage.ru_maxrss;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

void printSize(const char* bench, int size, const PairedTimes& times)
{
    std::printf("{\"bench\": \"%s\", \"messages\": %d, \"ours_ms\": %.1f, \"baseline_ms\": %.1f, \"ratio\": %.2f}\n",
                bench, size, times.oursMs, times.baselineMs, times.ratio);
    std::fflush(stdout);
}

void Bounds::check(const QString& what, double value, double limit)
{
    const bool ok = value <= limit;
    m_missed = m_missed || !ok;
    std::printf("{\"bound\": \"%s\", \"value\": %.2f, \"limit\": %.2f, \"ok\": %s}\n", qUtf8Printable(what), value,
                limit, ok ? "true" : "false");
    std::fflush(stdout);
}

int checkRatioAndGrowth(const QString& work, const std::function<double(int)>& measure, double allowedRatio,
                        int argc, char** argv)
{
    const double acceptance = measure(100000);
    const double small = measure(smallSize);
    const double large = measure(largeSize(argc, argv));
    if (acceptance < 0 || small < 0 || large < 0)
        return 2;
    Bounds bounds;
    bounds.check(work + QStringLiteral(" ratio at 100000"), acceptance, allowedRatio);
    bounds.check(work + QStringLiteral(" ratio growth from 10000 to the larger size"), large / small, allowedGrowth);
    return bounds.exitCode();
}

int largeSize(int argc, char** argv)
{
    const int size = argc > 1 ? QByteArray(argv[1]).toInt() : 0;
    return size > smallSize ? size : 1000000;
}
