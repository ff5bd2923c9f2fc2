// A chip that stops answering: the bring-up starts again from the probe once
// a second, changes made meanwhile reach the chip once it answers, and the
// console and register 37 tell the outage once. A restart, asked for or not,
// is told done (register 37 bit 4, the 0xA4 fence) once its windows are back.
#include "tests/videochip/chip_test.h"

#include "platform/sim/sim_receiver.h"
#include "platform/sim/sim_x518_card.h"
#include "tests/support/canvas_probe.h"
#include "tests/videochip/overlay_json.h"
#include "videochip/omenu.h"

#include <QSignalSpy>
#include <algorithm>
#include <climits>
#include <set>

namespace {

constexpr int kForever = INT_MAX;

int linesWith(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

bool shownRunning(const KelRamPara* store)
{
    return store->reg_image.chip_flags & ram::kChipFlagVideoChipRunning;
}

// Passes, each after the retry pause, until running mode or `limit` passes.
bool bringUpAfterPauses(x518_manage* m, int limit = 20)
{
    for (int i = 0; i < limit && m->init_state < x518_manage::kRunningState; ++i) {
        G_timeTicks += x518_manage::kRetryTicks;
        m->runPass();
    }
    return m->init_state == x518_manage::kRunningState;
}

}  // namespace

TEST_F(ManagerTest, ALoadWhoseTransfersFailIsRetriedFromTheProbeOnceASecondUntilTheChipAnswers)
{
    for (int i = 0; i < x518_manage::kProbeGoodReads; ++i)
        m->runPass();
    ASSERT_EQ(m->init_state, 5);
    chip->failTransfers(kForever, 300);  // the initial load fails part way
    testing::internal::CaptureStdout();
    m->runPass();
    EXPECT_EQ(m->init_state, 0);
    EXPECT_TRUE(x518_manage::chipDown());
    EXPECT_FALSE(shownRunning(store));

    // Nothing is tried before the pause is over; then one probe a pause.
    const uint64_t failed = chip->counters().failed;
    for (int i = 0; i < 50; ++i)
        m->runPass();
    EXPECT_EQ(chip->counters().failed, failed);
    EXPECT_GE(m->passDueTicks(), 1);
    for (int i = 0; i < 5; ++i) {
        G_timeTicks += x518_manage::kRetryTicks;
        m->runPass();
    }
    EXPECT_EQ(chip->counters().failed, failed + 5);
    EXPECT_EQ(m->init_state, 0);

    // Answering again, the chip is brought up whole.
    chip->failTransfers(0);
    chip->setReg(0x01, 0x08, 0);  // the memory controller, set by the initial load only
    EXPECT_TRUE(bringUpAfterPauses(m));
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(chip->reg(0x01, 0x08), 0x30);
    EXPECT_EQ(chip->reg(0x02, 0x18), 76);  // the last step of the load
    EXPECT_FALSE(x518_manage::chipDown());
    EXPECT_TRUE(shownRunning(store));
    // One line for the outage and at most one from the driver, not one a try.
    EXPECT_EQ(linesWith(console, "video chip not answering"), 1);
    EXPECT_LE(linesWith(console, "SPI message to the video chip failed"), 1);
    EXPECT_EQ(linesWith(console, "error x518_id"), 0);
    EXPECT_EQ(linesWith(console, "video chip up: running mode"), 1);
}

TEST_F(ManagerTest, AMissingChipIsProbedOnceAPause)
{
    platform::sim::setDeviceMissing(SimX518::kDevicePath, true);
    m->openChip();
    testing::internal::CaptureStdout();
    for (int i = 0; i < 100; ++i)
        m->runPass();
    G_timeTicks += x518_manage::kRetryTicks;
    for (int i = 0; i < 100; ++i)
        m->runPass();
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(m->init_state, 0);
    EXPECT_EQ(linesWith(console, "video chip not answering"), 1);
    EXPECT_EQ(linesWith(console, "error x518_id"), 0);
    platform::sim::setDeviceMissing(SimX518::kDevicePath, false);
}

// A font reload (register 14 bit 3, from a link's thread) whose SPI fails
// for a moment, from its N-th transfer until the fault is off again, while
// the manager's own passes meet no failure: the fonts are whole and the chip
// is up, and the next pass looks for them and loads them again, so register
// 43 no longer says "no font".
TEST_F(RunningChipTest, AFontReloadCutShortByTheChipIsDoneAgainOnceItAnswers)
{
    using Op = platform::sim::SimX518Flash::Op;
    std::vector<u8> head(x518_manage::kFontHeaderSize, 0);
    head[0] = 'P';
    for (const u32 at : {0x000000u, 0x010000u, 0x410000u, 0x450000u})
        chip->loadFlash(at, head);
    ASSERT_TRUE(m->read_x518_font(fd));
    const u8 allFonts = store->reg_image.font_flags;
    ASSERT_EQ(allFonts & 0x3F, 0x3F);
    for (int n = 20; n <= 100; n += 10) {
        SCOPED_TRACE(n);
        chip->failTransfers(kForever, n - 1);
        const bool looked = m->read_x518_font(fd);
        const bool loaded = m->load_fonts(fd) == x518_manage::kFlashOk;
        chip->failTransfers(0);
        EXPECT_FALSE(looked && loaded);
        EXPECT_NE(store->reg_image.font_flags, allFonts);
        chip->clearFlashLog();
        m->runPass();
        EXPECT_EQ(m->init_state, x518_manage::kRunningState);
        EXPECT_EQ(store->reg_image.font_flags, allFonts);
        EXPECT_EQ(m->font_redo.load(), 0);
        size_t copies = 0;
        for (const auto& op : chip->flashLog())
            copies += op.kind == Op::Dma;
        EXPECT_EQ(copies, 4u);
    }
}

TEST_F(RunningChipTest, ChangesMadeWhileTheChipDoesNotAnswerReachItOnceItDoes)
{
    ASSERT_TRUE(shownRunning(store));
    QSignalSpy codes(store, &KelRamPara::sig_update_para);
    chip->failTransfers(kForever);
    // One window, a test pattern on it and a contrast: the pattern is no
    // part of a bring-up, only of an apply pass.
    write([](KEL_RAM_PARA& b) {
        for (int i = 1; i < kShownWindows; ++i)
            b.image[i].enable = 0;
        b.test_pattern = 4;
        b.contrast = 70;
    });
    m->runPass();
    EXPECT_EQ(m->init_state, 0);
    EXPECT_FALSE(shownRunning(store));
    // The change is told (the block holds it) and stays pending for the chip.
    ASSERT_GE(codes.count(), 2);
    EXPECT_EQ(codes.at(0).at(0).toInt(), SYNC_PARA_CHANGED);
    EXPECT_EQ(codes.at(1).at(0).toInt(), SYNC_CHIP_STATE);
    EXPECT_EQ(x518_manage::apply_flag, 1);
    write([](KEL_RAM_PARA& b) { b.saturation = 20; });
    G_timeTicks += x518_manage::kRetryTicks;
    m->runPass();  // still failing
    EXPECT_EQ(m->init_state, 0);

    chip->failTransfers(0);
    ASSERT_TRUE(bringUpAfterPauses(m));
    EXPECT_TRUE(shownRunning(store));
    m->runPass();  // the pending pass
    EXPECT_EQ(x518_manage::apply_flag, 0);
    EXPECT_TRUE(m->kelApi_IsPatternGen());
    EXPECT_NE(chip->reg(0x08, 0x57), 0);
    for (u32 k = 0; k < u32(x518_manage::kChannels); ++k) {
        EXPECT_EQ(chip->regValue(x518::kContrast, 16 * k), 70u * 1023 / 100) << k;
        EXPECT_EQ(chip->regValue(x518::kSaturation, 16 * k), 20u * 1023 / 100) << k;
    }
}

namespace {

using platform::sim::SourceTiming;
using Registers = platform::sim::SimX518Flash::Registers;

// What a chip holds: its registers and the OSD colour table's background
// and character entries.
struct ChipImage {
    Registers regs{};
    u32 background = 0;
    u32 characters = 0;
};

// The frame-buffer rings of an input channel follow the frame each
// picture hold fell on: two boxes that never failed differ in them too.
bool followsTheFrames(int bank, int address)
{
    const int stride = int(x518::kChannelStride);
    const int first = int(x518_drv::specBank(x518::kWriteRing));
    if (bank < first || bank >= first + stride * x518_manage::kChannels || (bank - first) % stride)
        return false;
    auto within = [address](u32 spec) {
        const int a = int(x518_drv::specAddress(spec));
        return address >= a && address < a + int(x518_drv::specWidth(spec));
    };
    return within(x518::kWriteRing) || within(x518::kReadRing);
}

// What differs, bank selects and rings left out; empty when nothing does.
std::string differences(const ChipImage& want, const ChipImage& got)
{
    std::string out;
    int n = 0;
    for (int bank = 0; bank < SimX518::kBanks; ++bank)
        for (int a = 1; a < SimX518::kBankSize; ++a)
            if (want.regs[bank][a] != got.regs[bank][a] && !followsTheFrames(bank, a) && n++ < 24) {
                char line[32];
                std::snprintf(line, sizeof line, " %02X:%02X %02X/%02X", bank, a, want.regs[bank][a],
                              got.regs[bank][a]);
                out += line;
            }
    if (n)
        out = std::to_string(n) + " registers (want/got):" + out;
    if (want.background != got.background || want.characters != got.characters)
        out += " OSD colours differ";
    return out;
}

// A box from power-on with three live inputs in three windows (a fourth
// window shows an input without a signal, window 0 is zoomed) and a
// sharpness saved: each run brings it up on a chip of its own, as fresh as
// at power-on, its SPI failing from a given transfer until the failure
// strikes.
class BringUpFaultTest : public ManagerTest {
protected:
    static constexpr int kSettledPasses = 3;  // passes in running mode that end a run
    static constexpr int kPassLimit = 200;

