#pragma once

#include <QByteArray>

// The output of an outside program, kept in bounded memory however much it prints: its
// first and its last `keep` bytes, and the count of bytes between them that were dropped.
class BoundedOutput
{
public:
    static constexpr qsizetype defaultKeep = 64 * 1024;

    explicit BoundedOutput(qsizetype keep = defaultKeep);

    void append(const QByteArray& bytes);
    qint64 leftOut() const;
    // The first bytes, a line saying how many bytes were left out when any were, then the
    // last bytes.
    QByteArray bytes() const;

private:
    qsizetype keep;
    QByteArray head;
    QByteArray tail;
    qint64 dropped = 0;
};
