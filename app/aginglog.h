// The aging log: one line every three minutes with FPGA 0's registers 42, 40
// and 43, kept in memory for the factory aging test (at most 3360 lines,
// seven days), and five counters that sort the growth of register 42 between
// two samples. The 10 ms tick takes the samples (MainWindow::getagelog); the
// aging-log page only reads the log and the counters. GUI thread only.
#pragma once

#include "app/global.h"
#include "platform/clock.h"

#include <QString>

constexpr int kAgingLogMaxLines = 3360;

// Growth d of register 42 between two consecutive samples, by bucket; a
// growth of 0 is counted nowhere. Never reset while the program runs.
extern int factoryage_log_diff3;     // 1 or 2
extern int factoryage_log_diff5;     // 3 or 4
extern int factoryage_log_diff10;    // 5 to 9
extern int factoryage_log_diff20;    // 10 to 19
extern int factoryage_log_diffmore;  // 20 or more

// FPGA 0's registers the log carries.
struct AgingRegisters {
    u8 r42;  // an 8-bit counter; its growth is what the counters sort
    u8 r40;  // status bits DDR0, DDR1, DE, HS, VS
    u8 r43;
};

// The date and time field of a line: "MM-dd hh:mm".
QString agingTimeStamp(const platform::LocalTime& when);

// Whether the tick may take a sample: the FPGA manager exists, FPGA 0 is up
// and running, and no PC command was answered lately.
bool agingSampleAllowed();

// Refreshes FPGA 0's registers 40, 42 and 43 (in that order) over SPI and
// reads them from its register image. False without an FPGA manager.
bool readAgingRegisters(AgingRegisters* out);

// Appends "<stamp> <r42> <r40> <r43>" to factoryage_log, drops the oldest
// line beyond 3360, and counts the growth of register 42 since the line
// before (a counter that went down wrapped at 256).
void appendAgingSample(const QString& stamp, const AgingRegisters& regs);
