// The program started as a process of its own, as a person starts it, for
// the tests that talk to a whole box.
//
// Where the tests themselves run under a user-mode emulator (a cross build's
// tests on a PC), the program is started through that same emulator, which
// the kernel runs in place of the test program: the emulator (a program of
// the machine) starts the emulated box. This is decided when the test runs.
// Qt's QProcess is not used: under the emulator it fails to start a process
// unseen and takes the child for process -1, whose kill reaches every process
// the user has. Here a signal only ever goes to a process this class started.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// The emulator the kernel runs for this process, when it runs under one
// (e.g. "/usr/bin/qemu-arm-static"); empty when it runs on its own processor.
std::string runningEmulator();

// Whether a test can start the program here: natively, or through the
// emulator this process runs under.
bool canStartPrograms();

class ProgramProcess {
public:
    ProgramProcess() = default;
    ~ProgramProcess();  // kills what is still running
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    // The program is started under `tracer` (a tracer and its options,
    // ending where the program's path follows: "strace", "-o", FILE, "--"),
    // natively; kill() then ends the program itself, and the tracer with
    // it. Before start().
    void setTracer(std::vector<std::string> tracer) { tracer_ = std::move(tracer); }
    // Starts the box's program (KEL_APP_BINARY) with `args` in `workDir`,
    // drawing offscreen. Its standard output goes to `outputFile` (nothing
    // kept by default); `errorsToo` sends its standard error there as well,
    // else it shares the test's. False, with the reason in error(), when the
    // process did not start or its program could not be run.
    bool start(const std::vector<std::string>& args, const std::string& workDir,
               const std::string& outputFile = "/dev/null", bool errorsToo = false);

    bool running();
    // The process start() made, while it has not been waited for; 0 otherwise.
    pid_t pid() const { return pid_; }
    // Waits up to `ms` milliseconds for the process to end; true once it has.
    bool waitFinished(int ms);
    // After it has ended: whether it returned from main or called exit, and its status.
    bool exitedNormally() const { return ended_ && normalExit_; }
    int exitCode() const { return exitCode_; }
    // Kills the process when it still runs, and waits for it.
    void kill();
    const std::string& error() const { return error_; }

private:
    bool reap(int options);

    pid_t pid_ = 0;  // > 0 only for a process start() made and nobody has waited for yet
    bool ended_ = false;
    bool normalExit_ = false;
    int exitCode_ = -1;
    std::string error_;
    std::vector<std::string> tracer_;
};
