// Host back end: the kernel's own confinement of a host box to its root.
// Landlock lets a process give up rights for itself and every thread and
// child it makes later: a host box gives up every right to change files
// but beneath its root (and the terminals it opens), so a write outside
// that slips past the box's own checks (a path in a constant, a library's
// cache) fails in the kernel.
#include "platform/host/host_internal.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <linux/landlock.h>
#include <string>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform::host {

namespace {

// The rights of each Landlock ABI to change files: what the box gives up
// everywhere but beneath its root. Reading and running stay as they are.
constexpr uint64_t kChangeRightsAbi1 = LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_REMOVE_DIR |
                                       LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR |
                                       LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG |
                                       LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO |
                                       LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM;
constexpr uint64_t kRenameAcrossFolders = 1ULL << 13;  // ABI 2: LANDLOCK_ACCESS_FS_REFER
constexpr uint64_t kTruncate = 1ULL << 14;             // ABI 3, newer than the build's kernel headers
constexpr int kAbiRefer = 2;
constexpr int kAbiTruncate = 3;

// The terminals and the null device, opened for writing outside the root:
// the serial links' pseudo-terminals and what Qt opens.
constexpr const char* kDeviceFiles[] = {"/dev/null", "/dev/ptmx", "/dev/tty"};
constexpr const char* kDeviceFolders[] = {"/dev/pts"};

uint64_t changeRights(long abi)
{
    return kChangeRightsAbi1 | (abi >= kAbiRefer ? kRenameAcrossFolders : 0) | (abi >= kAbiTruncate ? kTruncate : 0);
}

bool allow(int ruleset, const char* hostPath, uint64_t rights)
{
    const int fd = ::open(hostPath, O_PATH | O_CLOEXEC);
    if (fd < 0)
        return false;
    landlock_path_beneath_attr rule{};
    rule.allowed_access = rights;
    rule.parent_fd = fd;
    const bool added = ::syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) == 0;
    ::close(fd);
    return added;
}

}  // namespace

std::string confineToRoot(const std::string& root)
{
    const long abi = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1)
        return std::string("not confined by the kernel (no Landlock here: ") + std::strerror(errno) +
               "): only the box's own checks keep its writes inside its root";
    const uint64_t rights = changeRights(abi);
    landlock_ruleset_attr attr{};
    attr.handled_access_fs = rights;
    const int ruleset = static_cast<int>(::syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0));
    if (ruleset < 0)
        return std::string("not confined by the kernel (Landlock refused a rule set: ") + std::strerror(errno) + ")";
    bool ruled = allow(ruleset, root.c_str(), rights);
    const uint64_t deviceWrite = LANDLOCK_ACCESS_FS_WRITE_FILE | (abi >= kAbiTruncate ? kTruncate : 0);
    for (const char* file : kDeviceFiles)
        allow(ruleset, file, deviceWrite);
    for (const char* folder : kDeviceFolders)
        allow(ruleset, folder, deviceWrite);
    // Landlock asks that the process can gain no rights by running a
    // program (the box runs none).
    ruled = ruled && ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
            ::syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    const int why = errno;
    ::close(ruleset);
    if (!ruled)
        return std::string("not confined by the kernel (Landlock: ") + std::strerror(why) + ")";
    return "confined to its root by the kernel (Landlock ABI " + std::to_string(abi) + "): a write outside it fails";
}

}  // namespace platform::host
