#include "CFObject.h"
#include "Exports.h"
#include "Utf.h"

#include <cmath>

using namespace cf;

namespace {

constexpr double secondsPerDay = 86400.0;
// Days from 1970-01-01 to 2001-01-01, the reference date of absolute times.
constexpr std::int64_t referenceDayFromUnix = 11323;

// Proleptic Gregorian calendar, days counted from 1970-01-01.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + std::int64_t(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = std::int64_t(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

double zoneOffset(CFTimeZoneRef zone, const char* function)
{
    if (!zone)
        return 0;
    const TimeZone* z = checkedAs<TimeZone>(zone, timeZoneType, function);
    return z ? z->secondsFromGMT : 0;
}

} // namespace

CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef date)
{
    const Date* d = checkedAs<Date>(date, dateType, "CFDateGetAbsoluteTime");
    return d ? d->time : 0;
}

CFGregorianDate CFAbsoluteTimeGetGregorianDate(CFAbsoluteTime time, CFTimeZoneRef zone)
{
    const double local = time + zoneOffset(zone, "CFAbsoluteTimeGetGregorianDate");
    const double dayNumber = std::floor(local / secondsPerDay);
    double secondsOfDay = local - dayNumber * secondsPerDay;
    std::int64_t year;
    unsigned month, day;
    civilFromDays(std::int64_t(dayNumber) + referenceDayFromUnix, year, month, day);
    const int hour = int(secondsOfDay / 3600);
    secondsOfDay -= hour * 3600;
    const int minute = int(secondsOfDay / 60);
    secondsOfDay -= minute * 60;
    return {std::int32_t(year), std::int8_t(month), std::int8_t(day), std::int8_t(hour), std::int8_t(minute), secondsOfDay};
}

CFAbsoluteTime CFGregorianDateGetAbsoluteTime(CFGregorianDate date, CFTimeZoneRef zone)
{
    const std::int64_t days = daysFromCivil(date.year, unsigned(date.month), unsigned(date.day)) - referenceDayFromUnix;
    return double(days) * secondsPerDay + date.hour * 3600.0 + date.minute * 60.0 + date.second
        - zoneOffset(zone, "CFGregorianDateGetAbsoluteTime");
}

CFDateRef CFDateCreate(CFAllocatorRef, CFAbsoluteTime time)
{
    return toRef<CFDateRef>(new Date(time));
}

CFTimeZoneRef CFTimeZoneCreateWithTimeIntervalFromGMT(CFAllocatorRef, CFTimeInterval offset)
{
    return toRef<CFTimeZoneRef>(new TimeZone(offset));
}

// Only the names of the zero offset are known; any other name gives null.
CFTimeZoneRef CFTimeZoneCreateWithName(CFAllocatorRef, CFStringRef name, ::Boolean)
{
    const String* s = checkedAs<String>(name, stringType, "CFTimeZoneCreateWithName");
    if (!s || (s->units != u"GMT" && s->units != u"UTC"))
        return nullptr;
    return toRef<CFTimeZoneRef>(new TimeZone(0));
}
