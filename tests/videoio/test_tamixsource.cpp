// The input-source manager: power-up, timing records, input status,
// EDID rewrites and checks, register-image requests and the indicator.
#include "tests/videoio/input_test.h"

#include "app/config_engine.h"

#include <cstring>

namespace {

constexpr int kHdmi1 = 1, kHdmi2 = 2, kHdmi3 = 3, kDvi = 0;

}  // namespace

TEST_F(InputTest, PowerUpWaitsForTheTickThenFindsTheDevicesAndRaisesHotPlug)
{
    store->reg_image.chip_flags = 0x80;
    store->reg_image.edid_flags = 0x10;
    platform::sim::receiver(kHdmi2)->setSilent(true);
    bus->detach(tamix::eepromAddress(kDvi));
    for (int p : {kHdmi1, kHdmi2, kHdmi3})
        platform::sim::edidEeprom(p)->load(edidFor(1920, 1080, 60));
    // The tick stands still during start-up: nothing is touched meanwhile.
    for (int i = 0; i < 50; ++i)
        src->runPass();
    EXPECT_EQ(src->sourceState(), tamixsource::kPowerWait);
    EXPECT_EQ(bus->counters().calls, 0u);
    ticks(tamixsource::kPowerUpTicks - 1);
    src->runPass();
    EXPECT_EQ(src->sourceState(), tamixsource::kPowerWait);
    ticks(1);
    src->runPass();
    src->runPass();                                       // probe
    EXPECT_EQ(store->reg_image.chip_flags, 0x80 | 0x0B);  // every receiver but HDMI2's
    EXPECT_EQ(store->reg_image.edid_flags, 0x10 | 0x0E);  // every EEPROM but the DVI port's
    EXPECT_FALSE(platform::sim::receiver(kHdmi1)->hotPlug());
    src->runPass();  // no EDID check asked for
    EXPECT_EQ(src->sourceState(), tamixsource::kRunning);
    for (int s : {kDvi, kHdmi1, kHdmi3})
        EXPECT_TRUE(platform::sim::receiver(s)->hotPlug()) << s;
}

TEST_F(InputTest, TheLiveInputIsPublishedAndReportedOnceItHasSettled)
{
    QSignalSpy codes(store, &KelRamPara::sig_update_para);
    powerUp();
    src->runPass();  // first poll
    ST_HDMI_INFO r = record(kHdmi1);
    EXPECT_EQ(r.changed, 1);
    EXPECT_EQ(r.nosignal, 0);
    EXPECT_EQ(r.Hact, 1920);
    EXPECT_EQ(r.Vact, 1080);
    EXPECT_EQ(r.Htotal, 2200);
    EXPECT_EQ(r.Vtotal, 1125);
    EXPECT_EQ(r.Hsync + r.Hback, 192);
    EXPECT_FLOAT_EQ(r.pfreq, 148500000.0f);
    EXPECT_EQ(r.ip, 0);
    for (int s : {kDvi, kHdmi2, kHdmi3})
        EXPECT_EQ(record(s).changed, 0) << s;  // never had a signal: nothing for the chip to look at

    EXPECT_EQ(status(kHdmi1).width, 0);
    ticks(tamixsource::kReportTicks);
    src->runPass();
    EXPECT_EQ(reported(kHdmi1), (std::array<int, 3>{1920, 1080, 60}));
    ASSERT_EQ(codes.count(), 1);
    EXPECT_EQ(codes.at(0).at(0).toInt(), SYNC_INPUT_TIMING);
    pollAndReport();
    EXPECT_EQ(codes.count(), 1);  // nothing changed, nothing announced
}

TEST_F(InputTest, AShownInputIsReportedOnlyOnceTheChipHasProgrammedItsWindows)
{
    store->ram_para.image[0].enable = ram::kImageShown;
    store->ram_para.image[0].source = kHdmi2;
    g_x518_source_online = 0;
    powerUp();
    platform::sim::plugSource(kHdmi2, SourceTiming::p720_60());
    pollAndReport();
    EXPECT_EQ(record(kHdmi2).Hact, 1280);
    EXPECT_EQ(status(kHdmi2).width, 0);
    g_x518_source_online = 1;
    src->runPass();
    EXPECT_EQ(reported(kHdmi2), (std::array<int, 3>{1280, 720, 60}));
}

