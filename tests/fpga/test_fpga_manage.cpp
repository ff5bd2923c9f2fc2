#include "app/utils.h"
#include "fpga/rcv_recovery_file.h"
#include "platform/clock.h"
#include "tests/fpga/fpga_test.h"

#include <cstring>
#include <thread>

namespace reg = fpga::reg;
using platform::sim::SimFpgaBoard;

// ------------------------------------------------------------------ bring-up

TEST_F(FpgaTest, StatusOnlyAfterPowerUp)
{
    fpga_manage* m = fpga_manage::pInstance();
    // Both FPGAs stay in reset until the manager lets them go.
    passes(3);
    EXPECT_EQ(m->get_fpga_status(), 0);
    EXPECT_EQ(m->get_wlan_state(), 0);
    EXPECT_EQ(board->state(0), reg::kStateReset);

    manager();
    passes(1);
    EXPECT_EQ(m->MCU_REG_func[0][reg::kState], reg::kStateLoading);
    EXPECT_EQ(m->get_fpga_status(), 0);
    passes(1);
    EXPECT_EQ(m->get_fpga_status(), 0);
    passes(1);
    EXPECT_EQ(m->MCU_REG_func[0][reg::kState], reg::kStateRunning);
    EXPECT_EQ(m->get_fpga_status(), 1);
    EXPECT_EQ(m->get_wlan_state(), 0x0003);
    // The power-up took the ports out of standby and read the images.
    EXPECT_FALSE(board->reg(0, reg::kCtrl) & reg::kCtrlStandby);
    EXPECT_EQ(board->reg(0, reg::kScreenCtrl), reg::kScreenRun);
    EXPECT_EQ(m->MCU_REG_func[0][reg::kVersion], board->reg(0, reg::kVersion));
    EXPECT_EQ(m->MCU_REG_func[1][reg::kVersionYear], board->reg(1, reg::kVersionYear));
    EXPECT_EQ(count(SYNC_PARA_CHANGED), 2);  // one per FPGA
    EXPECT_EQ(count(SYNC_LINK_STATE), 1);

    // Standby set from outside: register 80 still reads 3, but FPGA 0 is not up.
    m->write_to_register(reg::kCtrl, reg::kCtrlStandby, reg::kCtrlStandby, 0);
    EXPECT_EQ(m->MCU_REG_func[0][reg::kState], reg::kStateRunning);
    EXPECT_EQ(m->get_fpga_status(), 0);
    m->write_to_register(reg::kCtrl, reg::kCtrlStandby, 0, 0);
    EXPECT_EQ(m->get_fpga_status(), 1);
}

TEST_F(FpgaTest, AnFpgaThatGoesAwayIsBroughtUpAgain)
{
    fpga_manage* m = manager();
    ASSERT_TRUE(bringUp());
    codes.clear();
    board->holdInReset(0, true);
    passes(1);
    EXPECT_EQ(m->get_fpga_status(), 0);
    EXPECT_EQ(m->get_wlan_state(), 0);
    EXPECT_EQ(count(SYNC_LINK_STATE), 1);
    passes(5);
    EXPECT_EQ(count(SYNC_LINK_STATE), 1);  // once, however long it stays away

    board->holdInReset(0, false);
    ASSERT_TRUE(bringUp());
    EXPECT_EQ(count(SYNC_LINK_STATE), 2);
    EXPECT_EQ(m->get_wlan_state(), 0x0003);
}

TEST_F(FpgaTest, AnFpgaThatDoesNotComeUpIsResetAFewTimes)
{
    fpga_manage* m = manager();
    board->holdInReset(0, true);
    passes(1);
    after(fpga_manage::kPowerUpTicks - 1);
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstRun);
    for (int retry = 1; retry <= fpga_manage::kPowerUpRetries; ++retry) {
        after(1);
        EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstHold);
        EXPECT_EQ(m->vbo_retry[0], retry);
        after(fpga_manage::kResetTicks);
        EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstRun);
        after(fpga_manage::kPowerUpTicks - 1);
    }
    after(fpga_manage::kPowerUpTicks);
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstRun);  // no fourth reset
    board->holdInReset(0, false);
    EXPECT_TRUE(bringUp());
}

