// The output-channel timing list: the (horizontal total, vertical total)
// pairs an output channel may run at, searched in list order by the panel
// initialisation for the first pair at least as large as the channel needs.
//
// Every pair frames about 9.9 million pixels. Each horizontal total, every
// multiple of 4 from 660 to 8280, comes with one to seven vertical totals:
// from the first one that reaches 9,900,000 pixels on, a line at a time, as
// long as the frame stays below 9,908,800 pixels and at most six lines
// further. The list holds them in two runs of ascending horizontal totals
// (660 to 4388, then 4392 to 8280) with the pair (2257, 2257) between the
// runs; total 660 repeats its first vertical total seven times, and the
// last row of total 1216 reads 8200. 5,199 pairs in all.
#pragma once

#include "app/global.h"

#include <vector>

namespace x518 {

struct OchTimingPair {
    i32 htt;
    i32 vtt;
};

constexpr size_t kOchTimingPairs = 5199;

// The list, built on first use.
const std::vector<OchTimingPair>& ochTimingList();

}  // namespace x518
