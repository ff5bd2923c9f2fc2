// The apply dispatcher: what a flagged pass hands on, what it announces, the
// register-image requests, and that no raised change is ever lost.
#include "tests/videochip/chip_test.h"

#include "app/syncupdate.h"
#include "app/utils.h"
#include "fpga/fpga_manage.h"

#include <QSignalSpy>
#include <thread>

namespace {

class ApplyTest : public RunningChipTest {
protected:
    void SetUp() override
    {
        RunningChipTest::SetUp();
        fpga = fpga_manage::pInstance();
        fpga->bri_changed = 0;
        fpga->output_changed = 0;
        codes = std::make_unique<QSignalSpy>(store, &KelRamPara::sig_update_para);
    }
    void pass() { m->runPass(); }
    // What the change notifier does when a code arrives (without pages).
    void notify() { SyncUpdate::pInstance()->para_sync(SYNC_PARA_CHANGED); }

    fpga_manage* fpga = nullptr;
    std::unique_ptr<QSignalSpy> codes;
};

}  // namespace

TEST_F(ApplyTest, NothingIsAppliedWithoutTheFlagAndEverythingStillDifferentWithIt)
{
    live().brightness = 33;
    pass();
    EXPECT_EQ(fpga->bri_changed, 0);
    EXPECT_EQ(codes->count(), 0);
    write([](KEL_RAM_PARA& b) { b.led_off = 1; });
    pass();
    EXPECT_EQ(fpga->bri_changed, 1);  // the earlier edit, still pending, goes too
    EXPECT_EQ(fpga->output_changed, 1);
    ASSERT_EQ(codes->count(), 1);
    EXPECT_EQ(codes->at(0).at(0).toInt(), SYNC_PARA_CHANGED);
    EXPECT_EQ(x518_manage::apply_flag, 0);
    // Applied once: a later pass for something else does not hand it on again.
    fpga->bri_changed = fpga->output_changed = 0;
    write([](KEL_RAM_PARA& b) { b.brightness = 12; });
    pass();
    EXPECT_EQ(fpga->bri_changed, 1);
    EXPECT_EQ(fpga->output_changed, 0);
    fpga->bri_changed = 0;
    write([](KEL_RAM_PARA& b) { b.contrast = 70; });
    pass();
    EXPECT_EQ(fpga->bri_changed, 0);
}

TEST_F(ApplyTest, OnePassAnnouncesOneChangeCodeWhateverChanged)
{
    write([](KEL_RAM_PARA& b) {
        b.brightness = 10;
        b.contrast = 40;
        b.color_temp_r = 3;
        b.led_off = 1;
        b.image_priority[2] = 5;
        b.seamless_para[1].para0 = 90;
        b.image[3].mirror = 1;
        b.edid[2].rate = 50;
        b.osd_enable = 1;
    });
    pass();
    EXPECT_EQ(codes->count(), 1);
    EXPECT_EQ(m->model.PM_WIN_FADE_IN[1], 90);
    EXPECT_EQ(src->edid_rewrite_req[2], 1);
    EXPECT_EQ(g_osd_update, 0);  // asked for and served in the same pass
    pass();
    pass();
    EXPECT_EQ(codes->count(), 1);  // nothing raised, nothing announced

    write([](KEL_RAM_PARA& b) { b.sharpness = 9; }, 2);
    pass();
    ASSERT_EQ(codes->count(), 2);
    EXPECT_EQ(codes->at(1).at(0).toInt(), SYNC_MODE_FILES);
}

TEST_F(ApplyTest, OnePassRequestsEveryChangedEdidPortAndNeverRaisesItselfAgain)
{
    write([](KEL_RAM_PARA& b) {
        b.edid[4].width = 1280;
        b.edid[5].rate = 30;
    });
    pass();
    for (int p = 0; p < tamixsource::kSources; ++p)
        EXPECT_EQ(src->edid_rewrite_req[p], 0) << p;

    // An uploaded EDID waits on port 0; ports 1 and 3 change.
    edid_ram_table_from[0] = 1;
    src->edid_rewrite_done[1] = 1;
    write([](KEL_RAM_PARA& b) {
        b.edid[1].height = 720;
        b.edid[3].width = 1280;
    });
    pass();
    for (int p : {0, 1, 3})
        EXPECT_EQ(src->edid_rewrite_req[p], 1) << p;
    EXPECT_EQ(src->edid_rewrite_req[2], 0);
    EXPECT_EQ(src->edid_rewrite_done[1], 0);
    EXPECT_EQ(x518_manage::apply_flag, 0);
    pass();
    EXPECT_EQ(codes->count(), 2);  // the waiting upload brings no pass of its own
    edid_ram_table_from[0] = 0;
}