    struct Run {
        bool running = false;
        ChipImage image;
        // Transfers carried when each pass ended, and the state it ran in.
        std::vector<uint64_t> passEnds;
        std::vector<int> passStates;
    };

    void SetUp() override
    {
        ManagerTest::SetUp();
        KEL_RAM_PARA& b = store->ram_para;
        const u16 sources[] = {ram::kSourceDvi, ram::kSourceHdmi1, ram::kSourceHdmi2, ram::kSourceHdmi3};
        for (int i = 0; i < 4; ++i) {
            IMAGE_PARA& im = b.image[i];
            im.enable = ram::kImageShown;
            im.source = sources[i];
            im.x = u16(i % 2 * 960);
            im.y = u16(i / 2 * 540);
            im.w = u16(i == 0 ? 1200 : 960);
            im.h = 540;
        }
        b.sharpness = 94;
        b.osd_enable = 0;
        store->ram_para_shadow = b;
        m->applied = b;
        src = tamixsource::pInstance();
        ASSERT_GE(src->openBus(), 0);
        G_timeTicks = 5000;
        for (int s : kLive)
            platform::sim::plugSource(s, SourceTiming::p1080_60());
        src->runPass();
        G_timeTicks += tamixsource::kPowerUpTicks;
        for (int i = 0; i < 4; ++i)
            src->runPass();
        ASSERT_EQ(src->sourceState(), tamixsource::kRunning);
    }

