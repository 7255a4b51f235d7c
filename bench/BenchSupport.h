#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Shared by the benchmarks: paired timing against a baseline measured in the same run,
// child processes with their peak memory, and the verdict against the stated bounds.

// One run of a measured piece of work; returns the milliseconds its timed part took.
using TimedRun = std::function<double()>;

struct PairedTimes
{
    double oursMs;
    double baselineMs;
    double ratio;
};

// Runs the baseline and ours in turn, rounds times, so that a busy machine slows both
// alike; the ratio is the median of the pairs' ratios, the times are medians too.
PairedTimes pairedRuns(int rounds, const TimedRun& baseline, const TimedRun& ours);

// The same, for work that measures the baseline and ours in one go: run returns
// {baseline ms, ours ms}.
struct PairMs
{
    double baselineMs;
    double oursMs;
};
PairedTimes pairedRounds(int rounds, const std::function<PairMs()>& run);

// Enough pairs that a small size's median stands above the machine's noise: 3 for
// 100,000 messages and more, up to 31 for a few thousand.
int roundsFor(int messages);

// Milliseconds that work took.
double timeMs(const std::function<void()>& work);

struct ChildRun
{
    double ms = 0;
    long peakKb = 0; // the child's peak resident memory
    bool ok = false; // exited with 0
};

// Runs the program with its output thrown away; the program's stderr stays visible.
ChildRun runChild(const QString& program, const QStringList& args);

// Prints one JSON line for a measured size.
void printSize(const char* bench, int size, const PairedTimes& times);

class Bounds
{
public:
    // Checks value <= limit and prints it as one JSON line.
    void check(const QString& what, double value, double limit);
    // The exit code: 0 when every bound held, 1 when one was missed.
    int exitCode() const { return m_missed ? 1 : 0; }

private:
    bool m_missed = false;
};

// The size of the linearity check's larger run: the first argument, or 1,000,000. The
// smaller one is always 10,000.
int largeSize(int argc, char** argv);
constexpr int smallSize = 10000;
// Growth from the smaller to the larger size allowed by the linearity check.
constexpr double allowedGrowth = 1.5;

// Measures the ratio (negative: the run failed) at 100,000 messages and at both sizes of
// the linearity check, checks the first against allowedRatio and the growth against
// allowedGrowth, and returns the benchmark's exit code (2 when a run failed).
int checkRatioAndGrowth(const QString& work, const std::function<double(int)>& measure, double allowedRatio,
                        int argc, char** argv);
