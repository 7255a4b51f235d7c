#include "frame/FullWrite.h"

#include <QFileDevice>

bool writeFully(QFileDevice& file, const QByteArray& data)
{
    qint64 done = 0;
    bool retried = false;
    while (done < data.size()) {
        const qint64 n = file.write(data.constData() + done, data.size() - done);
        if (n > 0) {
            done += n;
        } else if (retried) {
            return false;
        } else {
            retried = true;
        }
    }
    return true;
}

bool flushFully(QFileDevice& file)
{
    return file.flush() || file.flush();
}
