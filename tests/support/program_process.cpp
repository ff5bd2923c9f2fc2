#include "tests/support/program_process.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int kExecFailed = 127;  // the child's status when its program could not be run
constexpr int kPollMs = 5;
constexpr int kTracerEndMs = 30000;  // a tracer ends once it has written what it saw

std::string linkTarget(const std::string& link)
{
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

// The environment of the test, drawing offscreen.
std::vector<std::string> childEnvironment()
{
    static const std::string kPlatform = "QT_QPA_PLATFORM=";
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, kPlatform.c_str(), kPlatform.size()) != 0)
            env.emplace_back(*e);
    env.push_back(kPlatform + "offscreen");
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> out;
    for (std::string& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// In the child: only calls that are safe between fork() and exec().
[[noreturn]] void runChild(const char* workDir, const char* outputFile, bool errorsToo, char** argv, char** envp,
                           int report)
{
    const int out = ::open(outputFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (::chdir(workDir) == 0 && out >= 0 && in >= 0 && ::dup2(in, STDIN_FILENO) >= 0 &&
        ::dup2(out, STDOUT_FILENO) >= 0 && (!errorsToo || ::dup2(out, STDERR_FILENO) >= 0))
        ::execve(argv[0], argv, envp);
    const int why = errno;
    if (::write(report, &why, sizeof why) < 0) {
        // the parent learns it from the exit status alone
    }
    ::_exit(kExecFailed);
}

}  // namespace

// A user-mode emulator answers for the program it runs when asked for the
// process's program (/proc/self/exe), but the thread's own entry is the
// kernel's: there the emulator shows itself. (/proc/thread-self names the
// thread in any process namespace; its /proc/self/task entry only where
// /proc was mounted for the namespace the process runs in.)
std::string runningEmulator()
{
    const std::string own = linkTarget("/proc/self/exe");
    std::string run = linkTarget("/proc/thread-self/exe");
    if (run.empty())
        run = linkTarget("/proc/self/task/" + std::to_string(::syscall(SYS_gettid)) + "/exe");
    return own.empty() || run.empty() || own == run ? std::string() : run;
}

bool canStartPrograms()
{
    const std::string emulator = runningEmulator();
    return ::access(KEL_APP_BINARY, X_OK) == 0 && (emulator.empty() || ::access(emulator.c_str(), X_OK) == 0);
}

ProgramProcess::~ProgramProcess()
{
    kill();
}

bool ProgramProcess::start(const std::vector<std::string>& args, const std::string& workDir,
                           const std::string& outputFile, bool errorsToo)
{
    if (pid_ > 0) {
        error_ = "already started";
        return false;
    }
    ended_ = normalExit_ = false;
    exitCode_ = -1;
    std::vector<std::string> command;
    const std::string emulator = runningEmulator();
    if (!tracer_.empty())
        command = tracer_;
    else if (!emulator.empty())
        command.push_back(emulator);
    command.emplace_back(KEL_APP_BINARY);
    command.insert(command.end(), args.begin(), args.end());
    std::vector<std::string> env = childEnvironment();
    std::vector<char*> argv = pointers(command), envp = pointers(env);

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        error_ = std::string("no pipe: ") + std::strerror(errno);
        return false;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        error_ = std::string("fork failed: ") + std::strerror(errno);
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (pid == 0) {
        ::close(report[0]);
        runChild(workDir.c_str(), outputFile.c_str(), errorsToo, argv.data(), envp.data(), report[1]);
    }
    pid_ = pid;
    ::close(report[1]);
    int why = 0;
    ssize_t got;
    do
        got = ::read(report[0], &why, sizeof why);
    while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got != sizeof why)
        return true;  // the pipe closed on exec: the program runs
    reap(0);
    error_ = "could not run " + command.front() + ": " + std::strerror(why);
    return false;
}

bool ProgramProcess::reap(int options)
{
    if (pid_ <= 0)
        return true;
    int status = 0;
    pid_t r;
    do
        r = ::waitpid(pid_, &status, options);
    while (r < 0 && errno == EINTR);
    if (r == 0)
        return false;  // still running
    pid_ = 0;
    ended_ = true;
    normalExit_ = r > 0 && WIFEXITED(status);
    exitCode_ = normalExit_ ? WEXITSTATUS(status) : -1;
    return true;
}

bool ProgramProcess::running()
{
    return pid_ > 0 && !reap(WNOHANG);
}

bool ProgramProcess::waitFinished(int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (running()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    return ended_;
}

void ProgramProcess::kill()
{
    if (!running())
        return;
    // Under a tracer the program is the tracer's child: it goes first, and
    // the tracer ends once it has seen it go (killed itself, the tracer
    // would leave the program running).
    if (!tracer_.empty()) {
        std::ifstream children("/proc/" + std::to_string(pid_) + "/task/" + std::to_string(pid_) + "/children");
        for (long child = 0; children >> child;)
            if (child > 0)
                ::kill(static_cast<pid_t>(child), SIGKILL);
        if (waitFinished(kTracerEndMs))
            return;
    }
    ::kill(pid_, SIGKILL);
    reap(0);
}