    // One pass of each manager, after the chip manager's retry pause.
    void pass()
    {
        G_timeTicks += x518_manage::kRetryTicks;
        src->runPass();
        m->runPass();
    }

    // The SPI fails from transfer `failFrom` of the bring-up on (0: never);
    // from the pass after the one it struck in the chip answers again.
    Run bringUp(uint64_t failFrom)
    {
        chip = std::make_shared<SimX518>();
        platform::sim::registerDevice(SimX518::kDevicePath, chip);
        for (int s : kLive)
            platform::sim::plugSource(s, SourceTiming::p1080_60());
        x518_manage::prepareInstance();
        m->init_state = 0;
        m->openChip();
        m->drv->init_reg_acc_param();  // a driver as new as its chip
        chip->resetCounters();
        if (failFrom)
            chip->failTransfers(INT_MAX, int(failFrom - 1));
        Run r;
        int settled = 0;
        for (int i = 0; i < kPassLimit && settled < kSettledPasses; ++i) {
            if (failFrom && chip->counters().failed)
                chip->failTransfers(0);
            r.passStates.push_back(m->init_state);
            pass();
            r.passEnds.push_back(chip->counters().transfers);
            settled = m->init_state == x518_manage::kRunningState ? settled + 1 : 0;
        }
        r.running = settled == kSettledPasses;
        r.image = image();
        return r;
    }

    // The overlay switched on from the block, with or without a file.
    void switchOverlayOn()
    {
        {
            QMutexLocker lock(&x518_manage::mutex);
            store->ram_para.osd_enable = 1;
            x518_manage::apply_flag = 1;
        }
        pass();
        pass();
    }

    ChipImage image() const { return {chip->registers(), chip->osdColour(1), chip->osdColour(2)}; }

