// Service sequences and diagnostic dumps.
#include "tests/videochip/chip_test.h"

#include "app/utils.h"
#include "videochip/x518_regs.h"

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
    const std::vector<E> expect = {{0x02, 0x7F, 13}, {0x02, 0x7F, 15}, {0x02, 0x5C, 5}, {0x02, 0x6B, 0xFF},
                                   {0x02, 0x68, 0xAB}};
    EXPECT_EQ(chip->journal(), expect);
    chip->clearJournal();
    m->read_x518_b174bug(fd);
    for (const auto& e : chip->journal())
        EXPECT_EQ(e.bank, 0x00) << "only the measurement hold may be written";
}

TEST_F(ManagerTest, TheFullListingFollowsTheRegisterMapInOrder)
{
    const auto& list = x518_manage::x518_print_list();
    ASSERT_EQ(list.size(), 7967u);
    u32 bytes = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        bytes += list[i].width;
        if (i == 0)
            continue;
        const auto& a = list[i - 1];
        const auto& b = list[i];
        ASSERT_TRUE(b.bank > a.bank || (b.bank == a.bank && b.address >= a.address + a.width)) << i;
        ASSERT_LE(b.address + b.width, 0x80) << i;
    }
    EXPECT_EQ(bytes, 5271u + 2 * 2246 + 3 * 119 + 4 * 331);  // by width: 1, 2, 3 and 4 bytes
    EXPECT_EQ(list[0].address, 0x08);
    EXPECT_EQ(list[2].address, 0x0A);
    EXPECT_EQ(list[2].width, 1);
    EXPECT_EQ(list.back().bank, 0xFF);
    EXPECT_EQ(list.back().address, 0x05);
    EXPECT_EQ(list.back().width, 3);

    chip->resetCounters();
    testing::internal::CaptureStdout();
    m->x518_print();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(chip->counters().reads, bytes);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 7967);
    EXPECT_EQ(out.substr(0, 17), "000801  00000000h");
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
