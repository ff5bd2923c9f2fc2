// The running host box's control pipe. A person or a test writes commands,
// one per line, into the named pipe <box root>/sim/control; one thread reads
// them and appends each outcome to <box root>/sim/control.log. The commands
// live in the platform's one table (platform::addControlCommand): the
// simulated devices' own are added here, the program adds those that act on
// its keys and LCD. docs/simulated-box.md lists them all.
#pragma once

#include "platform/platform.h"

namespace platform::sim {

constexpr const char* kControlPipe = "/sim/control";
constexpr const char* kControlLog = "/sim/control.log";
constexpr const char* kChipDump = "/sim/chip.txt";
constexpr const char* kChipCounters = "/sim/chip-counters.txt";
constexpr const char* kOsdDump = "/sim/osd.txt";
constexpr const char* kMemoryDump = "/sim/memory.txt";
constexpr const char* kFpgaDump = "/sim/fpga.txt";
constexpr const char* kFpgaMemoryDump = "/sim/fpga-memory.txt";
constexpr const char* kCardsDump = "/sim/cards.txt";
constexpr const char* kFlashDump = "/sim/flash.bin";

// Adds the simulated devices' commands (plug, pull, port, cards, card, usb,
// chip, memory, osd, fpga, flash, fault), makes the pipe and starts the thread that reads
// it. platform::init() starts it; a later call in the same box root does
// nothing, one in another box root (a test's next box) moves the pipe
// there. False when there is no pipe.
bool startControlPipe();
// Ends the reader and closes the pipe (tests, between boxes).
void stopControlPipe();

// The `fault` command: the devices' fault switches (sim_fault_commands.cpp).
ControlCommand faultControlCommand();

}  // namespace platform::sim
