// Service sequences and diagnostic dumps.
#include "tests/videochip/chip_test.h"

#include "app/utils.h"
#include "registers/x518_regs.h"

#include <algorithm>
#include <set>
#include <thread>

using x518::reg;

TEST_F(ManagerTest, TheCaptureShiftMovesByOneHundredEachTime)
{
    chip->setRegValue(reg(0x50, 0x17, 2), 300);
    m->write_read_x518_b80_iacthstch5(fd);
    m->write_read_x518_b80_iacthstch5(fd);
    EXPECT_EQ(chip->regValue(reg(0x50, 0x17, 2)), 500u);
}

TEST_F(ManagerTest, TestBarsAreDrawnAndRemovedChannelByChannel)
{
    m->output_slidebar(fd);
    EXPECT_EQ(chip->reg(0x08, 0x57), 9);
    EXPECT_EQ(chip->regValue(reg(0x18, 0x5B, 2)), 160u);
    EXPECT_EQ(chip->regValue(reg(0x28, 0x61, 2)), 1376u);
    EXPECT_EQ(chip->reg(0x18, 0x63), 255);
    EXPECT_EQ(chip->reg(0x18, 0x64), 0);
    EXPECT_EQ(chip->reg(0x38, 0x68), 3);
    m->input_slidebar(fd);
    EXPECT_EQ(chip->regValue(reg(0x48, 0x61, 2)), 2752u);
    EXPECT_EQ(chip->reg(0x58, 0x64), 255);
    m->disable_slidebar(fd);
    for (u8 bank : {0x08, 0x18, 0x28, 0x38, 0x48, 0x58})
        EXPECT_EQ(chip->reg(bank, 0x57), 0) << int(bank);
}

TEST_F(ManagerTest, ReceiverRestartsWriteTheirSequenceInOrder)
{
    chip->clearJournal();
    m->vbyone_rx_ch2_seq(fd);
    using E = SimX518::JournalEntry;
    const std::vector<E> expect = {
        {0x02, 0x7F, 13}, {0x02, 0x7F, 15}, {0x02, 0x5C, 5}, {0x02, 0x6B, 0xFF}, {0x02, 0x68, 0xAB}};
    EXPECT_EQ(chip->journal(), expect);
    chip->clearJournal();
    m->read_x518_b174bug(fd);
    for (const auto& e : chip->journal())
        EXPECT_EQ(e.bank, 0x00) << "only the measurement hold may be written";
}

TEST_F(ManagerTest, TheFullListingKeepsItsCountsAndOrderAndShowsTheRegistersByName)
{
    const auto& list = x518_manage::x518_print_list();
    ASSERT_EQ(list.size(), 7967u);
    int widths[5] = {};
    u32 bytes = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        const auto& b = list[i];
        ASSERT_TRUE(b.width >= 1 && b.width <= 4) << i;
        ++widths[b.width];
        bytes += b.width;
        ASSERT_LE(b.address + b.width, 0x80) << i;
        if (b.bank != 0xFF) {
            ASSERT_GE(b.address, 0x08) << i;
        }
        if (i > 0) {
            const auto& a = list[i - 1];
            ASSERT_TRUE(b.bank > a.bank || (b.bank == a.bank && b.address >= a.address + a.width)) << i;
        }
    }
    EXPECT_EQ(widths[1], 5271);
    EXPECT_EQ(widths[2], 2246);
    EXPECT_EQ(widths[3], 119);
    EXPECT_EQ(widths[4], 331);
    auto spec = [](const X518_REG_ENTRY& e) { return reg(e.bank, e.address, e.width); };
    EXPECT_EQ(spec(list[0]), reg(0x00, 0x08, 1));
    EXPECT_EQ(spec(list[2]), reg(0x00, 0x0A, 1));
    const size_t n = list.size();
    EXPECT_EQ(spec(list[n - 5]), reg(0xFF, 0x01, 1));
    EXPECT_EQ(spec(list[n - 1]), reg(0xFF, 0x05, 3));
    // Every register of the map at its own width: identity, lock, panel, windows ...
    std::set<u32> listed;
    for (const X518_REG_ENTRY& e : list)
        listed.insert(spec(e));
    x518::forEachMappedRegister([&](u8 bank, u8 address, u8 width) {
        EXPECT_TRUE(listed.count(reg(bank, address, width))) << std::hex << reg(bank, address, width);
    });

    chip->resetCounters();
    testing::internal::CaptureStdout();
    m->x518_print();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(chip->counters().reads, bytes);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 7967);
    EXPECT_EQ(out.substr(0, 17), "000801  00000000h");
    EXPECT_NE(out.find("\nB20801  00000024h\n"), std::string::npos);
}

