// Cost of reaching the video chip: SPI transfers, bank selects and driver
// calls (SPI_IOC_MESSAGE ioctls) per register operation, for the initial
// register load and for a whole bring-up, on the simulated chip with its
// instant clock; the picture setters' transfers against their floor; and
// the window programming (a window moved, a source switched, a fade) against
// its floor on the chip's timed clock, with how long an apply holds the
// manager's mutex, what an apply with nothing changed costs and what the
// idle box polls.
//
// The limit each figure chases is one transfer per register byte: the
// "per_byte" counters are transfers divided by the register bytes moved
// (1.0 = no bank select at all). Each access goes to the driver as one
// message, a group of accesses (access_X518) as one message per 64
// transfers: "calls" counts the ioctls, whose fixed cost on the board
// (tens of microseconds) is what batching saves. Times are the host's and
// only indicative.
#include "app/kelrampara.h"
#include "app/utils.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_receiver.h"
#include "platform/sim/sim_x518.h"
#include "registers/x518_regs.h"
#include "videochip/x518_drv.h"
#include "videochip/x518_manage.h"
#include "videoio/tamixsource.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <thread>

using platform::sim::SimX518;

namespace {

struct Box {
    Box()
    {
        g_debugSwitch = 0;  // traces off; the counters are the point
        char tmpl[] = "/tmp/bench_x518_XXXXXX";
        const char* dir = ::mkdtemp(tmpl);
        if (!dir) {
            std::perror("bench_x518: no temporary box root");
            std::exit(1);
        }
        root = dir;
        platform::sim::resetBox(root);
        chip = platform::sim::deviceAs<SimX518>(SimX518::kDevicePath);
        fd = drv.initialize();
    }
    ~Box()
    {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    std::string root;
    std::shared_ptr<SimX518> chip;
    x518_drv drv;
    int fd = -1;
};

Box& box()
{
    static Box b;
    return b;
}

// Transfers and bank selects per iteration, and per register byte moved.
void report(benchmark::State& state, const SimX518::Counters& before, const SimX518::Counters& after,
            double bytesPerIteration)
{
    double n = double(state.iterations());
    double transfers = double(after.transfers - before.transfers);
    double selects = double(after.bankSelects - before.bankSelects);
    state.counters["transfers"] = transfers / n;
    state.counters["bank_selects"] = selects / n;
    state.counters["calls"] = double(after.calls - before.calls) / n;
    state.counters["per_byte"] = bytesPerIteration > 0 ? transfers / (n * bytesPerIteration) : 0;
}

template <class Op>
void runOp(benchmark::State& state, double bytes, Op op)
{
    Box& b = box();
    auto before = b.chip->counters();
    int64_t i = 0;
    for (auto _ : state)
        op(b, i++);
    report(state, before, b.chip->counters(), bytes);
}

void BM_WriteByteSameBank(benchmark::State& state)
{
    runOp(state, 1, [](Box& b, int64_t i) { b.drv.write_X518(b.fd, x518::reg(0x08, 0x48, 1), u32(i), 0); });
}

void BM_WriteByteAlternatingChannels(benchmark::State& state)
{
    runOp(state, 1, [](Box& b, int64_t i) {
        b.drv.write_X518(b.fd, x518::reg(0x08, 0x48, 1), 1, x518::kChannelStride * u32(i & 1));
    });
}

void BM_Write4Bytes(benchmark::State& state)
{
    runOp(state, 4, [](Box& b, int64_t i) { b.drv.write_X518(b.fd, x518::reg(0x16, 0x1C, 4), u32(i), 0); });
}

void BM_Read1Byte(benchmark::State& state)
{
    runOp(state, 1, [](Box& b, int64_t) { benchmark::DoNotOptimize(b.drv.read_X518(b.fd, x518::kChipId, 0)); });
}

void BM_Read3Bytes(benchmark::State& state)
{
    runOp(state, 3,
          [](Box& b, int64_t) { benchmark::DoNotOptimize(b.drv.read_X518(b.fd, x518::kVboFrameMeasure, 0)); });
}

void BM_MaskedWrite2Bytes(benchmark::State& state)
{
    // Two bytes read and two written.
    runOp(state, 4, [](Box& b, int64_t i) { b.drv.write_x518_mask(b.fd, x518::kInputPathEnable, u32(i), 0x0010, 0); });
}

// The measurement block of a parallel port as the chip manager reads it:
// hold the measurements, read line total, lines, line and frame periods and
// active width, release.
constexpr u32 kMeasured[] = {x518::kMeasHtt, x518::kMeasVtt, x518::kMeasFhw, x518::kMeasFvm, x518::kMeasHw};
constexpr double kMeasuredBytes = 1 + 2 + 2 + 2 + 3 + 2 + 1;

void BM_PortMeasurementOneByOne(benchmark::State& state)
{
    runOp(state, kMeasuredBytes, [](Box& b, int64_t) {
        b.drv.write_X518(b.fd, x518::kUpdateCtl, x518::kHoldMeasure, 0);
        for (u32 spec : kMeasured)
            benchmark::DoNotOptimize(b.drv.read_X518(b.fd, spec, 0));
        b.drv.write_X518(b.fd, x518::kUpdateCtl, 0, 0);
    });
}

void BM_PortMeasurementGroup(benchmark::State& state)
{
    runOp(state, kMeasuredBytes, [](Box& b, int64_t) {
        u32 v[std::size(kMeasured)];
        b.drv.access_X518(b.fd, {x518_drv::writeOp(x518::kUpdateCtl, x518::kHoldMeasure),
                                 x518_drv::readOp(kMeasured[0], &v[0]), x518_drv::readOp(kMeasured[1], &v[1]),
                                 x518_drv::readOp(kMeasured[2], &v[2]), x518_drv::readOp(kMeasured[3], &v[3]),
                                 x518_drv::readOp(kMeasured[4], &v[4]), x518_drv::writeOp(x518::kUpdateCtl, 0)});
        benchmark::DoNotOptimize(v);
    });
}

x518_manage& manager()
{
    static x518_manage* m = [] {
        box();
        x518_manage* mgr = x518_manage::prepareInstance();
        mgr->openChip();
        mgr->load_system_param();
        mgr->define_param();
        return mgr;
    }();
    return *m;
}

// The initial load without its clock, memory and receiver steps (and their
// 44 ms of fixed waits): the register traffic alone.
void BM_InitialLoadWithoutWaits(benchmark::State& state)
{
    x518_manage& m = manager();
    Box& b = box();
    auto before = b.chip->counters();
    for (auto _ : state) {
        m.drv->init_reg_acc_param();
        m.write_initial_setting(m.spi_fd, 0);
    }
    auto after = b.chip->counters();
    report(state, before, after, double(after.writes - before.writes) / double(state.iterations()));
    state.counters["writes"] = double(after.writes - before.writes) / double(state.iterations());
}

// A whole bring-up from the probe to running mode, instant clock; the time
// includes the load's 44 ms of fixed waits.
void BM_BringUp(benchmark::State& state)
{
    x518_manage& m = manager();
    Box& b = box();
    b.chip->setClock(SimX518::Clock::Instant);
    auto before = b.chip->counters();
    for (auto _ : state) {
        m.init_state = 0;
        while (m.init_state != x518_manage::kRunningState)
            m.runPass();
    }
    auto after = b.chip->counters();
    double bytes = double((after.writes - before.writes) + (after.reads - before.reads)) / double(state.iterations());
    report(state, before, after, bytes);
    state.counters["writes"] = double(after.writes - before.writes) / double(state.iterations());
    state.counters["reads"] = double(after.reads - before.reads) / double(state.iterations());
}

// ---- picture setters against their floor
//
// The floor of an operation: every register write that changes the
// register's value, at the register's whole width, plus the bank selects
// that sequence of writes needs. It is taken from the chip's journal of the
// operation, replayed on the registers as they stood before it.
class Floor {
public:
    Floor()
    {
        x518::forEachMappedRegister([this](u8 bank, u8 address, u8 width) {
            for (u8 i = 0; i < width; ++i) {
                start_[bank][address + i] = address;
                width_[bank][address + i] = width;
            }
        });
    }
    // Transfers the operation needed at least.
    uint64_t of(platform::sim::SimX518Flash::Registers regs, int bank,
                const std::vector<SimX518::JournalEntry>& journal) const
    {
        uint64_t floor = 0;
        for (size_t i = 0; i < journal.size();) {
            const auto& e = journal[i];
            const u8 width =
                start_[e.bank][e.address] == e.address && width_[e.bank][e.address] ? width_[e.bank][e.address] : 1;
            const size_t n = std::min<size_t>(width, journal.size() - i);
            bool changed = false;
            for (size_t k = 0; k < n; ++k) {
                const auto& b = journal[i + k];
                changed = changed || regs[b.bank][b.address] != b.value;
                regs[b.bank][b.address] = b.value;
            }
            if (changed) {
                floor += n + (e.bank != bank ? 1 : 0);
                bank = e.bank;
            }
            i += n;
        }
        return floor;
    }

private:
    u8 start_[256][128] = {};
    u8 width_[256][128] = {};
};

// Runs `op(i)` once to warm up, then per iteration counts its transfers and
// its floor. `cold`: the driver forgets what it knows of the registers
// before each call, as every write and read did before the setters wrote
// only what changes.
template <class Op>
void runAgainstFloor(benchmark::State& state, bool cold, Op op)
{
    x518_manage& m = manager();
    Box& b = box();
    static const Floor floor;
    op(m, 1);
    uint64_t transfers = 0, needed = 0;
    int64_t i = 0;
    for (auto _ : state) {
        if (cold)
            m.drv->init_reg_acc_param();
        const platform::sim::SimX518Flash::Registers before = b.chip->registers();
        const int bank = b.chip->currentBank();
        b.chip->clearJournal();
        const uint64_t start = b.chip->counters().transfers;
        op(m, i++);
        transfers += b.chip->counters().transfers - start;
        needed += floor.of(before, bank, b.chip->journal());
    }
    const double n = double(state.iterations());
    state.counters["transfers"] = double(transfers) / n;
    state.counters["floor"] = double(needed) / n;
    state.counters["x_floor"] = needed ? double(transfers) / double(needed) : 0;
}

// Contrast between 50 and 60 (every byte of the three words changes).
void contrast(x518_manage&, int64_t i)
{
    x518_manage::x518_SetContrast(i % 2 ? 60 : 50);
}
// Colour temperature between presets 2 and 3 (the three gains change).
void colourTemp(x518_manage&, int64_t i)
{
    x518_manage::x518_SetColorTemp(i % 2 ? 3 : 2);
}

// clang-format off
void BM_ContrastChange(benchmark::State& state) { runAgainstFloor(state, false, contrast); }
void BM_ContrastChangeCold(benchmark::State& state) { runAgainstFloor(state, true, contrast); }
void BM_ColourTempChange(benchmark::State& state) { runAgainstFloor(state, false, colourTemp); }
void BM_ColourTempChangeCold(benchmark::State& state) { runAgainstFloor(state, true, colourTemp); }
// clang-format on

// ---- window programming against its floor
//
// A running box: the block shows window 0 (HDMI1) and window 1 (DVI) on a
// 1920 x 1080 canvas, both inputs plugged; the chip's clock runs at 60
// frames a second, as on the running box. A change is written into the
// block and served by one apply pass. The inputs' records are marked
// served after the set-up, so that a pass carries no measurement polls:
// what is counted is the apply alone. The floor also counts one read per
// frame wait, input and output frames alike (the least that can tell a
// frame has passed).
constexpr u16 kWindow0X = 0, kWindow0MovedX = 200;
// The frame requests a wait arms (x518::kInFrameRequest, kOutFrameRequest).
constexpr u8 kFrameRequestBank = x518::kInFrameRequest >> 16;
constexpr u8 kInFrameRequest = (x518::kInFrameRequest >> 8) & 0xFF;
constexpr u8 kOutFrameRequest = (x518::kOutFrameRequest >> 8) & 0xFF;

struct RunningBox {
    RunningBox()
    {
        x518_manage& m = manager();
        KelRamPara* store = KelRamPara::pInstance();
        KEL_RAM_PARA& b = store->ram_para;
        for (int w = 0; w < ram::kShownImages; ++w)
            b.image[w].enable = 0;
        auto show = [&](int w, u16 source, u16 x, u16 y) {
            IMAGE_PARA& im = b.image[w];
            im.enable = ram::kImageShown;
            im.source = source;
            im.x = x;
            im.y = y;
            im.w = 960;
            im.h = 540;
        };
        show(0, ram::kSourceHdmi1, kWindow0X, 0);
        show(1, 0, 960, 540);
        b.seamless_para[0].para0 = b.seamless_para[0].para1 = kFadeFrames;
        store->ram_para_shadow = b;
        m.applied = b;
        platform::sim::plugSource(0, platform::sim::SourceTiming::p1080_60());
        platform::sim::plugSource(1, platform::sim::SourceTiming::p1080_60());
        platform::sim::plugSource(2, platform::sim::SourceTiming::p1080_60());
        src = tamixsource::pInstance();
        src->openBus();
        G_timeTicks = 5000;
        box().chip->setClock(SimX518::Clock::Instant);
        m.init_state = 0;
        while (m.init_state != x518_manage::kRunningState)
            m.runPass();
        src->runPass();
        G_timeTicks += tamixsource::kPowerUpTicks;
        // The inputs found, settled and reported; the chip measures them and
        // programs the windows on them.
        for (u32 t = 0; t < 4 * tamixsource::kReportTicks; t += tamixsource::kPollTicks) {
            src->runPass();
            m.runPass();
            G_timeTicks += tamixsource::kPollTicks;
        }
        // HDMI2 measured too, for the source switches.
        apply([](KEL_RAM_PARA& k) { k.image[0].source = ram::kSourceHdmi2; });
        apply([](KEL_RAM_PARA& k) { k.image[0].source = ram::kSourceHdmi1; });
        served(true);
        box().chip->setClock(SimX518::Clock::Timed);
    }
    // Marks the inputs' records served (nothing for the chip to measure) or not.
    void served(bool yes)
    {
        QMutexLocker lock(&Utils::_source_hdminfo_mutex);
        for (ST_HDMI_INFO& r : src->hdminfo)
            r.changed = yes ? 0 : 1;
    }
    // One writer's change, then the pass that applies it.
    template <class F>
    void apply(F edit)
    {
        {
            QMutexLocker lock(&x518_manage::mutex);
            edit(KelRamPara::p_kelrampara_config->ram_para);
            x518_manage::apply_flag = 1;
        }
        manager().runPass();
    }
    static constexpr u16 kFadeFrames = 6;
    tamixsource* src = nullptr;
};

RunningBox& runningBox()
{
    static RunningBox r;
    return r;
}

// Per iteration: transfers, driver calls, bank selects and reads of the
// change, its floor (the journal's changed registers and the bank selects
// they need, plus a read per frame wait, input or output) and, as wall
// time, the pass; beside the means, the change farthest above its floor
// (its transfers, reads and floor). A wait that knows when its frame ends
// reads its flag once; the reads above the floor are the hold's capture
// phases, a second look of a wait armed as a frame ended, a first look at
// the middle of a stretch that has grown, and the reads across a stretch
// grown too wide for one look. `pause`: a sleep before each change,
// outside the timing.
template <class F>
void runWindowChange(benchmark::State& state, F edit, std::chrono::milliseconds pause = {})
{
    RunningBox& r = runningBox();
    Box& b = box();
    static const Floor floor;
    r.apply([&](KEL_RAM_PARA& k) { edit(k, 1); });
    uint64_t transfers = 0, calls = 0, selects = 0, reads = 0, needed = 0;
    uint64_t worstTransfers = 0, worstReads = 0, worstFloor = 0;
    int64_t i = 0;
    for (auto _ : state) {
        if (pause.count() > 0) {
            state.PauseTiming();
            std::this_thread::sleep_for(pause);
            state.ResumeTiming();
        }
        const platform::sim::SimX518Flash::Registers regs = b.chip->registers();
        const int bank = b.chip->currentBank();
        b.chip->clearJournal();
        const SimX518::Counters before = b.chip->counters();
        r.apply([&](KEL_RAM_PARA& k) { edit(k, i); });
        ++i;
        const SimX518::Counters after = b.chip->counters();
        transfers += after.transfers - before.transfers;
        calls += after.calls - before.calls;
        selects += after.bankSelects - before.bankSelects;
        reads += after.reads - before.reads;
        const auto journal = b.chip->journal();
        uint64_t waits = 0;
        for (const auto& e : journal)
            waits += e.bank == kFrameRequestBank && (e.address == kInFrameRequest || e.address == kOutFrameRequest) &&
                     e.value != 0;
        const uint64_t moveTransfers = after.transfers - before.transfers;
        const uint64_t moveFloor = floor.of(regs, bank, journal) + waits;
        needed += moveFloor;
        // The worst change: the most transfers per floor transfer.
        if (moveFloor > 0 && (worstFloor == 0 || moveTransfers * worstFloor > worstTransfers * moveFloor)) {
            worstTransfers = moveTransfers;
            worstReads = after.reads - before.reads;
            worstFloor = moveFloor;
        }
    }
    const double n = double(state.iterations());
    state.counters["transfers"] = double(transfers) / n;
    state.counters["calls"] = double(calls) / n;
    state.counters["bank_selects"] = double(selects) / n;
    state.counters["reads"] = double(reads) / n;
    state.counters["floor"] = double(needed) / n;
    state.counters["x_floor"] = needed ? double(transfers) / double(needed) : 0;
    state.counters["worst_transfers"] = double(worstTransfers);
    state.counters["worst_reads"] = double(worstReads);
    state.counters["worst_floor"] = double(worstFloor);
    state.counters["worst_x_floor"] = worstFloor ? double(worstTransfers) / double(worstFloor) : 0;
}

// Window 0 moved 200 pixels and back: a re-layout, held by a picture hold.
void BM_WindowMove(benchmark::State& state)
{
    runWindowChange(state, [](KEL_RAM_PARA& b, int64_t i) { b.image[0].x = i % 2 ? kWindow0MovedX : kWindow0X; });
}

// The same move with 1 to 6 windows shown (640 x 540 each, three across
// and two down, on HDMI1, DVI and HDMI2 in turn); window 0 moves, every
// window is programmed again and held.
void moveAmong(benchmark::State& state, std::chrono::milliseconds pause)
{
    const int shown = int(state.range(0));
    RunningBox& r = runningBox();
    const KEL_RAM_PARA before = KelRamPara::p_kelrampara_config->ram_para;
    static const u16 kSources[] = {ram::kSourceHdmi1, ram::kSourceDvi, ram::kSourceHdmi2};
    r.apply([&](KEL_RAM_PARA& k) {
        for (int w = 0; w < ram::kShownImages; ++w) {
            IMAGE_PARA& im = k.image[w];
            im.enable = w < shown ? ram::kImageShown : 0;
            im.source = kSources[w % 3];
            im.x = u16(w % 3 * 640), im.y = u16(w / 3 * 540), im.w = 640, im.h = 540;
            im.flags = 0;
        }
    });
    runWindowChange(
        state, [](KEL_RAM_PARA& b, int64_t i) { b.image[0].x = i % 2 ? kWindow0MovedX : kWindow0X; }, pause);
    r.apply([&](KEL_RAM_PARA& k) { k = before; });
}

void BM_WindowMoveAmong(benchmark::State& state)
{
    moveAmong(state, {});
}

// The same after a pause of `range(1)` seconds before each move, as a PC's
// moves come seconds apart: the frames' timing learnt before has to carry
// over it.
void BM_WindowMoveAmongAfterPause(benchmark::State& state)
{
    moveAmong(state, std::chrono::seconds(state.range(1)));
}

// Window 0 switched between HDMI1 and HDMI2, held by a picture hold.
void BM_SourceSwitch(benchmark::State& state)
{
    runWindowChange(state, [](KEL_RAM_PARA& b, int64_t i) {
        b.image[0].flags = 0;
        b.image[0].source = i % 2 ? ram::kSourceHdmi2 : ram::kSourceHdmi1;
    });
}

// The same switch with the switch effect on: faded out and in over
// RunningBox::kFadeFrames + 1 output frames each.
void BM_SourceFade(benchmark::State& state)
{
    runWindowChange(state, [](KEL_RAM_PARA& b, int64_t i) {
        b.image[0].flags = ram::kFlagSeamless;
        b.image[0].source = i % 2 ? ram::kSourceHdmi2 : ram::kSourceHdmi1;
    });
}

// How long an apply pass holds x518_manage::mutex: the pass that serves a
// window move, less a pass that only watches the inputs (which runs
// without the mutex).
void BM_MutexHeldPerApply(benchmark::State& state)
{
    RunningBox& r = runningBox();
    using Clock = std::chrono::steady_clock;
    double held = 0, longest = 0;
    int64_t i = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        manager().runPass();
        const auto t1 = Clock::now();
        r.apply([&](KEL_RAM_PARA& b) { b.image[0].x = i % 2 ? kWindow0MovedX : kWindow0X; });
        const auto t2 = Clock::now();
        ++i;
        const double ms = std::chrono::duration<double, std::milli>((t2 - t1) - (t1 - t0)).count();
        held += ms;
        longest = std::max(longest, ms);
    }
    state.counters["held_ms"] = held / double(state.iterations());
    state.counters["longest_ms"] = longest;
}

// An apply pass with nothing changed (the same block written again), and a
// programming pass with no window flagged: both reach the chip not at all.
void BM_ApplyNothingChanged(benchmark::State& state)
{
    RunningBox& r = runningBox();
    const SimX518::Counters before = box().chip->counters();
    for (auto _ : state) {
        r.apply([](KEL_RAM_PARA&) {});
        manager().set_output(manager().spi_fd);
    }
    const SimX518::Counters after = box().chip->counters();
    state.counters["transfers"] = double(after.transfers - before.transfers) / double(state.iterations());
}

// One second of the idle box: the watch passes (one every kIdleWatchTicks
// ticks of 10 ms) with every input's record live, so each watched port is
// measured on each pass.
void BM_IdleSecond(benchmark::State& state)
{
    RunningBox& r = runningBox();
    r.served(false);
    constexpr int kPassesPerSecond = 100 / x518_manage::kIdleWatchTicks;
    const SimX518::Counters before = box().chip->counters();
    for (auto _ : state)
        for (int p = 0; p < kPassesPerSecond; ++p)
            manager().runPass();
    const SimX518::Counters after = box().chip->counters();
    r.served(true);
    const double n = double(state.iterations());
    state.counters["transfers"] = double(after.transfers - before.transfers) / n;
    state.counters["calls"] = double(after.calls - before.calls) / n;
    state.counters["writes"] = double(after.writes - before.writes) / n;
}

}  // namespace