TEST_F(InputTest, ASignalChangedLostAndRegainedReachesRecordAndStatus)
{
    QSignalSpy codes(store, &KelRamPara::sig_update_para);
    powerUp();
    pollAndReport();
    codes.clear();

    platform::sim::plugSource(kHdmi1, SourceTiming::i1080_50());
    pollAndReport();
    ST_HDMI_INFO r = record(kHdmi1);
    EXPECT_EQ(r.ip, 1);
    EXPECT_EQ(r.Vact, 540);
    EXPECT_EQ(r.Vtotal, 562);
    EXPECT_EQ(reported(kHdmi1), (std::array<int, 3>{1920, 1080, 50}));  // a frame of two fields

    platform::sim::pullSource(kHdmi1);
    pollAndReport();
    r = record(kHdmi1);
    EXPECT_EQ(r.nosignal, 1);
    EXPECT_EQ(r.changed, 1);  // the loss is a change the chip must see
    EXPECT_EQ(r.Hact, 0);
    EXPECT_EQ(reported(kHdmi1), (std::array<int, 3>{0, 0, 0}));

    platform::sim::plugSource(kHdmi1, SourceTiming::p1080_60());
    pollAndReport();
    EXPECT_EQ(record(kHdmi1).nosignal, 0);
    EXPECT_EQ(status(kHdmi1).width, 1920);
    EXPECT_EQ(codes.count(), 3);
    for (const auto& c : codes)
        EXPECT_EQ(c.at(0).toInt(), SYNC_INPUT_TIMING);
}

TEST_F(InputTest, InputsOutsideTheMaskAreNotPolledAndADeadReceiverMeansNoSignal)
{
    src->check_source = 0x0D;  // HDMI1 left out
    powerUp();
    platform::sim::plugSource(kHdmi3, SourceTiming::p1080_60());
    pollAndReport();
    EXPECT_EQ(record(kHdmi1).changed, 0);
    EXPECT_EQ(bus->countersOf(tamix::receiverAddress(kHdmi1)).bytesRead, 2u);  // its identity at power-up only
    EXPECT_EQ(record(kHdmi3).Hact, 1920);

    platform::sim::receiver(kHdmi3)->setSilent(true);
    pollAndReport();
    EXPECT_EQ(record(kHdmi3).nosignal, 1);
    EXPECT_EQ(status(kHdmi3).width, 0);
    platform::sim::receiver(kHdmi3)->setSilent(false);  // back, with the same timing as before
    pollAndReport();
    EXPECT_EQ(record(kHdmi3).nosignal, 0);
    EXPECT_EQ(status(kHdmi3).width, 1920);
}

TEST_F(InputTest, TheOneTimeCheckRepairsTheEepromsAndIsNotRunAgain)
{
    ConfigEngine* cfg = ConfigEngine::pInstance();
    ASSERT_EQ(cfg->read_config_variant(ConfigItem::EDIDCheck).toString(), "Once");
    store->ram_para.edid[kHdmi2] = EDID_PARA{1280, 720, 60};
    platform::sim::edidEeprom(kHdmi1)->load(edidFor(1920, 1080, 60));  // already in order
    bus->detach(tamix::eepromAddress(kHdmi3));
    store->reg_image.edid_flags = 0x1F;

    powerUp();
    EXPECT_EQ(eeprom(kDvi), edidFor(1920, 1080, 60));
    EXPECT_EQ(eeprom(kHdmi2), edidFor(1280, 720, 60));
    EXPECT_EQ(platform::sim::edidEeprom(kHdmi1)->dataWrites(), 0u);
    EXPECT_EQ(store->reg_image.edid_flags, 0x17);  // HDMI3's EEPROM does not answer
    EXPECT_EQ(cfg->read_config_variant(ConfigItem::EDIDCheck).toString(), "Never");
    EXPECT_NE(readBoxFile(ConfigEngine::kSettingsFile).find("EDIDCheck=Never"), std::string::npos);
    EXPECT_EQ(settingsRead(g_check_edid), "Never");
}