// The chip sees no register access outside the register map the listing is
// built from: the bring-up, the input checks, the service sequences, the
// dumps, the serial flash and the OSD redraw.
TEST_F(RunningChipTest, EveryRegisterTheProgramTouchesIsInTheRegisterMap)
{
    chip->setTracing(true);
    m->init_state = 0;  // a restart re-runs the whole bring-up
    for (int i = 0; i < 8 && m->init_state < x518_manage::kRunningState; ++i)
        m->runPass();
    platform::sim::plugSource(0, platform::sim::SourceTiming::p1080_60());
    platform::sim::SourceTiming vbo = platform::sim::SourceTiming::p1080_60();
    vbo.lanes = 8;
    platform::sim::plugSource(3, vbo);
    inputsUp();
    poll();
    watchPorts();
    for (int p = 0; p < x518_manage::kPorts; ++p)
        m->ports.port_status[p] = 0x80;  // probe every port for loss of signal
    m->check_port_valid(fd);

    testing::internal::CaptureStdout();
    for (int k = 0; k < 2; ++k) {
        m->set_VBORXfrange(fd, k, 148500000.0f, 1);
        m->set_VBOInput(fd, k);
        m->set_sypol(fd, 1, k);
    }
    m->set_sypol(fd, 0, 3);
    for (int c = 0; c < x518_manage::kChannels; ++c) {
        m->set_input_bkg(fd, c % x518_manage::kPorts, 1);
        m->set_idual(fd, c, 1, 4);
        m->wait1_pivs(fd, c);
        m->wait_ifld_change(fd, c);
        m->wait_ofld_change(fd, c);
    }
    for (int w = 0; w < x518_manage::kWindows; ++w)
        m->set_input_bkg2(fd, w, 1);
    m->set_pict(fd, 1, 3);
    for (u32 w = 0; w < x518_manage::kWindows; ++w)
        m->set_ichsel(fd, w);
    // The picture-processing chain, every block on, progressive and interlaced.
    X518InputPorts& pt = m->ports;
    pt.PM_HNR[2] = pt.PM_VNR[2] = pt.PM_TNR[2] = pt.PM_BNR[2] = pt.PM_MNR[2] = pt.PM_COMB[2] = 1;
    pt.PI_ACT[2][3] = 1080;
    m->model.PM_INPUT[0] = 2;
    for (int state : {4, 5}) {
        pt.PI_STATE[2] = state;
        pt.PI_SCAN_MODE[2] = state == 5;
        for (int c = 0; c < x518_manage::kChannels; ++c) {
            m->ich.ich_win[c] = 0;
            m->rebuildWinIch();
            m->set_ip(fd, c);
            m->set_lut_hshrnk(fd, 30000, u32(c), 1);
            m->set_lut_vshrnk_4sym(fd, 30000, u32(c), 1);
        }
        m->set_mct(fd, 0, 0);
        m->set_iscwct(fd, 0);
    }
    // Sharpness, patterns, the forced colour and the freeze on a window
    // shown by all eight output channels.
    ST_WIN_INFO& w0 = m->model.win_info[0];
    for (int c = 0; c < x518_manage::kChannels; ++c)
        w0.och[c] = u8(c);
    w0.h_cnt = 8;
    w0.v_cnt = 1;
    m->model.wincnt = 1;
    x518_manage::x518_SetSharpness(20);
    x518_manage::x518_SetPattern(18);
    x518_manage::x518_SetPattern(0);
    m->kelApi_forceColorDisable(fd);
    m->win_freeze_sel(fd, 0, 2);
    m->input_slidebar(fd);
    m->output_slidebar(fd);
    m->disable_slidebar(fd);
    m->vbyone_rx_ch1_seq(fd);
    m->vbyone_rx_ch2_seq(fd);
    m->read_x518_b174bug(fd);
    m->write_read_x518_b80_iacthstch5(fd);
    m->sync_x518_device_test_input(fd);
    m->sync_x518_device_test_frame_lock(fd);
    m->kelDbg_x518_print_regGrp(0);
    for (int g : {6, 8, 9})
        m->kelDbg_x518_param(g);
    m->x518_outputTimmingCtrlReg(0, 0);
    char page[300] = {};
    m->erase_flash(fd, 0, 1, x518_manage::kErase4K);
    m->write_flash(fd, 0, sizeof page, page);
    m->read_flash(fd, 0, sizeof page, page);
    for (int kind : {0, 1, 4})
        m->osd_write_dma_sfl(fd, 0, 0, kind, 16);
    m->load_fonts(fd);
    wchar_t line[1][128] = {{L'A'}};
    int one = 1;
    m->kelApi_OsdSetUnicode(1, &one, line);
    for (int textMode : {1, 0}) {
        m->osd.PM_OSD_DATA_MODE = textMode;
        m->update_osd(fd);
    }
    testing::internal::GetCapturedStdout();

    std::vector<bool> mapped(256 * 128);
    x518::forEachMappedRegister([&](u8 bank, u8 address, u8 width) {
        for (int i = 0; i < width; ++i)
            mapped[bank * 128 + address + i] = true;
    });
    // Two bank selects in a row are a write of register 0 of the bank the
    // first selected (the clock generator's FF:00): the driver goes on
    // addressing that bank.
    std::set<std::pair<int, int>> missing;
    int bank = -1;
    bool lastWasSelect = false, clockSeen = false;
    for (const SimX518::Transfer& t : chip->trace()) {
        if (t.bankSelect()) {
            if (!lastWasSelect)
                bank = t.tx[1];
            clockSeen = clockSeen || bank == 0xFF;
            lastWasSelect = true;
            continue;
        }
        lastWasSelect = false;
        if (bank < 0 || !mapped[bank * 128 + t.address()])
            missing.insert({bank, t.address()});
    }
    EXPECT_TRUE(clockSeen) << "the initial load was traced";
    for (const auto& [b, a] : missing)
        ADD_FAILURE() << std::hex << "register " << b << ":" << a << " is touched but not in the register map";
}

