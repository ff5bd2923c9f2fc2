// The chip manager's bring-up: probe, load, panel, picture, running mode.
#include "tests/videochip/chip_test.h"

#include "registers/x518_regs.h"
#include "tests/videochip/overlay_json.h"
#include "videochip/omenu.h"

#include <QSignalSpy>
#include <thread>
#include <type_traits>

namespace {

// Passes until the state changes or `limit` passes ran; the passes it took.
int passesUntilStateAbove(x518_manage* m, u8 state, int limit)
{
    int n = 0;
    while (m->init_state <= state && n < limit) {
        m->runPass();
        ++n;
    }
    return n;
}

}  // namespace

TEST_F(ManagerTest, AGoodChipIsProbedFiveTimesThenBroughtUpToRunningMode)
{
    store->ram_para.osd_enable = 1;  // the overlay is requested when the block has it on
    chip->resetCounters();
    EXPECT_EQ(passesUntilStateAbove(m, 4, 100), 5);
    EXPECT_EQ(m->init_state, 5);
    EXPECT_EQ(chip->counters().reads, 5u);
    EXPECT_EQ(chip->counters().writes, 0u);  // nothing is written while probing

    m->runPass();  // state 5: model and initial load
    EXPECT_EQ(m->init_state, 6);
    EXPECT_GT(chip->counters().writes, 300u);
    EXPECT_EQ(m->sys.PS_ACTHW, 1920u);
    for (int w = 0; w < x518_manage::kWindows; ++w)
        EXPECT_EQ(m->model.g_chg_input[w], 1) << w;

    EXPECT_EQ(g_osd_update, 1);
    EXPECT_EQ(g_fpga_x518_start, 0);
    m->runPass();  // state 6: panel
    EXPECT_EQ(m->init_state, 7);
    EXPECT_EQ(g_fpga_x518_start, 1);
    m->runPass();  // state 7: picture defaults
    EXPECT_EQ(m->init_state, x518_manage::kRunningState);
    m->runPass();
    EXPECT_EQ(m->init_state, x518_manage::kRunningState);
}

TEST_F(ManagerTest, AFlakyChipReachesTheLoadAfterFiveGoodReadsAmongBadOnes)
{
    chip->setFlakyIdentity(true);
    EXPECT_EQ(passesUntilStateAbove(m, 4, 100), 10);
    EXPECT_EQ(m->init_state, 5);
}

TEST_F(ManagerTest, AWrongChipNeverLeavesTheProbeWritesNothingAndAnnouncesNothing)
{
    chip->setIdentity(0x42);
    QSignalSpy codes(store, &KelRamPara::sig_update_para);
    KelRamPara::raiseApply(1);
    chip->clearJournal();
    for (int i = 0; i < 200; ++i)
        m->runPass();
    EXPECT_EQ(m->init_state, 0);
    EXPECT_TRUE(chip->journal().empty());
    EXPECT_EQ(codes.count(), 0);
    EXPECT_EQ(x518_manage::apply_flag, 1);  // the request stays pending
    EXPECT_EQ(g_fpga_x518_start, 0);
}

TEST_F(ManagerTest, TheLoadStartsWithABankSelectEvenWhenTheBankWasCached)
{
    for (int i = 0; i < 5; ++i)
        m->runPass();
    chip->setTracing(true);
    m->runPass();
    auto trace = chip->trace();
    ASSERT_FALSE(trace.empty());
    EXPECT_TRUE(trace[0].bankSelect());
    EXPECT_EQ(trace[0].tx[1], 0xFF);  // the clock generator comes first
}

TEST_F(ManagerTest, ARequestRaisedDuringBringUpStaysPendingForTheDispatcher)
{
    for (int i = 0; i < 5; ++i)
        m->runPass();
    QSignalSpy codes(store, &KelRamPara::sig_update_para);
    KelRamPara::raiseApply(2);
    for (int i = 0; i < 3; ++i)
        m->runPass();
    EXPECT_EQ(m->init_state, x518_manage::kRunningState);
    EXPECT_EQ(x518_manage::apply_flag, 2);
    ASSERT_EQ(codes.count(), 1);  // only that the chip runs now
    EXPECT_EQ(codes.at(0).at(0).toInt(), SYNC_CHIP_STATE);
    m->runPass();  // the first pass in running mode serves it
    EXPECT_EQ(x518_manage::apply_flag, 0);
    ASSERT_EQ(codes.count(), 2);
    EXPECT_EQ(codes.at(1).at(0).toInt(), 2);
}

