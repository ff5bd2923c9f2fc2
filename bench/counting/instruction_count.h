// The guest's side of the instruction count (bench/counting/count_plugin.cpp):
// marks around what is counted, and the count read back from the file the
// plugin appends each count to (KEL_COUNT_FILE, which bench/count-arm sets
// to the plugin's `out`). Counts are of the calling thread alone; the marks'
// own instructions are taken off.
//
// Under callgrind instead (a native build, `valgrind --tool=callgrind
// --collect-atstart=no`), what lies between the marks is collected, and
// each end dumps it (callgrind's own profile of the stretch, its calls
// with what each cost in all); the counts are then in those dumps.
#pragma once

#include "bench/counting/marks.h"

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define KEL_COUNT_CALLGRIND 1
#endif

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>

namespace counting {

inline void mark(MarkCommand command)
{
    ::syscall(SYS_getpid, kMarkMagic, command);
}

class Counter {
public:
    // False, with the reason, when the program does not run under the plugin.
    bool open(std::string& why)
    {
#ifdef KEL_COUNT_CALLGRIND
        if (RUNNING_ON_VALGRIND) {
            callgrind_ = true;
            return true;
        }
#endif
        const char* path = std::getenv("KEL_COUNT_FILE");
        if (!path || !*path) {
            why = "KEL_COUNT_FILE is not set: run under bench/count-arm";
            return false;
        }
        file_ = std::fopen(path, "r");
        if (!file_) {
            why = std::string("cannot read ") + path;
            return false;
        }
        std::fseek(file_, 0, SEEK_END);
        // The marks' own cost: a begin and an end with nothing between.
        mark(kMarkBegin);
        mark(kMarkEnd);
        if (!readCount(overhead_)) {
            why = "the plugin wrote no count: run under bench/count-arm";
            return false;
        }
        return true;
    }
    void begin() const
    {
        mark(kMarkBegin);
#ifdef KEL_COUNT_CALLGRIND
        if (callgrind_)
            CALLGRIND_TOGGLE_COLLECT;
#endif
    }
    // The count since begin() less the marks' own, or -1 when none came
    // (under callgrind: its dump has it).
    int64_t end()
    {
#ifdef KEL_COUNT_CALLGRIND
        if (callgrind_) {
            CALLGRIND_TOGGLE_COLLECT;
            CALLGRIND_DUMP_STATS;
            return -1;
        }
#endif
        mark(kMarkEnd);
        int64_t n = 0;
        return readCount(n) ? n - overhead_ : -1;
    }
    // The instructions `work` runs on this thread.
    template <class Work>
    int64_t count(Work&& work)
    {
        begin();
        work();
        return end();
    }

private:
    // The line the plugin appended at the last end mark.
    bool readCount(int64_t& n)
    {
        long long v = 0;
        std::clearerr(file_);
        if (std::fscanf(file_, "%lld", &v) != 1)
            return false;
        n = v;
        return true;
    }
    std::FILE* file_ = nullptr;
    int64_t overhead_ = 0;
    bool callgrind_ = false;
};

}  // namespace counting
