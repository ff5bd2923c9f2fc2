#include "platform/clock.h"

#include <ctime>

namespace platform {

constexpr int kTmYearBase = 1900;  // struct tm counts years from 1900 and months from 0

LocalTime localNow()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm t{};
    if (!localtime_r(&now.tv_sec, &t))
        return LocalTime{kTmYearBase, 1, 1, 0, 0, 0};
    return LocalTime{t.tm_year + kTmYearBase, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

}  // namespace platform