TEST_F(FpgaTest, WithoutTheSocWindowNothingFaultsAndNoFpgaIsSelected)
{
    platform::sim::setDeviceMissing("/dev/msys", true);
    fpga_manage* m = manager();
    ASSERT_NE(m->gpio_cs_fpga0, nullptr);
    ASSERT_NE(m->gpio_cs_fpga1, nullptr);
    *m->gpio_cs_fpga0 = fpga::kCsReleased;  // as the video chip's driver does
    passes(5);
    EXPECT_EQ(m->get_fpga_status(), 0);
    EXPECT_GT(board->unselectedTransactions(SimFpgaBoard::kFpga0), 0);
    EXPECT_EQ(board->transactions(SimFpgaBoard::kFpga0), board->unselectedTransactions(SimFpgaBoard::kFpga0));
}

// ------------------------------------------------------------------ registers

TEST_F(FpgaTest, RegisterRangeRules)
{
    fpga_manage* m = manager();
    ASSERT_TRUE(bringUp());
    for (const auto& [r, value] : {std::pair<u8, u8>{63, 0x5A}, {64, 0x11}, {127, 0x12}, {129, 0x77}, {170, 0x33}})
        board->setReg(0, r, value);
    m->MCU_REG_func[0][64] = 0xEE;
    m->MCU_REG_func[0][127] = 0xEE;
    for (int r : {63, 64, 127, 129, 170, 171, 255})
        m->read_from_register(static_cast<u8>(r), 0);
    EXPECT_EQ(m->MCU_REG_func[0][63], 0x5A);
    EXPECT_EQ(m->MCU_REG_func[0][64], 0xEE);
    EXPECT_EQ(m->MCU_REG_func[0][127], 0xEE);
    EXPECT_EQ(m->MCU_REG_func[0][129], 0x77);
    EXPECT_EQ(m->MCU_REG_func[0][170], 0x33);  // the image holds register 170
    // Every read goes to the FPGA again (the aging counter moves between reads).
    board->setReg(0, reg::kAgeCounter, 250);
    m->read_from_register(reg::kAgeCounter, 0);
    EXPECT_EQ(m->MCU_REG_func[0][reg::kAgeCounter], 250);
    m->read_from_register(reg::kAgeCounter, 0);
    EXPECT_EQ(m->MCU_REG_func[0][reg::kAgeCounter], 251);

    const int before = board->transactions(SimFpgaBoard::kFpga0);
    for (u8 r : {64, 100, 127, 171})
        m->write_to_register(r, 0xFF, 0x01, 0);
    m->write_to_register(10, 0xFF, 0x01, 2);
    m->read_from_register(10, 2);
    EXPECT_EQ(board->transactions(SimFpgaBoard::kFpga0), before);
    EXPECT_EQ(board->reg(0, 64), 0x11);

    m->write_to_register(170, 0xF0, 0xA5, 0);
    EXPECT_EQ(board->reg(0, 170), 0xA3);
    EXPECT_EQ(m->MCU_REG_func[0][170], 0xA3);
    board->setReg(1, 5, 0x0F);
    m->write_to_register(5, 0x81, 0xFF, 1);
    EXPECT_EQ(board->reg(1, 5), 0x8F);
}

TEST_F(FpgaTest, RegisterZeroCarriesTheScreenStateAndTheMappingBit)
{
    fpga_manage* m = manager();
    ASSERT_TRUE(bringUp());
    EXPECT_EQ(ScreenState.load(), 1);
    m->write_to_register(reg::kCtrl, reg::kCtrlScreenOn, 0, 0);
    EXPECT_EQ(ScreenState.load(), 0);
    EXPECT_FALSE(board->reg(0, reg::kCtrl) & reg::kCtrlScreenOn);
    // The mapping page's toggle: refresh, then flip bit 7 alone.
    m->read_from_register(reg::kCtrl, 0);
    m->write_to_register(reg::kCtrl, reg::kCtrlMapping, reg::kCtrlMapping, 0);
    EXPECT_EQ(board->reg(0, reg::kCtrl), reg::kCtrlMapping);
    EXPECT_EQ(ScreenState.load(), 0);
    // FPGA 1's register 0 is not the LED screen.
    m->write_to_register(reg::kCtrl, reg::kCtrlScreenOn, reg::kCtrlScreenOn, 1);
    EXPECT_EQ(ScreenState.load(), 0);
}