TEST_F(ApplyTest, SourceChangesSetTheInputAndRefuseACropBeyondTheList)
{
    clearInputChanges();
    write([](KEL_RAM_PARA& b) { b.image[3].source = 1; });  // HDMI1 enters on port 1
    pass();
    EXPECT_EQ(m->model.PM_INPUT[3], 1);
    ASSERT_GE(m->ich.win_ich[3][0], 0);
    EXPECT_EQ(chip->reg(0x00, u8(0x10 + m->ich.win_ich[3][0])), 2);  // its channel captures port 1

    write([](KEL_RAM_PARA& b) {
        b.crop_list[39] = {u16(ram::kCropInUse | 2), 800, 100, 1500, 500};  // wider than its input
        b.image[3].source = ram::kSourceIsCrop | 39;                        // a crop of HDMI2 (port 0)
    });
    pass();
    EXPECT_EQ(m->model.PM_INPUT[3], 0);
    EXPECT_EQ(m->model.win_info[3].crop, 39);
    // Clamped for the chip only: the stored crop keeps what the user set.
    EXPECT_EQ(live().crop_list[39].x, 800);
    EXPECT_EQ(live().crop_list[39].w, 1500);

    // No crop record 40: the windows fall back to one over the canvas.
    write([](KEL_RAM_PARA& b) { b.image[3].source = ram::kSourceIsCrop | 40; });
    pass();
    EXPECT_EQ(m->model.default_env, 1);

    write([](KEL_RAM_PARA& b) { b.image[3].source = 0; });  // the crop dropped, DVI
    pass();
    EXPECT_EQ(m->model.PM_INPUT[3], 2);
}

TEST_F(ApplyTest, ALayoutChangeEndsTheWindowWalk)
{
    const i32 before = m->model.PM_INPUT[4];
    write([](KEL_RAM_PARA& b) {
        b.image[2].x = 100;
        b.image[4].source = 3;
    });
    pass();
    EXPECT_EQ(m->model.PM_INPUT[4], before);
    EXPECT_EQ(codes->count(), 1);
}

TEST_F(ApplyTest, OnlyTheAudioWindowsSourceRefreshesTheIndicator)
{
    write([](KEL_RAM_PARA& b) {
        b.audio_image = 2;
        b.image[1].source = 2;
        b.runtime_0[0] = 7;  // the run-time words and window 0's audio word
        b.image[0].audio = ram::kAudioOn;
    });
    pass();
    EXPECT_EQ(src->indicator_refresh, 0);
    write([](KEL_RAM_PARA& b) { b.image[2].source = 0; });
    pass();
    EXPECT_EQ(src->indicator_refresh, 1);
}

TEST_F(ApplyTest, RegisterImageRequestsReachTheChip)
{
    KEL_REG_IMAGE& r = store->reg_image;
    chip->clearJournal();
    write([&](KEL_RAM_PARA&) { r.reg_a2 = 0x41; });  // bars on inputs; the restart in bit 6 is lost
    pass();
    EXPECT_EQ(chip->reg(0x48, 0x57), 0x89);
    EXPECT_EQ(chip->reg(0x58, 0x57), 0x89);
    EXPECT_EQ(r.reg_a2, 0);
    EXPECT_EQ(m->init_state, x518_manage::kRunningState);

    write([&](KEL_RAM_PARA&) { r.reg_a2 = 0x04; });
    pass();
    EXPECT_EQ(chip->reg(0x48, 0x57), 0);

    testing::internal::CaptureStdout();
    write([&](KEL_RAM_PARA&) {
        r.reg_a3 = 1;
        r.reg_a4 = 1;
    });
    pass();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("[kelDbg_x518_param] x518_param"), std::string::npos);
    EXPECT_NE(out.find("<<===OCH SPEC"), std::string::npos);
    EXPECT_NE(out.find("[kelDbg_x518_print_regGrp] grp:0"), std::string::npos);
    EXPECT_EQ(r.reg_a3, 0);
    EXPECT_EQ(r.reg_a4, 0);

    write([&](KEL_RAM_PARA&) { r.reg_a5 = 0x02; });
    pass();
    for (int k = 0; k < x518_manage::kChannels; ++k)
        EXPECT_EQ(chip->regValue(x518::reg(0x08, 0x0C, 2), 16u * k), 5612u) << k;
    EXPECT_EQ(r.reg_a5, 0);
    write([&](KEL_RAM_PARA&) { r.reg_a5 = 0x01; });
    pass();
    EXPECT_EQ(chip->reg(0x00, 0x48), 0x89);
    EXPECT_EQ(writesTo(0x08, 0x0F).back(), 0);
    write([&](KEL_RAM_PARA&) { r.reg_a5 = 0x04; });
    pass();
    EXPECT_EQ(r.reg_a5, 0x04);  // no such request: left in place

    write([&](KEL_RAM_PARA&) { r.reg_a2 = 0x40; });
    pass();
    EXPECT_EQ(m->init_state, 0);  // the bring-up starts again
}

