// The kept files' locks: each file's own, and the one over every file's
// replacement. The same on both back ends.
#include "platform/box_state.h"
#include "platform/platform.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

namespace platform {

QMutex g_fileReplaceMutex;

// One file's lock and how many hold or wait for it: the entry goes when
// the last lets go, so the list holds only the files being written.
struct FileLockEntry {
    std::recursive_mutex mutex;
    int users = 0;
};

namespace {

using FileLocks = std::map<std::string, std::shared_ptr<FileLockEntry>>;

std::mutex g_fileLocksMutex;
FileLocks g_fileLocks = boxstate::startValue(g_fileLocks, FileLocks());

// What names the file whatever the spelling of its box path: its host path
// with the folder's symbolic links followed (a folder that is not there yet
// as spelled).
std::string lockKey(const std::string& boxPath)
{
    const std::string p = path(boxPath);
    const size_t slash = p.rfind('/');
    if (p.empty() || slash == std::string::npos)
        return boxPath;
    const std::string folder = slash == 0 ? std::string("/") : p.substr(0, slash);
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(folder.c_str(), nullptr), &std::free);
    if (!real)
        return p;
    const std::string r = real.get();
    return (r == "/" ? std::string() : r) + p.substr(slash);
}

}  // namespace

FileLock::FileLock(const std::string& boxPath) : key_(lockKey(boxPath))
{
    {
        std::lock_guard<std::mutex> lock(g_fileLocksMutex);
        std::shared_ptr<FileLockEntry>& e = g_fileLocks[key_];
        if (!e)
            e = std::make_shared<FileLockEntry>();
        ++e->users;
        entry_ = e;
    }
    entry_->mutex.lock();
}

FileLock::~FileLock()
{
    entry_->mutex.unlock();
    std::lock_guard<std::mutex> lock(g_fileLocksMutex);
    if (--entry_->users == 0)
        g_fileLocks.erase(key_);
}

}  // namespace platform
