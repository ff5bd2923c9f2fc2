// The marks a program counted by bench/counting/count_plugin.cpp makes: a
// getpid system call whose first argument is kMarkMagic and whose second is
// the command. Outside the plugin a mark is a plain getpid.
#pragma once

#include <cstdint>

namespace counting {

constexpr uint32_t kMarkMagic = 0x6B656C43;

enum MarkCommand : uint32_t {
    kMarkBegin = 1,   // the calling thread's count starts from 0
    kMarkPause = 2,   // what the thread runs from here on is left out
    kMarkResume = 3,  // counted again
    kMarkEnd = 4,     // counting stops; the count goes to the plugin's file
    kMarkDump = 5,    // the counted blocks since the last dump go to the profile file
};

}  // namespace counting
