// The wall clock, read with the C library.
//
// The box reads the time of day here and not through Qt: on the 32-bit box
// Qt is built with 32-bit times, and from 2038-01-19 03:14:08 UTC on its
// clock reads fail and hand back whatever the stack held. The program itself
// is built with 64-bit times on every target (CMakeLists.txt).
#pragma once

namespace platform {

// Local date and time of day, as the calendar shows them.
struct LocalTime {
    int year;    // e.g. 2040
    int month;   // 1-12
    int day;     // 1-31
    int hour;    // 0-23
    int minute;  // 0-59
    int second;  // 0-60 (a leap second)
};

// The clock now, in the box's time zone.
LocalTime localNow();

}  // namespace platform
