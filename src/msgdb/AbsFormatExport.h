#pragma once

// Where a stream of records is written: a message database or an export file.
// Call begin once, write for each record in the caller's order, end once. Failures are
// exceptions derived from std::exception whose UTF-8 text is meant for the user.
template<class Record>
class AbsFormatExport
{
public:
    virtual ~AbsFormatExport() = default;

    virtual void begin() = 0;
    virtual void write(const Record& record) = 0;
    virtual void end() = 0;
};
