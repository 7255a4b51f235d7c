#pragma once

#include <QByteArray>

class QFileDevice;

// Qt reports a write that the system cut short (a full disk takes what fits, then refuses
// the rest) as a failure without a cause, "Unknown error". These try the rest once more,
// so that the system's refusal, such as "No space left on device", becomes the file's
// errorString. Both return false unless every byte went out.
bool writeFully(QFileDevice& file, const QByteArray& data);
bool flushFully(QFileDevice& file);