TEST_F(FpgaTest, PortAreasAndTheParameterMemoryImage)
{
    unsigned short x, y, w, h;
    const std::pair<int, unsigned short> xs[] = {{0, 8},   {1, 19},  {2, 32},   {3, 43}, {4, 520}, {5, 528},
                                                 {7, 544}, {8, 576}, {15, 632}, {16, 8}, {255, 8}};
    for (const auto& [port, want] : xs) {
        EXPECT_EQ(fpga_manage::get_eth_param_addr(static_cast<unsigned char>(port), &x, &y, &w, &h), 0);
        EXPECT_EQ(std::vector<int>({x, y, w, h}), std::vector<int>({want, want + 2, want + 4, want + 6})) << port;
    }
    fpga_manage* m = manager();
    ASSERT_TRUE(bringUp());
    auto u16at = [m](int off) { return m->MCU_RAM_PARA_func[0][off] | m->MCU_RAM_PARA_func[0][off + 1] << 8; };
    fpga_manage::get_eth_param_addr(1, &x, &y, &w, &h);
    EXPECT_EQ(std::vector<int>({u16at(x), u16at(y), u16at(w), u16at(h)}), std::vector<int>({0, 540, 1920, 540}));

    const u8 bytes[2] = {0x34, 0x12};
    EXPECT_TRUE(m->writeRamPara(0, 1022, bytes, 2));
    EXPECT_EQ(board->ram(0, 1022, 2), (std::vector<uint8_t>{0x34, 0x12}));
    EXPECT_EQ(u16at(1022), 0x1234);
    EXPECT_FALSE(m->writeRamPara(0, 1023, bytes, 2));
    EXPECT_FALSE(m->writeRamPara(2, 0, bytes, 2));
}

// ------------------------------------------------------------------ hand-overs

TEST_F(FpgaTest, BrightnessIsClearedOnlyOnceTheFpgaHoldsIt)
{
    fpga_manage* m = manager();
    ASSERT_TRUE(bringUp());
    EXPECT_EQ(board->reg(0, reg::kBrightness), 100);
    auto handOver = [&](u16 value, int n) {
        store->ram_para.brightness = value;
        m->bri_changed = 1;
        passes(n);
    };
    handOver(40, 1);
    EXPECT_EQ(board->reg(0, reg::kBrightness), 40);
    EXPECT_EQ(m->bri_changed.load(), 0);

    // FPGA 0 gone: the change waits.
    board->holdInReset(0, true);
    handOver(70, 3);
    EXPECT_EQ(m->bri_changed.load(), 1);
    board->holdInReset(0, false);
    ASSERT_TRUE(bringUp());
    passes(1);
    EXPECT_EQ(board->reg(0, reg::kBrightness), 70);
    EXPECT_EQ(m->bri_changed.load(), 0);

    handOver(300, 1);  // a value past 100 % drives the LEDs at 100 %
    EXPECT_EQ(board->reg(0, reg::kBrightness), 100);
}

TEST_F(FpgaTest, LedOutputIsClearedOnlyOnceTheFpgaHoldsIt)
{
    fpga_manage* m = manager();
    board->holdInReset(0, true);
    passes(3);
    store->ram_para.led_off = 1;
    m->output_changed = 1;
    passes(3);
    EXPECT_EQ(m->output_changed.load(), 1);

    board->holdInReset(0, false);
    ASSERT_TRUE(bringUp());
    // The power-up already switched the output off, as the block says.
    EXPECT_FALSE(board->reg(0, reg::kCtrl) & reg::kCtrlScreenOn);
    passes(1);
    EXPECT_EQ(m->output_changed.load(), 0);
    EXPECT_EQ(ScreenState.load(), 0);

    store->ram_para.led_off = 0;
    m->output_changed = 1;
    passes(1);
    EXPECT_TRUE(board->reg(0, reg::kCtrl) & reg::kCtrlScreenOn);
    EXPECT_EQ(ScreenState.load(), 1);
    EXPECT_EQ(m->output_changed.load(), 0);
}