TEST_F(ApplyTest, TheWaitForTheFpgasLedSetUpIsBounded)
{
    g_set_led_para = 1;  // an FPGA side that never finishes
    m->led_para_wait_ms = 20;
    chip->clearJournal();
    write([](KEL_RAM_PARA& b) {
        b.led_width = 3840;
        b.splice_mode = 2;
    });
    pass();
    EXPECT_EQ(g_set_led_para, 2);
    EXPECT_EQ(codes->count(), 1);
    // One panel initialisation for the two fields: output 1 above output 2.
    EXPECT_EQ(writesTo(0x03, 0x5E).size(), 2u);
    EXPECT_EQ(live().och_num_h, 1);
    EXPECT_EQ(live().och_num_v, 2);
    EXPECT_EQ(live().och_w, 3840);

    // When the FPGA side finishes in time the pass goes on at once.
    g_set_led_para = 1;
    m->led_para_wait_ms = 60000;
    std::thread fpgaSide([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        QMutexLocker lock(&Utils::_led_para_init_mutex);
        g_set_led_para = 0;
    });
    write([](KEL_RAM_PARA& b) { b.led_height = 720; });
    pass();
    fpgaSide.join();
    EXPECT_EQ(g_set_led_para, 2);
}

// A writer that waits for the mutex while a pass runs gets it after the
// pass; the change notifier then copies live to shadow before the next
// pass. The write must still be applied.
TEST_F(ApplyTest, AWriteMadeDuringAPassIsNotLostToTheShadowCopy)
{
    std::thread writer;
    bool started = false;
    QObject::connect(
        store, &KelRamPara::sig_update_para, store,
        [&](int) {
            if (started)
                return;
            started = true;  // the pass holds the mutex here
            writer = std::thread([this] { write([](KEL_RAM_PARA& b) { b.brightness = 77; }); });
        },
        Qt::DirectConnection);
    write([](KEL_RAM_PARA& b) { b.contrast = 60; });
    pass();
    writer.join();
    ASSERT_EQ(live().brightness, 77);
    ASSERT_EQ(x518_manage::apply_flag, 1);
    notify();  // live -> shadow: the shadow now holds the unapplied brightness
    ASSERT_EQ(store->ram_para_shadow.brightness, 77);
    fpga->bri_changed = 0;
    pass();
    EXPECT_EQ(fpga->bri_changed, 1);
}

// A writer without the lock (as the protocol writes) that raises the flag
// while the pass runs: the pass must not clear its request.
TEST_F(ApplyTest, AFlagRaisedDuringAPassStartsAnotherPass)
{
    bool done = false;
    QObject::connect(
        store, &KelRamPara::sig_update_para, store,
        [&](int) {
            if (done)
                return;
            done = true;
            live().led_off = 1;
            x518_manage::apply_flag = 1;
        },
        Qt::DirectConnection);
    write([](KEL_RAM_PARA& b) { b.contrast = 61; });
    pass();
    EXPECT_EQ(x518_manage::apply_flag, 1);
    notify();
    pass();
    EXPECT_EQ(fpga->output_changed, 1);
    EXPECT_EQ(codes->count(), 2);
}