    static constexpr int kLive[] = {ram::kSourceDvi, ram::kSourceHdmi1, ram::kSourceHdmi2};
    tamixsource* src = nullptr;
};

}  // namespace

// Every stage of the bring-up is failed at least once: the probe, the
// initial load with the inputs and the fonts, the panel, the picture and
// the first passes of running mode, which redraw the OSD plane and program
// the measured inputs. Once the chip answers again it holds what a chip
// that never failed holds, and so it does after the overlay is switched on
// (with a description file, read only then: the bring-up had it off).
TEST_F(BringUpFaultTest, AFailureAtAnyTransferOfTheBringUpRecoversToTheRegistersOfABoxThatNeverFailed)
{
    // The manager keeps the overlay's text over a bring-up, and redraws it
    // there: every run below starts with the text of the one before.
    writeBoxFile(KelRamPara::kOverlayFile, overlayFile(OverlayText().json()));
    ASSERT_TRUE(bringUp(0).running);
    switchOverlayOn();
    store->ram_para.osd_enable = 0;
    m->applied.osd_enable = 0;
    const Run ref = bringUp(0);
    ASSERT_TRUE(ref.running);
    ASSERT_NE(ref.image.regs[0x0B][0x09], 0) << "sharpness gain";
    switchOverlayOn();
    const ChipImage refOn = image();
    ASSERT_NE(refOn.regs[0x09][0x08] & 3, 0) << "overlay shown";
    ASSERT_NE(refOn.background, 0u);

    // Failure points: the first and the last transfer of each pass up to the
    // settled running mode, and a stride through all of them.
    const uint64_t total = ref.passEnds.back();
    std::set<uint64_t> points;
    uint64_t from = 1;
    for (uint64_t end : ref.passEnds) {
        if (end >= from)
            points.insert({from, end});
        from = end + 1;
    }
    for (uint64_t n = total / 20; n <= total; n += total / 10)
        points.insert(n);
    std::set<int> statesHit;
    for (uint64_t n : points) {
        store->ram_para.osd_enable = 0;
        m->applied.osd_enable = 0;
        const Run r = bringUp(n);
        for (size_t p = 0; p < ref.passEnds.size(); ++p)
            if (n <= ref.passEnds[p]) {
                statesHit.insert(ref.passStates[p]);
                break;
            }
        ASSERT_TRUE(r.running) << "failed from transfer " << n << " of " << total;
        EXPECT_EQ(differences(ref.image, r.image), "") << "failed from transfer " << n;
        switchOverlayOn();
        EXPECT_EQ(differences(refOn, image()), "") << "overlay on, failed from transfer " << n;
    }
    for (int state = 0; state <= x518_manage::kRunningState; ++state)
        EXPECT_TRUE(statesHit.count(state)) << "state " << state;
}

// A saved overlay is loaded and drawn after a bring-up that failed while
// loading the fonts, drawing the overlay or measuring the inputs.
TEST_F(BringUpFaultTest, ASavedOverlayIsDrawnAfterABringUpThatFailedOnTheWay)
{
    writeBoxFile(KelRamPara::kOverlayFile, overlayFile(OverlayText().json()));
    store->ram_para.osd_enable = 1;
    m->applied.osd_enable = 1;
    const Run ref = bringUp(0);
    ASSERT_TRUE(ref.running);
    ASSERT_EQ(ref.image.regs[0x09][0x08] & 3, 3) << "text overlay shown";
    ASSERT_EQ(ref.image.background, omenu::chipColour(OverlayText().backColour));
    // The last transfers of the load (the fonts), the first of running mode.
    const size_t load = size_t(std::find(ref.passStates.begin(), ref.passStates.end(), 5) - ref.passStates.begin());
    const size_t running =
        size_t(std::find(ref.passStates.begin(), ref.passStates.end(), int(x518_manage::kRunningState)) -
               ref.passStates.begin());
    ASSERT_LT(running, ref.passEnds.size());
    for (uint64_t n : {ref.passEnds[load] - 40, ref.passEnds[load], ref.passEnds[running - 1] + 1,
                       (ref.passEnds[running - 1] + ref.passEnds[running]) / 2}) {
        const Run r = bringUp(n);
        ASSERT_TRUE(r.running) << n;
        EXPECT_EQ(differences(ref.image, r.image), "") << "failed from transfer " << n;
    }
}

namespace {

// A signal in every input, each window showing its own in a quarter of the
// canvas. Restarts go through register 0xA2 bit 6 and fences through 0xA4,
// written as a link writes them; a pass of the box is a poll of the inputs
// and a pass of the chip manager, an idle watch's ticks apart.
class RestartTest : public RunningChipTest {
protected:
    static constexpr u8 kRestart = 0x40;
    static constexpr u8 kFence = 0x02;
    static constexpr int kPassLimit = 100;
    static constexpr unsigned kAllWindows = 0xF;

    void SetUp() override
    {
        RunningChipTest::SetUp();
        for (int s = 0; s < tamix::kSources; ++s)
            platform::sim::plugSource(s, platform::sim::SourceTiming::p1080_60());
        inputsUp();
        settle();
        ASSERT_TRUE(showsInputs(kAllWindows));
        ASSERT_TRUE(shownRunning(store));
    }

