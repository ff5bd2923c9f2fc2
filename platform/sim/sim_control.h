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
constexpr const char* kFlashDump = "/sim/flash.bin";

// Adds the simulated devices' commands (plug, pull, port, cards, card, usb,
// chip, memory, osd, fpga, flash, fault), makes the pipe and starts the thread that reads
// it. Started once by platform::init(); a later call does nothing. False
// when there is no pipe.
bool startControlPipe();

// The `fault` command: the devices' fault switches (sim_fault_commands.cpp).
ControlCommand faultControlCommand();

}  // namespace platform::sim