TEST_F(ManagerTest, ParameterGroupsPrintTheirNameAndOnlyKnownGroupsDoMore)
{
    loadModel();
    testing::internal::CaptureStdout();
    m->kelDbg_x518_param(13);
    m->kelDbg_x518_param(14);  // group 0 again
    m->kelDbg_x518_print_regGrp(3);
    m->kelDbg_x518_param(5);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("[kelDbg_x518_param] none\n[kelDbg_x518_param] x518_param\n<<===OCH SPEC"), std::string::npos);
    EXPECT_NE(out.find("not found valid grp"), std::string::npos);
    EXPECT_NE(out.find("PI_HDMI_INFO[5] -- IT6807 - Nosignal"), std::string::npos);

    chip->clearJournal();
    m->kelDbg_x518_param(6);  // white background on every output channel
    for (int k = 0; k < x518_manage::kChannels; ++k) {
        EXPECT_EQ(chip->regValue(reg(0x08, 0x49, 3), 16u * k), 0xFFFFFFu);
        EXPECT_EQ(chip->regValue(reg(0x08, 0x48, 1), 16u * k), 1u);
    }
}

TEST_F(ManagerTest, TheHdmi20DumpRewritesItsRecordUnderTheRecordLock)
{
    tamixsource* src = tamixsource::pInstance();
    ASSERT_GE(src->openBus(), 0);
    platform::sim::SourceTiming t = platform::sim::SourceTiming::p1080_60();
    t.clockDoubled = true;
    t.hactive = 960;
    t.hsync = 22;
    t.hback = 74;
    t.htotal = 1100;
    platform::sim::plugSource(3, t);
    RX_TIMING reading;
    ASSERT_TRUE(src->receiver[3]->read(reading));

    std::thread dump;
    {
        QMutexLocker lock(&Utils::_source_hdminfo_mutex);
        dump = std::thread([this] {
            testing::internal::CaptureStdout();
            m->kelDbg_x518_param(10);
            testing::internal::GetCapturedStdout();
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(src->hdminfo_6805.Hact, 0);  // waits for the lock
    }
    dump.join();
    QMutexLocker lock(&Utils::_source_hdminfo_mutex);
    EXPECT_EQ(src->hdminfo_6805.Hact, 1920);  // doubled back
    EXPECT_EQ(src->hdminfo_6805.Htotal, 2200);
    EXPECT_EQ(src->hdminfo_6805.Vact, 1080);
    EXPECT_FLOAT_EQ(src->hdminfo_6805.pfreq, 74.25f);  // the driver's kHz / 1000
    EXPECT_EQ(src->hdminfo_6805.nosignal, 0);
}
