#include "videochip/x518_och_timing.h"

#include "platform/box_state.h"

namespace x518 {
namespace {

constexpr i32 kFirstHtt = 660;
constexpr i32 kFirstRunLastHtt = 4388;
constexpr i32 kLastHtt = 8280;
constexpr i32 kHttStep = 4;
constexpr int64_t kFramePixels = 9900000;     // the first vertical total of a row reaches this
constexpr int64_t kFramePixelsEnd = 9908800;  // a row's frames stay below this
constexpr i32 kMaxExtraLines = 6;
constexpr OchTimingPair kBetweenRuns = {2257, 2257};
constexpr int kFirstHttRepeats = 6;  // total 660 repeats its first vertical total
constexpr i32 kTallRowHtt = 1216;    // whose last row reads kTallRowVtt
constexpr i32 kTallRowVtt = 8200;

void addRow(std::vector<OchTimingPair>& list, i32 htt)
{
    const i32 first = i32((kFramePixels + htt - 1) / htt);
    if (htt == kFirstHtt)
        for (int i = 0; i < kFirstHttRepeats; ++i)
            list.push_back({htt, first});
    for (i32 vtt = first; vtt <= first + kMaxExtraLines && int64_t(htt) * vtt < kFramePixelsEnd; ++vtt)
        list.push_back({htt, vtt});
    if (htt == kTallRowHtt)
        list.back().vtt = kTallRowVtt;
}

std::vector<OchTimingPair> build()
{
    std::vector<OchTimingPair> list;
    list.reserve(kOchTimingPairs);
    for (i32 htt = kFirstHtt; htt <= kFirstRunLastHtt; htt += kHttStep)
        addRow(list, htt);
    list.push_back(kBetweenRuns);
    for (i32 htt = kFirstRunLastHtt + kHttStep; htt <= kLastHtt; htt += kHttStep)
        addRow(list, htt);
    return list;
}

}  // namespace

const std::vector<OchTimingPair>& ochTimingList()
{
    static const std::vector<OchTimingPair> list = boxstate::constant(list, build());
    return list;
}

}  // namespace x518