TEST_F(InputTest, AnEepromThatTakesNoWriteIsNeitherDoneNorReportedGoodAfterARestart)
{
    ConfigEngine* cfg = ConfigEngine::pInstance();
    platform::sim::edidEeprom(kHdmi2)->setWriteProtected(true);  // blank, and stays so
    auto restart = [&] {
        src->stopThread();
        delete tamixsource::p_tamix_source;
        tamixsource::p_tamix_source = nullptr;
        src = tamixsource::pInstance();
        ASSERT_GE(src->openBus(), 0);
        store->reg_image.edid_flags = ram::kRegEdidFlagsStart;
    };

    powerUp();
    EXPECT_EQ(store->reg_image.edid_flags & 0x0F, 0x0B);
    EXPECT_EQ(eeprom(kHdmi1), edidFor(1920, 1080, 60));
    EXPECT_EQ(cfg->read_config_variant(ConfigItem::EDIDCheck).toString(), "Once");  // not done

    // Checked again at the next start, and still not reported good.
    restart();
    powerUp();
    EXPECT_EQ(store->reg_image.edid_flags & 0x0F, 0x0B);
    EXPECT_EQ(cfg->read_config_variant(ConfigItem::EDIDCheck).toString(), "Once");

    // Once it takes its EDID the check is done; a later start finds it good
    // without checking.
    platform::sim::edidEeprom(kHdmi2)->setWriteProtected(false);
    restart();
    powerUp();
    EXPECT_EQ(eeprom(kHdmi2), edidFor(1920, 1080, 60));
    EXPECT_EQ(store->reg_image.edid_flags & 0x0F, 0x0F);
    EXPECT_EQ(cfg->read_config_variant(ConfigItem::EDIDCheck).toString(), "Never");
    restart();
    powerUp();
    EXPECT_EQ(store->reg_image.edid_flags & 0x0F, 0x0F);
}

TEST_F(InputTest, ARewriteRequestRewritesExactlyThatPortsEeprom)
{
    powerUp();
    store->ram_para.edid[kHdmi2] = EDID_PARA{3840, 2160, 30};
    src->edid_rewrite_req[kHdmi2] = 1;
    src->runPass();
    EXPECT_EQ(src->edid_rewrite_req[kHdmi2], 0);
    EXPECT_EQ(src->edid_rewrite_done[kHdmi2], 1);
    EXPECT_EQ(eeprom(kHdmi2), edidFor(3840, 2160, 30));
    for (int p : {kDvi, kHdmi1, kHdmi3})
        EXPECT_EQ(platform::sim::edidEeprom(p)->dataWrites(), 0u) << p;
    EXPECT_EQ(platform::sim::edidEeprom(kHdmi2)->dataWrites(), uint64_t(tamix::kEdidSize / tamix::kEepromPage));
    EXPECT_TRUE(platform::sim::receiver(kHdmi2)->hotPlug());  // back up for the source to read it
    EXPECT_TRUE(store->reg_image.edid_flags & (1u << kHdmi2));
}

