#pragma once

#include "msgdb/AbsMessageDb.h"

#include <QString>

// A message database of an iPhone schema generation (5, or 6 and later).
class AbsIOSMessageDb : public AbsMessageDb
{
public:
    ~AbsIOSMessageDb() override = default;

    virtual int iosVersion() = 0;

    // 6 when the file holds the five tables of the iOS 6 schema, 5 when it holds those of
    // the iOS 5 schema. Changes nothing in or beside the file; throws "not a message
    // database: <path>" for a file that is neither, or that cannot be read.
    static int detectIosVersion(const QString& path);
};
