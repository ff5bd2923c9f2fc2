// The wall clock, read with the C library.
//
// The box reads the time of day here and not through Qt: on the 32-bit box
// Qt is built with 32-bit times, and from 2038-01-19 03:14:08 UTC on its
// clock reads fail and hand back whatever the stack held. The program itself
// is built with 64-bit times on every target (CMakeLists.txt).
#pragma once

#include <cstdint>

namespace platform {

// Local date and time of day, as the calendar shows them.
struct LocalTime {
    int year;    // e.g. 2040
    int month;   // 1-12
    int day;     // 1-31
    int hour;    // 0-23
    int minute;  // 0-59
    int second;  // 0-60 (a leap second)
    // False when the clock could not be read or its time not put in the
    // calendar (said on the console): then every field above is 0, and the
    // aging log writes its time as "----- --:--".
    bool known = true;
};

// The clock now, in the box's time zone.
LocalTime localNow();
// The same for a time in seconds since 1970 (UTC).
LocalTime localTimeOf(int64_t seconds);

}  // namespace platform