TEST_F(InputTest, AnEepromThatKeepsOldDataIsReportedAndLeavesTheUploadWaitingAndADamagedOneIsDropped)
{
    powerUp();
    writeBoxFile(tamixsource::edidRamTablePath(kDvi),
                 std::string(reinterpret_cast<const char*>(edidFor(1280, 1024, 60).data()), tamix::kEdidSize));
    edid_ram_table_from[kDvi] = 1;
    platform::sim::edidEeprom(kDvi)->setWriteProtected(true);
    src->edid_rewrite_req[kDvi] = 1;
    src->runPass();
    EXPECT_FALSE(store->reg_image.edid_flags & 1u);
    EXPECT_EQ(edid_ram_table_from[kDvi], 1);  // still waits to be written

    platform::sim::edidEeprom(kDvi)->setWriteProtected(false);
    src->edid_rewrite_req[kDvi] = 1;
    src->runPass();
    EXPECT_EQ(eeprom(kDvi), edidFor(1280, 1024, 60));  // the uploaded EDID, not the parameters'
    EXPECT_EQ(edid_ram_table_from[kDvi], 0);
    EXPECT_TRUE(store->reg_image.edid_flags & 1u);

    // A damaged upload falls back to the port's parameters.
    auto bad = edidFor(1280, 720, 60);
    bad[20] ^= 0xFF;  // checksum broken
    writeBoxFile(tamixsource::edidRamTablePath(kHdmi3), std::string(bad.begin(), bad.end()));
    edid_ram_table_from[kHdmi3] = 1;
    src->edid_rewrite_req[kHdmi3] = 1;
    src->runPass();
    EXPECT_EQ(eeprom(kHdmi3), edidFor(1920, 1080, 60));
    EXPECT_EQ(edid_ram_table_from[kHdmi3], 0);
}

TEST_F(InputTest, RegisterZeroRestartsTheHdmi20ReceiverAndPulsesItsHotPlug)
{
    powerUp();
    auto rx3 = platform::sim::receiver(kHdmi3);
    store->reg_image.input_hpd_request = tamixsource::kRequestRestart | tamixsource::kRequestHotPlug;
    src->runPass();
    EXPECT_EQ(store->reg_image.input_hpd_request, 0);
    EXPECT_EQ(rx3->resets(), 1);
    EXPECT_FALSE(rx3->hotPlug());
    ticks(tamixsource::kHotPlugLowTicks - 1);
    src->runPass();
    EXPECT_FALSE(rx3->hotPlug());
    ticks(1);
    src->runPass();
    EXPECT_TRUE(rx3->hotPlug());
    EXPECT_EQ(platform::sim::receiver(kHdmi1)->resets(), 0);
}

TEST_F(InputTest, TheIndicatorFollowsTheAudioWindowsInputAndNeverANonInput)
{
    store->ram_para.audio_image = 1;
    store->ram_para.image[1].source = kHdmi3;
    powerUp();
    src->runPass();  // the power-up asks for a refresh
    EXPECT_TRUE(platform::sim::receiver(kHdmi3)->selected());

    // A crop of HDMI2.
    store->ram_para.crop_list[7].key = ram::kCropInUse | kHdmi2;
    store->ram_para.image[1].source = ram::kSourceIsCrop | 7;
    src->indicator_refresh = 1;
    src->runPass();
    EXPECT_TRUE(platform::sim::receiver(kHdmi2)->selected());
    EXPECT_FALSE(platform::sim::receiver(kHdmi3)->selected());
    EXPECT_EQ(src->indicator_refresh, 0);

    // Source 5 from a protocol write: no input lights up.
    store->ram_para.image[1].source = 5;
    src->indicator_refresh = 1;
    src->runPass();
    for (int s = 0; s < tamixsource::kSources; ++s)
        EXPECT_FALSE(platform::sim::receiver(s)->selected()) << s;
}

TEST_F(InputTest, ThePollingThreadPowersUpOnTheTickAndFollowsAPlug)
{
    ConfigEngine::pInstance()->write_config_variant(ConfigItem::EDIDCheck, QString("Never"));
    ASSERT_EQ(settingsRead(g_check_source), 0xFF);  // every input, as the settings file has it
    ASSERT_EQ(src->initialize(), 0);
    EXPECT_TRUE(platform::isDir(tamixsource::kEdidRamTableDir));
    ASSERT_TRUE(waitUntil([&] {
        ticks(1);
        return src->sourceState() == tamixsource::kRunning;
    }));
    platform::sim::plugSource(kDvi, SourceTiming::p1080_50());
    ASSERT_TRUE(waitUntil([&] {
        ticks(1);
        return status(kDvi).rate == 50;
    }));
    EXPECT_EQ(status(kDvi).width, 1920);
    // The check set to Never left the EEPROMs alone.
    for (int p = 0; p < tamixsource::kSources; ++p)
        EXPECT_EQ(platform::sim::edidEeprom(p)->dataWrites(), 0u) << p;
}
