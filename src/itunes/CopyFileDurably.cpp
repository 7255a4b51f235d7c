#include "itunes/CopyFileDurably.h"

#include "frame/FullWrite.h"
#include "frame/RegularFileReader.h"

#include <QFile>

#include <cerrno>
#include <stdexcept>

#include <unistd.h>

namespace {

constexpr qint64 blockSize = 1 << 20;

bool fail(QFile& created, const QString& reason, QString* error)
{
    *error = reason;
    created.close();
    created.remove();
    return false;
}

} // namespace

bool copyFileDurably(const QString& from, const QString& to, QString* error)
{
    QFile in(from);
    try {
        openRegularFileForReading(in);
    } catch (const std::runtime_error& e) {
        *error = QString::fromUtf8(e.what());
        return false;
    }
    QFile out(to);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        *error = QStringLiteral("cannot create %1: %2").arg(to, out.errorString());
        return false;
    }
    qint64 copied = 0;
    for (;;) {
        const QByteArray block = in.read(blockSize);
        if (block.isEmpty()) {
            if (in.error() != QFileDevice::NoError)
                return fail(out, QStringLiteral("cannot read %1: %2").arg(from, in.errorString()), error);
            break;
        }
        if (!writeFully(out, block))
            return fail(out, QStringLiteral("cannot write %1: %2").arg(to, out.errorString()), error);
        copied += block.size();
    }
    if (!flushFully(out))
        return fail(out, QStringLiteral("cannot write %1: %2").arg(to, out.errorString()), error);
    if (::fsync(out.handle()) != 0)
        return fail(out, QStringLiteral("cannot write %1: %2").arg(to, qt_error_string(errno)), error);
    if (copied != in.size())
        return fail(out, QStringLiteral("%1 changed while it was copied").arg(from), error);
    return true;
}
