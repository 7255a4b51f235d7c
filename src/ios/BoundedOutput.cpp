#include "ios/BoundedOutput.h"

#include <algorithm>

BoundedOutput::BoundedOutput(qsizetype keep)
    : keep(keep)
{
}

void BoundedOutput::append(const QByteArray& bytes)
{
    const qsizetype toHead = std::min(keep - head.size(), bytes.size());
    head += bytes.left(toHead);
    tail += bytes.mid(toHead);
    // Trimmed only once it holds twice what is kept, so that many small pieces do not each
    // move the whole tail.
    if (tail.size() > 2 * keep) {
        dropped += tail.size() - keep;
        tail.remove(0, tail.size() - keep);
    }
}

qint64 BoundedOutput::leftOut() const
{
    return dropped + std::max<qsizetype>(0, tail.size() - keep);
}

QByteArray BoundedOutput::bytes() const
{
    const QByteArray last = tail.right(keep);
    if (leftOut() == 0)
        return head + last;
    return head + "\n[... " + QByteArray::number(leftOut()) + " bytes of output left out ...]\n" + last;
}
