#include "frame/ReportedRun.h"

#include "frame/ErrorMarkup.h"
#include "frame/FrameLog.h"
#include "frame/WorkerReport.h"

#include <exception>

namespace {

void takeBackQuietly(const std::function<void()>& takeBack) noexcept
{
    if (!takeBack)
        return;
    try {
        takeBack();
    } catch (const std::exception& e) {
        qCWarning(lcFrame, "undoing a failed run failed: %s", e.what());
    } catch (...) {
        qCWarning(lcFrame, "undoing a failed run failed");
    }
}

} // namespace

void runReported(WorkerReport& report, const std::function<void()>& body, const std::function<void()>& takeBack,
                 const QString& failureText)
{
    try {
        body();
    } catch (const RunCancelled&) {
        takeBackQuietly(takeBack);
    } catch (const std::exception& e) {
        qCWarning(lcFrame, "a run failed: %s", e.what());
        takeBackQuietly(takeBack);
        // A step that saw the cancel may end in any exception; the run is over by then.
        if (!report.rejected)
            report.postError(errorMarkup(e));
    } catch (...) {
        takeBackQuietly(takeBack);
        if (!report.rejected)
            report.postError(failureText);
    }
}
