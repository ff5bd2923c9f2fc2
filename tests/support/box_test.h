// A fresh simulated box for every test: its own temporary box root and
// address, a clean shell journal, the default simulated devices, and
// reboots recorded rather than ending the test process. What the case
// started (threads, managers, pages, globals) is put back after it by the
// test support (box_reset.h), whatever the fixture: a fixture sets up what
// its cases need and leaves the tear-down to that one place.
#pragma once

#include "platform/platform.h"
#include "platform/sim/sim.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>
#include <vector>

class fpga_manage;

class BoxTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The box's view of a file, read through the platform.
    std::string readBoxFile(const std::string& boxPath);
    void writeBoxFile(const std::string& boxPath, const std::string& data);
    // Shell commands that started with `prefix`.
    std::vector<std::string> journalWith(const std::string& prefix);
    // Writes one line into the control pipe (started on first use) and
    // waits, processing Qt events, for its outcome; returns the log line
    // ("ok ..." or "error ...: ..."), or "" when none came.
    std::string control(const std::string& line);
    // The 16-bit field at block offset `blockOffset` (saved range) as the
    // parameter file holds it now; 0 when the file does not reach it.
    uint16_t paraFileField(int blockOffset);

    QTemporaryDir tmp_;
    std::string root_;
};

// A loopback address of its own for every box a test starts, in this process
// (BoxTest gives one to each test) or as a program (--address): from the
// process id and a counter, never 127.0.0.1, which people's boxes use.
std::string freshBoxAddress();

// Waits (processing Qt events) until `cond` holds or `ms` milliseconds pass.
bool waitUntil(const std::function<bool()>& cond, int ms = 5000);

// The FPGA manager with both FPGAs let out of reset, as start-up does it,
// but without its thread.
fpga_manage* fpgaManagerOutOfReset();
// Runs passes of the manager (made when missing) until FPGA 0 runs; false
// when it does not within ten.
bool fpgaZeroBroughtUp();
// The FPGA manager started as start-up starts it, its thread running; null
// when FPGA 0 does not run within a few seconds.
fpga_manage* fpgaManagerRunning();