TEST_F(FpgaTest, LedPanelHandShake)
{
    fpga_manage* m = manager();
    ASSERT_TRUE(bringUp());
    codes.clear();

    // A page hands a new canvas size over.
    g_set_led_para = 1;
    g_set_led_setup = 0;
    passes(1);
    EXPECT_EQ(board->reg(0, reg::kScreenCtrl), reg::kScreenStop);
    EXPECT_EQ(g_set_led_setup.load(), 1);
    after(fpga_manage::kLedStopTicks - 1);
    EXPECT_EQ(board->reg(0, reg::kScreenCtrl), reg::kScreenStop);
    after(1);
    EXPECT_EQ(board->reg(0, reg::kScreenCtrl), reg::kScreenRun);
    EXPECT_EQ(g_set_led_setup.load(), 2);
    after(fpga_manage::kLedSettleTicks - 1);
    EXPECT_EQ(g_set_led_para.load(), 1);  // the chip manager still waits
    after(1);
    EXPECT_EQ(g_set_led_para.load(), 0);
    EXPECT_EQ(g_set_led_setup.load(), 0);

    // The chip manager has set its output panel up again: FPGA 0 restarts.
    g_set_led_para = 2;
    passes(1);
    EXPECT_EQ(g_set_led_para.load(), 0);
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstHold);
    EXPECT_EQ(m->rst_pending[0], 1);
    EXPECT_EQ(m->get_fpga_status(), 0);
    EXPECT_EQ(board->state(0), reg::kStateReset);
    EXPECT_EQ(count(SYNC_LINK_STATE), 1);
    after(fpga_manage::kResetTicks - 1);
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstHold);
    after(1);
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstRun);
    EXPECT_EQ(m->rst_pending[0], 0);
    ASSERT_TRUE(bringUp());
    EXPECT_EQ(count(SYNC_LINK_STATE), 2);
    EXPECT_EQ(board->reg(0, reg::kScreenCtrl), reg::kScreenRun);
}

// The host box as main starts it: the thread brings the FPGAs up, the
// simulated cards' links show, brightness reaches the FPGA, and the panel
// hand-shake runs against a chip manager on a thread of its own.
TEST_F(FpgaTest, TheManagersThreadRunsTheHostBoxAndTheHandShake)
{
    fpga_manage* m = fpga_manage::pInstance();
    m->initialize_start();
    // Both FPGAs were let out of reset through the SoC window's pads.
    EXPECT_EQ(window->read16(fpga::kPadRstFpga0), fpga::kRstRun);
    EXPECT_EQ(window->read16(fpga::kPadRstFpga1), fpga::kRstRun);
    ASSERT_TRUE(waitUntil([m] { return m->get_fpga_status() == 1; }));
    EXPECT_EQ(m->get_wlan_state(), 0x0003);
    ASSERT_TRUE(waitUntil([this] { return count(SYNC_LINK_STATE) == 1; }));
    {
        QMutexLocker lock(&Utils::_bri_set_mutex);
        store->ram_para.brightness = 55;
        m->bri_changed = 1;
    }
    EXPECT_TRUE(waitUntil([this, m] { return board->reg(0, reg::kBrightness) == 55 && m->bri_changed.load() == 0; }));

    // The chip manager's side: wait while the FPGA side sets the panel up,
    // then re-initialise the panel and hand back with 2.
    std::atomic<bool> chipDone{false};
    {
        QMutexLocker lock(&Utils::_led_para_init_mutex);
        g_set_led_para = 1;
        g_set_led_setup = 0;
    }
    std::thread chip([&] {
        while (g_set_led_para.load() == 1)
            std::this_thread::sleep_for(std::chrono::microseconds(10));
        QMutexLocker lock(&Utils::_led_para_init_mutex);
        g_set_led_para = 2;
        chipDone = true;
    });
    // The tick runs meanwhile.
    const bool handed = waitUntil([&] {
        ++G_timeTicks;
        return chipDone.load() && g_set_led_para.load() == 0 && m->rst_pending[0] == 1;
    });
    chip.join();
    ASSERT_TRUE(handed);
    ASSERT_TRUE(waitUntil([&] {
        ++G_timeTicks;
        return m->get_fpga_status() == 1;
    }));
    EXPECT_EQ(g_set_led_setup.load(), 0);
    EXPECT_EQ(board->resets(0), 1);
    EXPECT_EQ(board->resets(1), 0);
}

TEST_F(FpgaTest, PcCommandExpiresAfter80Ticks)
{
    manager();
    pc_cmd_time = G_timeTicks.load();
    pc_cmd_valid = 1;
    after(fpga_manage::kPcCmdTicks);
    EXPECT_EQ(pc_cmd_valid.load(), 1);
    after(1);
    EXPECT_EQ(pc_cmd_valid.load(), 0);
}

