// Board back end: the real Linux calls on the ARM box.
#include "platform/box_state.h"
#include "platform/internal.h"
#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace platform {

Backend backend()
{
    return Backend::Board;
}

const std::vector<Option>& options()
{
    // Taken so that a command line written for a PC runs on the board too.
    static const std::vector<Option> kOptions =
        boxstate::constant(kOptions, std::vector<Option>{
                                         {"--box-root", "DIR", "ignored: the board's box root is /"},
                                         {"--address", "ADDRESS", "ignored: the servers listen on every interface"},
                                     });
    return kOptions;
}

InitResult init(int& argc, char** argv)
{
    const std::string root = detail::takeOption(argc, argv, "--box-root").value_or("/");
    if (!root.empty() && root != "/")
        std::fprintf(stderr, "board: --box-root %s ignored, the box root is /\n", root.c_str());
    if (const auto address = detail::takeOption(argc, argv, "--address"))
        std::fprintf(stderr, "board: --address %s ignored, the servers listen on every interface\n", address->c_str());
    detail::setBoxRoot("/");
    return InitResult::Run;
}

int shellRun(const std::string& cmd)
{
    return ::system(cmd.c_str());
}

FILE* shellOpenRead(const std::string& cmd)
{
    return ::popen(cmd.c_str(), "r");
}

int shellClose(FILE* f)
{
    return f ? ::pclose(f) : -1;
}

int devOpen(const std::string& boxPath, int flags)
{
    return ::open(boxPath.c_str(), flags | O_CLOEXEC, 0644);
}

int devClose(int fd)
{
    return ::close(fd);
}

int devIoctl(int fd, unsigned long request, void* arg)
{
    return ::ioctl(fd, request, arg);
}

ssize_t devPread(int fd, void* buf, size_t len, off_t offset)
{
    return ::pread(fd, buf, len, offset);
}

ssize_t devPwrite(int fd, const void* buf, size_t len, off_t offset)
{
    return ::pwrite(fd, buf, len, offset);
}

void* devMmap(int fd, size_t len, off_t offset)
{
    void* p = ::mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
    return p == MAP_FAILED ? nullptr : p;
}

int devMunmap(void* addr, size_t len)
{
    return ::munmap(addr, len);
}

Canvas videoCanvas(const CanvasLayout&)
{
    return Canvas();
}

bool videoCanvasBands(const CanvasLayout&, const std::function<bool(const CanvasBand&)>&)
{
    return false;
}

}  // namespace platform
