// A fresh simulated box in a temporary root for a fuzz harness, removed when
// the process ends, with the diagnostic prints off.
#pragma once

#include "app/global.h"
#include "platform/sim/sim.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace fuzzbox {

inline std::string& root()
{
    static std::string r;
    return r;
}

inline void removeRoot()
{
    std::error_code ec;
    std::filesystem::remove_all(root(), ec);
}

// False when no temporary root could be made.
inline bool start()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kel-fuzz-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data()))
        return false;
    root() = buf.data();
    std::atexit(removeRoot);
    platform::sim::resetBox(root());
    g_debugSwitch = 0;  // keep the output quiet
    return true;
}

}  // namespace fuzzbox