// ------------------------------------------------------------------ links and cards

TEST_F(FpgaTest, ALinkChangeRaisesChangeCode11Once)
{
    fpga_manage* m = manager();
    ASSERT_TRUE(bringUp());
    codes.clear();
    board->connectPort(5, 1);
    passes(3);
    EXPECT_EQ(count(SYNC_LINK_STATE), 1);
    EXPECT_EQ(m->get_wlan_state(), 0x0023);

    board->connectPort(12, 0);
    passes(1);
    EXPECT_EQ(m->get_wlan_state(), 0x1023);
    EXPECT_EQ(count(SYNC_LINK_STATE), 2);

    // Cut and plugged back between two looks: nothing changed for the pages.
    board->cutPort(5);
    board->connectPort(5, 1);
    passes(2);
    EXPECT_EQ(count(SYNC_LINK_STATE), 2);

    board->cutPort(0);
    passes(2);
    EXPECT_EQ(count(SYNC_LINK_STATE), 3);
    EXPECT_EQ(m->get_wlan_state(), 0x1022);
    EXPECT_EQ(codes.size(), 3u);  // no other code on the way
}

TEST_F(FpgaTest, TheCardSearchFindsTheChains)
{
    fpga_manage* m = manager();
    board->connectPort(3, 5);
    ASSERT_TRUE(bringUp());
    auto cycle = [this] {
        for (int i = 0; i < 4; ++i) {
            ticks(fpga_manage::kSearchTicks);
            passes(2);
        }
    };
    auto cards = [m] {
        std::vector<int> n;
        for (int port : {0, 1, 2, 3})
            n.push_back(m->port_cards[port].load());
        return n;
    };
    cycle();
    EXPECT_EQ(cards(), std::vector<int>({4, 2, 0, 5}));
    // Each search is one frame to every card of one port.
    const auto sent = board->sentFrames();
    ASSERT_FALSE(sent.empty());
    fpga::RcvHeader h;
    ASSERT_TRUE(fpga::rcvParse(sent.front().data(), static_cast<int>(sent.front().size()), &h));
    EXPECT_EQ(h.card, fpga::kCardAll);
    EXPECT_EQ(h.command, fpga::kRcvSearch);

    // A silent card in the middle still counts (the one behind it answers);
    // a silent last card does not.
    board->silenceCard(3, 2, true);
    board->silenceCard(0, 3, true);
    cycle();
    EXPECT_EQ(cards(), std::vector<int>({3, 2, 0, 5}));

    board->cutPort(3);
    passes(1);
    EXPECT_EQ(m->port_cards[3].load(), 0);
    cycle();
    EXPECT_EQ(cards(), std::vector<int>({3, 2, 0, 0}));
}

TEST_F(FpgaTest, AJobInTheRecordHoldsTheSearch)
{
    manager();
    ASSERT_TRUE(bringUp());
    auto searches = [this] {
        int n = 0;
        for (const auto& f : board->sentFrames())
            n += f[3] == fpga::kRcvSearch;
        return n;
    };
    board->clearSentFrames();
    g_send_para.post(SEND_SAVE_PARA);
    int periods = 0;
    while (g_send_para.cmd.load() != SEND_NONE && periods++ < 10)
        after(fpga_manage::kSearchTicks);
    EXPECT_GE(periods, 4);
    EXPECT_EQ(searches(), 0);
    after(fpga_manage::kSearchTicks);
    EXPECT_EQ(searches(), 1);
}

