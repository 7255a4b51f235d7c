#pragma once

#include "msgdb/AbsMessageDb.h"

#include <QString>

// A message database of an iPhone schema generation (5, or 6 and later).
class AbsIOSMessageDb : public AbsMessageDb
{
public:
    ~AbsIOSMessageDb() override = default;

    virtual int iosVersion() = 0;

    // 6 when the file holds the five tables of the iOS 6 schema, else 5. Opens the
    // existing file read-write and creates nothing; throws when it cannot be read.
    static int detectIosVersion(const QString& path);
};
