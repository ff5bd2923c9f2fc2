// Host back end: the box's hold on its root. One box to a root: the
// program holds the kernel's lock on the root's lock file for its whole
// life, and the kernel lets it go however the program ends.
#include "platform/host/host_internal.h"
#include "platform/internal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::host {

namespace {

constexpr const char* kLockFile = "box.lock";
// A holder that ends between the refused lock and the look at who holds
// it leaves the lock free: it is tried again.
constexpr int kLockTries = 3;

void refuseRoot(const std::string& dir, const std::string& why)
{
    std::fprintf(stderr, "simulated box: box root %s %s: refused\n", dir.c_str(), why.c_str());
}

}  // namespace

bool holdRoot(const std::string& dir)
{
    if (!detail::makeFolders(dir, 0)) {
        refuseRoot(dir, std::string("cannot be made (") + std::strerror(errno) + ")");
        return false;
    }
    // The lock file is made afresh or opened as the plain file of its own a
    // box made, never through a symbolic link, never waited on.
    const std::string lockPath = dir + "/" + kLockFile;
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd < 0) {
        refuseRoot(dir, std::string("cannot be written (") + kLockFile + ": " + std::strerror(errno) + ")");
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
        ::close(fd);
        refuseRoot(dir, std::string("holds a ") + kLockFile + " that is not a plain file of its own");
        return false;
    }
    for (int t = 0; t < kLockTries; ++t) {
        struct flock whole {};
        whole.l_type = F_WRLCK;
        whole.l_whence = SEEK_SET;
        if (::fcntl(fd, F_SETLK, &whole) == 0)
            return true;  // held until the process ends: the descriptor stays open
        if (errno != EAGAIN && errno != EACCES) {
            const int why = errno;
            ::close(fd);
            refuseRoot(dir, std::string("cannot be locked (") + std::strerror(why) + ")");
            return false;
        }
        struct flock holder = whole;
        if (::fcntl(fd, F_GETLK, &holder) == 0 && holder.l_type != F_UNLCK) {
            ::close(fd);
            refuseRoot(dir, "is in use by process " + std::to_string(holder.l_pid) + ", another box");
            return false;
        }
    }
    ::close(fd);
    refuseRoot(dir, "is taken and let go again and again");
    return false;
}

}  // namespace platform::host
