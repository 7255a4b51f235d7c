#include "frame/FileSwap.h"

#include "frame/FrameLog.h"

#include <QFile>
#include <QFileInfo>
#include <QtDebug>

#include <stdexcept>

namespace {

bool exists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

void FileSwap::add(const QString& path, const QString& stagedPath, const QString& keptPath)
{
    steps.append({path, stagedPath, keptPath});
}

void FileSwap::commit()
{
    QList<Rename> done;
    auto rename = [this, &done](const QString& from, const QString& to) {
        QFile file(from);
        // Checked here too: QFile::rename falls back to writing through a dangling link.
        if (!exists(to) && file.rename(to)) {
            done.append({from, to});
            return;
        }
        const QString reason = QStringLiteral("cannot rename %1 to %2: %3")
                                   .arg(from, to, exists(to) ? QStringLiteral("the name is taken") : file.errorString());
        qCWarning(lcFrame, "%s", qUtf8Printable(reason));
        undo(done);
        throw std::runtime_error(reason.toStdString());
    };
    for (const Step& step : steps) {
        if (exists(step.path))
            rename(step.path, step.keptPath);
        if (!step.stagedPath.isEmpty())
            rename(step.stagedPath, step.path);
    }
}

void FileSwap::undo(const QList<Rename>& done)
{
    for (auto it = done.crbegin(); it != done.crend(); ++it) {
        if (!QFile::rename(it->to, it->from))
            qCCritical(lcFrame, "cannot rename %s back to %s", qUtf8Printable(it->to), qUtf8Printable(it->from));
    }
}
