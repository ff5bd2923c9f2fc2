#include "platform/clock.h"

#include "platform/platform.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>

namespace platform {

constexpr int kTmYearBase = 1900;  // struct tm counts years from 1900 and months from 0

namespace {

LocalTime unknownTime(const char* what, int error)
{
    consoleLine("[clock] %s (%s): the time shows as 0", what, std::strerror(error));
    return LocalTime{0, 0, 0, 0, 0, 0, false};
}

}  // namespace

LocalTime localTimeOf(int64_t seconds)
{
    if (seconds > int64_t(std::numeric_limits<time_t>::max()) || seconds < int64_t(std::numeric_limits<time_t>::min()))
        return unknownTime("the time cannot be put in the calendar", EOVERFLOW);
    const time_t when = time_t(seconds);
    std::tm t{};
    errno = 0;
    if (!localtime_r(&when, &t))
        return unknownTime("the time cannot be put in the calendar", errno ? errno : EOVERFLOW);
    return LocalTime{t.tm_year + kTmYearBase, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

LocalTime localNow()
{
    timespec now{};
    if (clock_gettime(CLOCK_REALTIME, &now) != 0)
        return unknownTime("the clock cannot be read", errno);
    return localTimeOf(int64_t(now.tv_sec));
}

}  // namespace platform