    void writeRegister(u8 KEL_REG_IMAGE::*reg, u8 value)
    {
        write([&](KEL_RAM_PARA&) { store->reg_image.*reg = value; });
    }
    // The restart asked for, a fence after it, and the pass that restarts the chip.
    void restartWithFence()
    {
        writeRegister(&KEL_REG_IMAGE::reg_a2, kRestart);
        writeRegister(&KEL_REG_IMAGE::reg_a4, kFence);
        boxPass();
        EXPECT_FALSE(shownRunning(store));
        EXPECT_EQ(fence(), kFence);
    }
    void boxPass()
    {
        poll();
        m->runPass();
    }
    // Passes until register 37 bit 4 is set; on the way the fence is
    // cleared only with bit 4 set.
    bool untilRunningShown()
    {
        for (int i = 0; i < kPassLimit && !shownRunning(store); ++i) {
            boxPass();
            EXPECT_EQ(fence() == 0, shownRunning(store)) << "pass " << i;
        }
        return shownRunning(store);
    }
    u8 fence() const { return store->reg_image.reg_a4; }
    ChipImage image() const { return {chip->registers(), chip->osdColour(1), chip->osdColour(2)}; }
    // The windows of `windows` (a bit each) show their input's card, the others black.
    bool showsInputs(unsigned windows) const
    {
        const platform::Canvas c = canvas();
        for (int w = 0; w < kShownWindows; ++w) {
            const canvasprobe::Box at{w % 2 * 960, w / 2 * 540, 960, 540};
            const platform::Canvas card = platform::sim::drawTestCard(tamix::kChipPortOfSource[w], 1920, 1080, 60, 0);
            const bool shown = (windows & 1u << w)
                                   ? bool(canvasprobe::showsCard(c, card, {at, {0, 0, 1920, 1080}}, 32, 200))
                                   : canvasprobe::find(c, platform::sim::kCanvasBlack, at).count == long(at.w) * at.h;
            if (!shown)
                return false;
        }
        return true;
    }
};

}  // namespace

// A fence written with the restart request stays through the restart and
// until its programming has put every window back, and bit 4 with it: then
// every window shows its input, and later passes find nothing left to
// program. A fence written once bit 4 is set again is served by the next
// pass.
TEST_F(RestartTest, TheFenceAndBit4SayDoneOnlyOnceEveryWindowShowsItsInputAgain)
{
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        restartWithFence();
        ASSERT_TRUE(untilRunningShown());
        EXPECT_EQ(fence(), 0);
        EXPECT_TRUE(showsInputs(kAllWindows));
        const ChipImage done = image();
        settle();
        EXPECT_EQ(differences(image(), done), "");

        writeRegister(&KEL_REG_IMAGE::reg_a4, kFence);
        m->runPass();
        EXPECT_EQ(fence(), 0);
        EXPECT_TRUE(shownRunning(store));
    }
}

// An input whose receiver reports a signal the chip never measures holds
// bit 4 and the fence for the bound and no longer, the other windows showing
// their inputs meanwhile; pulled from its receiver during the wait, it
// holds them no more.
TEST_F(RestartTest, AnInputTheChipNeverMeasuresHoldsARestartOnlyUntilTheBoundOrItsLoss)
{
    const int stuck = ram::kSourceHdmi2;
    chip->pull(tamix::kChipPortOfSource[stuck]);
    const unsigned others = kAllWindows & ~(1u << stuck);
    for (bool pulled : {false, true}) {
        SCOPED_TRACE(pulled ? "pulled meanwhile" : "never measured");
        restartWithFence();
        for (int i = 0; i < kPassLimit && m->init_state < x518_manage::kRunningState; ++i)
            boxPass();
        const u32 entered = G_timeTicks.load();
        boxPass();
        EXPECT_FALSE(shownRunning(store));
        EXPECT_EQ(fence(), kFence);
        EXPECT_TRUE(showsInputs(others));
        if (pulled)
            platform::sim::pullSource(stuck);
        ASSERT_TRUE(untilRunningShown());
        const u32 waited = G_timeTicks.load() - entered;
        if (pulled)
            EXPECT_LE(waited, 3 * tamixsource::kPollTicks);
        else
            EXPECT_GE(waited, x518_manage::kRestoreTicks);
        EXPECT_LT(waited, x518_manage::kRestoreTicks + tamixsource::kPollTicks);
        EXPECT_TRUE(showsInputs(others));
    }
}