TEST_F(ManagerTest, ARestartReprobesAndReloadsOnTheSameDescriptor)
{
    for (int i = 0; i < 8; ++i)
        m->runPass();
    ASSERT_EQ(m->init_state, x518_manage::kRunningState);
    chip->clearJournal();
    chip->setReg(0x01, 0x08, 0);  // the memory controller, set by the initial load only
    m->init_state = 0;
    for (int i = 0; i < 8; ++i)
        m->runPass();
    EXPECT_EQ(m->init_state, x518_manage::kRunningState);
    EXPECT_EQ(m->spi_fd, fd);
    EXPECT_EQ(chip->reg(0x01, 0x08), 0x30);
}

TEST_F(ManagerTest, PInstanceResetsTheRequestFlags)
{
    x518_manage::apply_flag = 1;
    m->pattern_gen = 1;
    EXPECT_EQ(x518_manage::prepareInstance(), m);
    EXPECT_EQ(x518_manage::apply_flag, 0);
    EXPECT_EQ(m->pattern_gen, 0u);
}

TEST_F(ManagerTest, SharedFlagsAreAtomic)
{
    static_assert(std::is_same<std::remove_reference_t<decltype(x518_manage::apply_flag)>, std::atomic<u8>>::value,
                  "apply_flag");
    static_assert(std::is_same<decltype(m->init_state), std::atomic<u8>>::value, "init_state");
    static_assert(std::is_same<decltype(g_fpga_x518_start), std::atomic<u8>>::value, "g_fpga_x518_start");
    // The worker brings the chip up on its own while another thread raises
    // requests and watches its state.
    ASSERT_EQ(m->startThread(), 0);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        while (!done) {
            KelRamPara::raiseApply(1);
            (void)m->init_state.load();
            std::this_thread::yield();
        }
    });
    bool running = waitUntil([&] { return m->init_state == x518_manage::kRunningState; }, 20000);
    done = true;
    writer.join();
    m->stopThread();
    EXPECT_TRUE(running);
    EXPECT_EQ(chip->reg(0x02, 0x18), 76);  // the last step of the load ran
    // The worker serves requests as they come; the last one may or may not
    // have been served before it stopped, but the flag holds no other value.
    EXPECT_LE(x518_manage::apply_flag.load(), 1);
}

// The block saved with the overlay on: the first pass in running mode reads
// the overlay file and draws it, though nobody writes anything; it announces
// nothing, as nothing in the block changed.
TEST_F(ManagerTest, ASavedOverlayIsReadAndDrawnByTheFirstPassWithoutAnyWrite)
{
    OverlayText t;
    writeBoxFile(KelRamPara::kOverlayFile, overlayFile(t.json()));
    store->ram_para.osd_enable = 1;
    store->ram_para_shadow.osd_enable = 1;
    for (int i = 0; i < 8; ++i)
        m->runPass();
    ASSERT_EQ(m->init_state, x518_manage::kRunningState);
    ASSERT_EQ(x518_manage::apply_flag, 0);
    QSignalSpy codes(store, &KelRamPara::sig_update_para);
    chip->clearOsdLog();
    m->runPass();
    EXPECT_EQ(g_osd_update, 0);
    EXPECT_EQ(chip->regValue(x518::kOsdControl) & 3, 3u) << "text shown";
    EXPECT_EQ(chip->osdColour(1), omenu::chipColour(t.backColour));
    bool drawn = false;
    for (const auto& c : chip->osdLog())
        drawn = drawn || c.text() == "HELLO";
    EXPECT_TRUE(drawn);
    EXPECT_EQ(codes.count(), 0);
}