BENCHMARK(BM_WriteByteSameBank);
BENCHMARK(BM_WriteByteAlternatingChannels);
BENCHMARK(BM_Write4Bytes);
BENCHMARK(BM_Read1Byte);
BENCHMARK(BM_Read3Bytes);
BENCHMARK(BM_MaskedWrite2Bytes);
BENCHMARK(BM_PortMeasurementOneByOne);
BENCHMARK(BM_PortMeasurementGroup);
BENCHMARK(BM_InitialLoadWithoutWaits);
BENCHMARK(BM_BringUp)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_ContrastChange)->Iterations(200);
BENCHMARK(BM_ContrastChangeCold)->Iterations(200);
BENCHMARK(BM_ColourTempChange)->Iterations(200);
BENCHMARK(BM_ColourTempChangeCold)->Iterations(200);
BENCHMARK(BM_WindowMove)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_WindowMoveAmong)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20)->DenseRange(1, 6);
// Pauses of 6, 30, 60 and 120 s, 1 to 6 windows each: the 30 s rows take
// 12 minutes, the 60 s rows 24, the 120 s rows 48
// (--benchmark_filter='AfterPause/./6/' runs the 6 s rows alone). Run in
// one process, the rows run in this order on one box, and the frames'
// timing each row starts from was learnt over the rows before it;
// bench/compare-builds runs each row in a process of its own, from the
// timing its set-up learnt.
BENCHMARK(BM_WindowMoveAmongAfterPause)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4)
    ->Apply([](benchmark::internal::Benchmark* b) {
        for (int pause : {6, 30, 60, 120})
            for (int windows = 1; windows <= 6; ++windows)
                b->Args({windows, pause});
    });
BENCHMARK(BM_SourceSwitch)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_SourceFade)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(6);
BENCHMARK(BM_MutexHeldPerApply)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_ApplyNothingChanged)->Iterations(50);
BENCHMARK(BM_IdleSecond)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