// (The cards' side of a pass-through, link by link, is in the link tests.)
TEST_F(FpgaTest, PassThroughRepliesGoToTheirLinkWhileTheSearchRests)
{
    fpga_manage* m = manager();
    std::vector<std::vector<u8>> udp, tcp;
    m->setPassbySink(fpga_manage::kLinkUdp, [&](const u8* f, int n) { udp.emplace_back(f, f + n); });
    m->setPassbySink(fpga_manage::kLinkTcp, [&](const u8* f, int n) { tcp.emplace_back(f, f + n); });
    u8 frame[fpga::kRcvMaxFrame];
    const u8 count[2] = {3, 0};
    const int len = fpga::rcvBuild(frame, {1, 0, fpga::kRcvRead, 16, 0}, count, 2);
    EXPECT_EQ(m->passbySend(fpga_manage::kLinkUdp, frame, len), fpga_manage::kPassbyNotReady);
    ASSERT_TRUE(bringUp());
    board->clearSentFrames();

    EXPECT_EQ(m->passbySend(fpga_manage::kLinkUdp, frame, len), fpga_manage::kPassbySent);
    EXPECT_EQ(g_passby_trans_port.load(), fpga_manage::kLinkUdp);
    passes(1);
    ASSERT_EQ(udp.size(), 1u);
    EXPECT_TRUE(tcp.empty());
    fpga::RcvHeader h;
    ASSERT_TRUE(fpga::rcvParse(udp[0].data(), static_cast<int>(udp[0].size()), &h));
    EXPECT_EQ(h.card, 1);
    EXPECT_EQ(h.command, fpga::kRcvRead);
    EXPECT_EQ(h.length, 3);

    // While the PC talks to the cards the box's own search rests.
    for (int i = 0; i < 5; ++i)
        after(fpga_manage::kSearchTicks / 5);
    EXPECT_EQ(board->sentFrames().size(), 1u);
    after(fpga_manage::kPassbyTicks);
    EXPECT_EQ(board->sentFrames().size(), 2u);

    // A frame with a wrong check byte goes nowhere.
    frame[len - 1] ^= 0x01;
    EXPECT_EQ(m->passbySend(fpga_manage::kLinkTcp, frame, len), fpga_manage::kPassbyBadFrame);
    EXPECT_EQ(m->passbySend(fpga_manage::kLinkTcp, nullptr, 0), fpga_manage::kPassbyBadFrame);
    EXPECT_EQ(board->sentFrames().size(), 2u);
}

// ------------------------------------------------------------------ odds and ends

TEST_F(FpgaTest, RecoveryReaderListsPlainFilesOfItsDirectories)
{
    fpga_manage* m = fpga_manage::pInstance();
    ASSERT_NE(m->rcv_recovery, nullptr);
    EXPECT_TRUE(platform::isDir("/data/rcvrecovery"));
    EXPECT_TRUE(platform::isDir("/data/smartmapping"));

    rcvRecovery r;
    writeBoxFile("/data/rcvrecovery/screen.rcv", "x");
    writeBoxFile("/data/rcvrecovery/.hidden", "x");
    platform::makeDirs("/data/rcvrecovery/sub");
    EXPECT_EQ(r.get_dir_file("/data/rcvrecovery"), 0);
    QStringList got = r.recoveryFiles();
    got.sort();
    EXPECT_EQ(got, (QStringList{".hidden", "screen.rcv"}));
    // A missing directory changes nothing; an unknown one lists nothing.
    EXPECT_EQ(r.get_dir_file("/mnt/usb1/"), 1);
    EXPECT_EQ(r.get_dir_file("/data/nowhere"), 1);
    EXPECT_EQ(r.get_dir_file("/data/configs"), 0);
    EXPECT_EQ(r.recoveryCount(), 2);

    // The box and the stick share the scan list.
    writeBoxFile("/mnt/usb1/a.ztfile", "x");
    EXPECT_EQ(r.get_dir_file("/mnt/usb1/"), 0);
    EXPECT_EQ(r.scanFiles(), QStringList{"a.ztfile"});
    EXPECT_EQ(r.get_dir_file("/data/smartmapping"), 0);
    EXPECT_TRUE(r.scanFiles().isEmpty());

    // Counts stop at 255 rather than wrap.
    for (int i = 0; i < 256; ++i)
        writeBoxFile("/data/smartmapping/s" + std::to_string(i), "");
    r.get_dir_file("/data/smartmapping");
    EXPECT_EQ(r.scanFiles().size(), 256);
    EXPECT_EQ(r.scanCount(), 255);
}

TEST_F(FpgaTest, ClockRecordLeavesItsFifthByteAlone)
{
    TimeRealType t;
    std::memset(&t, 0xAB, sizeof t);
    const platform::LocalTime before = platform::localNow();  // the C library's clock, 64-bit times on ARM too
    ASSERT_TRUE(before.known);
    EXPECT_EQ(fpga_manage::IT8563WE_Get(&t), 0);
    EXPECT_EQ(t.unset, 0xAB);
    EXPECT_GE(t.year, before.year);
    EXPECT_GE(t.month, 1);
    EXPECT_LE(t.month, 12);
    EXPECT_LE(t.hour, 23);
    EXPECT_LE(t.second, 60);
}
