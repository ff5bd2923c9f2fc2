// The parameter store: loading and recreating the parameter file, the
// start-up resets, language, crops and sources, protocol access and the
// user-mode files.
#include "app/kelrampara.h"
#include "tests/support/box_test.h"
#include "videochip/x518_manage.h"

#include <cstring>
#include <unistd.h>

namespace {

std::string defaultFileText()
{
    return std::string(reinterpret_cast<const char*>(ram::default_para_ramlist()), 4096);
}

// A valid parameter file holding `b`.
std::string paraFileOf(const KEL_RAM_PARA& b)
{
    std::string f = defaultFileText();
    std::memcpy(&f[2], reinterpret_cast<const char*>(&b) + 768, 3328);
    return f;
}

u16 cropKey(int source, int number)
{
    return static_cast<u16>(0x8000 | ((number - 1) << 8) | source);
}

}  // namespace

class Store : public BoxTest {
protected:
    void SetUp() override
    {
        BoxTest::SetUp();
        x518_manage::apply_flag = 0;
    }
    KelRamPara* start() { return KelRamPara::pInstance(); }
    // Starts the store again from the files, as after a reboot.
    KelRamPara* restart()
    {
        delete KelRamPara::p_kelrampara_config;
        KelRamPara::p_kelrampara_config = nullptr;
        return start();
    }
    bool liveEqualsShadow(KelRamPara* s) { return std::memcmp(&s->ram_para, &s->ram_para_shadow, 4096) == 0; }
    // The saved range of the live block holds the default table (with the
    // fade times every start sets).
    bool savedIsDefault(KelRamPara* s)
    {
        KEL_RAM_PARA d = ram::defaultBlock();
        for (SEAMLESS_PARA& sp : d.seamless_para)
            sp.para0 = sp.para1 = 60;
        const auto* live = reinterpret_cast<const u8*>(&s->ram_para);
        const auto* defaults = reinterpret_cast<const u8*>(&d);
        return std::memcmp(live + ram::kSavedStart, defaults + ram::kSavedStart, ram::kSavedSize) == 0;
    }
    void addCrop(KelRamPara* s, int index, int source, int number)
    {
        s->ram_para.crop_list[index].key = cropKey(source, number);
    }
};

// ---------------------------------------------------------------- the parameter file

TEST_F(Store, FreshBoxCreatesTheDefaultFileAndStartsOnIt)
{
    ASSERT_FALSE(platform::exists(KelRamPara::kParaFile));
    KelRamPara* s = start();
    EXPECT_EQ(KelRamPara::p_kelrampara_config, s);
    EXPECT_EQ(readBoxFile(KelRamPara::kParaFile), defaultFileText());
    EXPECT_TRUE(savedIsDefault(s));
    EXPECT_TRUE(liveEqualsShadow(s));
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(s->KelUserModeSaved(i), 0) << i;

    // The register image starts with its presence flags and the 0xFF area.
    std::vector<u8> image(ram::kRegImageSize, 0);
    image[37] = 0x80;
    image[38] = 0x1F;
    image[39] = 0x07;
    const u8 mid[] = {0xC3, 0x10, 0xFF, 0xFF, 0xFF, 0xFF, 0xC0};
    std::copy(std::begin(mid), std::end(mid), image.begin() + 53);
    std::fill(image.begin() + 60, image.begin() + 1061, 0xFF);
    const auto* r = reinterpret_cast<const u8*>(&s->reg_image);
    EXPECT_EQ(std::vector<u8>(r, r + ram::kRegImageSize), image);
}

TEST_F(Store, ADamagedFileIsReplacedByDefaultsAndOnlyWholeModesLoad)
{
    // Mode 6 whole; modes 2 and 3 empty or cut short: empty slots, not half modes.
    std::string mode(4096, '\0');
    mode[0] = mode[1] = '\xAA';
    mode[2] = 0x42;
    writeBoxFile("/data/modes/custom_mode6", mode);
    writeBoxFile("/data/modes/custom_mode2", "");
    writeBoxFile("/data/modes/custom_mode3", std::string("\xAA\xAA") + std::string(100, '\x11'));
    KEL_RAM_PARA b = ram::defaultBlock();
    b.brightness = 7;
    std::string badMarker = paraFileOf(b);
    badMarker[1] = 0x55;
    // The marker and only part of the saved range: a file cut short.
    std::string cut = paraFileOf(b).substr(0, 1000);
    cut[2] = 9;  // would land in the language if it were loaded
    for (const std::string& file : {badMarker, cut}) {
        SCOPED_TRACE(file.size());
        writeBoxFile(KelRamPara::kParaFile, file);
        KelRamPara* s = restart();
        EXPECT_EQ(readBoxFile(KelRamPara::kParaFile), defaultFileText());
        EXPECT_TRUE(savedIsDefault(s));
        EXPECT_EQ(s->KelUserModeSaved(5), 1);
        EXPECT_EQ(s->ram_user_mode[5].data[0], 0x42);
        EXPECT_EQ(s->KelUserModeIndex(0, 1), 5);
        for (int i : {1, 2})
            EXPECT_TRUE(s->ram_user_mode[i].marker[0] == ram::kSlotEmpty &&
                        s->ram_user_mode[i].marker[1] == ram::kSlotEmpty)
                << i;
    }
}

TEST_F(Store, FileThatCannotBeRecreatedStillGivesTheDefaultTable)
{
    // A directory where the file should be: it can neither be read nor replaced.
    ASSERT_TRUE(platform::makeDirs("/data/ram_device_info"));
    KelRamPara* s = start();
    EXPECT_TRUE(platform::isDir(KelRamPara::kParaFile));
    EXPECT_TRUE(savedIsDefault(s));
    EXPECT_TRUE(liveEqualsShadow(s));
}

// Files of another size than the box writes, each starting with a valid
// image (the large ones sparse: their size set, never written), are refused
// with a console line, the large ones before they are read: the parameter
// file is replaced by the defaults, a user-mode file leaves its slot empty.
TEST_F(Store, FilesOfAnyOtherSizeAreRefusedBeforeTheyAreRead)
{
    constexpr off_t kHuge = off_t(3) << 30, kLarge = off_t(200) << 20;
    std::string mode(4096, '\0');
    mode[0] = mode[1] = '\xAA';
    KEL_RAM_PARA b = ram::defaultBlock();
    b.brightness = 7;
    const struct {
        std::string path, image;
        off_t size;
        const char* said;
    } files[] = {
        {KelRamPara::kParaFile, paraFileOf(b), kHuge, "ram_device_info is 3221225472 bytes, more than the 4096 it may"},
        {"/data/modes/custom_mode1", mode, kHuge, "custom_mode1 is 3221225472 bytes, more than the 4096 it may"},
        {"/data/modes/custom_mode2", mode, kLarge, "custom_mode2 is 209715200 bytes, more than the 4096 it may"},
        {"/data/modes/custom_mode3", mode, 4095, "custom_mode3 is 4095 bytes, not the 4096 of a user mode"},
    };
    for (const auto& f : files) {
        writeBoxFile(f.path, f.image);
        ASSERT_EQ(::truncate(platform::path(f.path).c_str(), f.size), 0) << f.path;
    }
    writeBoxFile("/data/modes/custom_mode4", mode);
    testing::internal::CaptureStdout();
    KelRamPara* s = start();
    const std::string console = testing::internal::GetCapturedStdout();
    for (const auto& f : files)
        EXPECT_NE(console.find(f.said), std::string::npos) << f.said << "\n" << console;
    EXPECT_EQ(readBoxFile(KelRamPara::kParaFile), defaultFileText());
    EXPECT_TRUE(savedIsDefault(s));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(s->KelUserModeSaved(i), 0) << i;
    EXPECT_EQ(s->KelUserModeSaved(3), 1);
}

// A user-mode file of the right size that the box did not write (random
// bytes) is loaded as every file is, but its slot is not a saved mode; a
// parameter file of random bytes gives way to the defaults. The console
// names each.
TEST_F(Store, FilesTheBoxDidNotWriteAreNamed)
{
    std::string noise(4096, '\0');
    uint32_t seed = 77;
    for (char& c : noise)
        c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    noise[0] = 0x30;
    noise[1] = 0x22;
    writeBoxFile("/data/modes/custom_mode2", noise);
    writeBoxFile(KelRamPara::kParaFile, noise.substr(0, 3330));
    std::string mode(4096, '\0');
    mode[0] = mode[1] = '\xAA';
    writeBoxFile("/data/modes/custom_mode1", mode);
    testing::internal::CaptureStdout();
    KelRamPara* s = start();
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_NE(console.find("[files] /data/modes/custom_mode2 is no saved user mode (it starts 0x30 0x22, not 0xAA "
                           "0xAA): refused\n"),
              std::string::npos)
        << console;
    EXPECT_NE(console.find("[files] /data/ram_device_info is no parameter file (it starts 0x30 0x22, not 0xAA "
                           "0xAA): refused\n"),
              std::string::npos)
        << console;
    EXPECT_EQ(readBoxFile(KelRamPara::kParaFile), defaultFileText());
    EXPECT_EQ(console.find("custom_mode1"), std::string::npos) << console;
    EXPECT_EQ(s->KelUserModeSaved(1), 0);
    EXPECT_EQ(s->KelUserModeSaved(0), 1);
}

TEST_F(Store, ValidFileIsLoadedUnchangedApartFromTheStartResets)
{
    KEL_RAM_PARA b = ram::defaultBlock();
    b.brightness = 42;
    for (int i = 0; i < 7; ++i)
        b.image[i].flags = ram::kFlagFreeze | ram::kFlagBlack;
    b.led_off = 1;
    b.test_pattern = 3;
    b.reserved_865 = 9;
    b.current_mode = 5;
    b.mode_save_request = 0x0203;
    b.splice_mode = 2;
    b.seamless_para[15].para1 = 7;
    b.panel_lock = 1;
    const std::string file = paraFileOf(b);
    writeBoxFile(KelRamPara::kParaFile, file);

    KelRamPara* s = start();
    const KEL_RAM_PARA& p = s->ram_para;
    EXPECT_EQ(p.brightness, 42);
    EXPECT_EQ(p.panel_lock, 1);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(p.image[i].flags, ram::kFlagBlack) << i;
    EXPECT_EQ(p.image[6].flags, ram::kFlagFreeze | ram::kFlagBlack);
    EXPECT_EQ(p.led_off, 0);
    EXPECT_EQ(p.test_pattern, 0);
    EXPECT_EQ(p.reserved_865, 0);
    EXPECT_EQ(p.current_mode, 0);
    EXPECT_EQ(p.mode_save_request, 0x0003);
    EXPECT_EQ(p.splice_mode, 0);
    for (const SEAMLESS_PARA& sp : p.seamless_para) {
        EXPECT_EQ(sp.para0, 60);
        EXPECT_EQ(sp.para1, 60);
    }
    EXPECT_EQ(s->KelGetCurrentModeIndex(), 0);
    EXPECT_TRUE(liveEqualsShadow(s));
    EXPECT_EQ(readBoxFile(KelRamPara::kParaFile), file);  // loading writes nothing
}

// ---------------------------------------------------------------- language

TEST_F(Store, StoredLanguageNotEnabledFallsToTheFirstEnabledKeepingTheHighByte)
{
    KEL_RAM_PARA b = ram::defaultBlock();
    b.language = 0x0300;
    writeBoxFile(KelRamPara::kParaFile, paraFileOf(b));
    g_lcd_lang_valid = 0x1000A;  // English and Vietnamese
    KelRamPara* s = start();
    EXPECT_EQ(s->ram_para.language, 0x0301);
    EXPECT_EQ(g_language.load(), 1);
    EXPECT_EQ(g_lcd_lang_valid.load(), 0x1000Au);
    // Mode two with simplified Chinese drops it and the mode bits.
    g_lcd_lang_valid = 0x2001F;
    s = restart();
    EXPECT_EQ(g_lcd_lang_valid.load(), 0x1Eu);
    EXPECT_EQ(s->ram_para.language, 0x0301);
    EXPECT_EQ(g_language.load(), 1);
}

TEST_F(Store, LanguageChangedComparesWithTheShadow)
{
    g_lcd_lang_valid = 0x10007;  // 0, 1, 2
    KelRamPara* s = start();
    EXPECT_EQ(s->KelLanguageChanged(), 0);
    s->ram_para.language = 2;
    EXPECT_EQ(s->KelLanguageChanged(), 1);
    EXPECT_EQ(g_language.load(), 2);
    s->ram_para.language = 0x0404;  // traditional Chinese, not enabled
    EXPECT_EQ(s->KelLanguageChanged(), 1);
    EXPECT_EQ(s->ram_para.language, 0);
    EXPECT_EQ(g_language.load(), 0);
    s->ram_para.language = 40;  // beyond any bit
    EXPECT_EQ(s->KelLanguageChanged(), 1);
    EXPECT_EQ(s->ram_para.language, 0);
}

// ---------------------------------------------------------------- crops and sources

TEST_F(Store, CropNumbersFillTheLowestGapAndRaiseTheApply)
{
    KelRamPara* s = start();
    addCrop(s, 0, 1, 1);
    addCrop(s, 1, 1, 3);
    addCrop(s, 2, 2, 1);
    s->KelCropSourceInit();
    EXPECT_EQ(g_cut_source_state[5], 0x05);  // source 1: bits 40 and 42
    EXPECT_EQ(s->KelGetSourceNum(1, 40), 2);
    EXPECT_EQ(s->KelGetSourceNum(1, 1), 1);
    EXPECT_EQ(s->KelGetSourceNum(1, 0), 0);
    EXPECT_EQ(s->KelGetCropID(1, 1), 1);
    EXPECT_EQ(s->KelGetCropID(1, 2), 3);
    EXPECT_EQ(s->KelGetCropID(1, 3), 0);
    EXPECT_EQ(s->KelAddCropID(1), 2);

    CROP_PARA in{1, 10, 20, 300, 400};
    s->KelAddNewCrop(1, &in);
    EXPECT_EQ(x518_manage::apply_flag.load(), 1);
    EXPECT_EQ(s->ram_para.crop_list[3].key, cropKey(1, 2));
    EXPECT_EQ(s->ram_para.crop_list[3].w, 300);

    s->KelCropSourceInit();
    CROP_PARA out{};
    int index = -1;
    s->KelGetCropPara(1, 2, &out, &index);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(std::make_tuple(out.key, out.x, out.h), std::make_tuple(cropKey(1, 2), u16(10), u16(400)));
    s->KelGetCropPara(1, 4, &out, &index);
    EXPECT_EQ(index, 40);

    CROP_PARA moved{0, 1, 2, 3, 4};
    s->KelSetCropPara(1, 3, &moved);  // the third crop of source 1 is number 3
    EXPECT_EQ(s->ram_para.crop_list[1].key, cropKey(1, 3));
    EXPECT_EQ(s->ram_para.crop_list[1].x, 1);
    EXPECT_EQ(s->ram_para.crop_list[1].h, 4);

    x518_manage::apply_flag = 0;
    s->KelDeleteCrop(1, 1);
    EXPECT_EQ(s->ram_para.crop_list[0].key, 0);
    EXPECT_EQ(s->ram_para.crop_list[0].w, 1920);  // the rectangle stays
    EXPECT_EQ(x518_manage::apply_flag.load(), 1);
}

TEST_F(Store, CropKeysOutsideTheBitmapAreSkipped)
{
    KelRamPara* s = start();
    addCrop(s, 0, 7, 1);   // source 7 has no bits
    addCrop(s, 1, 2, 60);  // crop number 60 beyond 40
    addCrop(s, 2, 255, 128);
    addCrop(s, 3, 5, 40);  // the very last bit
    std::memset(g_cut_source_state, 0xEE, sizeof g_cut_source_state);
    s->KelCropSourceInit();
    for (int i = 0; i < 29; ++i)
        EXPECT_EQ(g_cut_source_state[i], 0) << i;
    EXPECT_EQ(g_cut_source_state[29], 0x80);
    EXPECT_EQ(s->KelGetCropID(5, 1), 40);
    EXPECT_EQ(s->KelGetCropID(7, 1), 0);
    EXPECT_EQ(s->KelGetCropID(-1, 1), 0);
    EXPECT_EQ(s->KelAddCropID(6), 0);
    CROP_PARA in{7, 1, 1, 1, 1};
    s->KelAddNewCrop(7, &in);
    EXPECT_EQ(x518_manage::apply_flag.load(), 0);
}

TEST_F(Store, AddingACropWithoutAFreeNumberStoresNothing)
{
    KelRamPara* s = start();
    for (int k = 0; k < 40; ++k)
        addCrop(s, k, 3, k + 1);
    s->KelCropSourceInit();
    // The page deletes one without rebuilding the bitmap: a record is free,
    // but the bitmap still has every number taken.
    s->KelDeleteCrop(3, 5);
    ASSERT_EQ(s->ram_para.crop_list[4].key, 0);
    x518_manage::apply_flag = 0;
    CROP_PARA in{3, 1, 2, 3, 4};
    s->KelAddNewCrop(3, &in);
    EXPECT_EQ(s->ram_para.crop_list[4].key, 0);
    EXPECT_EQ(s->ram_para.crop_list[4].x, 0);
    EXPECT_EQ(x518_manage::apply_flag.load(), 0);
}

TEST_F(Store, WindowSourceByCropNumberAndCurrentModeCleared)
{
    KelRamPara* s = start();
    addCrop(s, 6, 2, 1);
    addCrop(s, 9, 2, 4);
    s->KelCropSourceInit();
    s->ram_para.current_mode = 3;
    s->ram_para_shadow.current_mode = 3;

    s->KelSetImageSource(2, 2, 1);  // the second crop of HDMI2: number 4, record 9
    EXPECT_EQ(s->ram_para.image[1].source, 0x8009);
    EXPECT_EQ(s->ram_para.current_mode, 0);
    EXPECT_EQ(x518_manage::apply_flag.load(), 1);

    s->ram_para.current_mode = 4;   // differs from the shadow: kept
    s->KelSetImageSource(3, 2, 1);  // HDMI2 has only two crops
    EXPECT_EQ(s->ram_para.image[1].source, 0);
    EXPECT_EQ(s->ram_para.current_mode, 4);

    s->KelSetImageSource(0, 3, 2);
    EXPECT_EQ(s->ram_para.image[2].source, 3);
    s->KelSetImageSource(0, 3, static_cast<char>(200));  // no such window: ignored
}

TEST_F(Store, ImageSourceThroughCropsInTheBlockAndInASlot)
{
    KelRamPara* s = start();
    s->ram_para.crop_list[12].key = cropKey(3, 2);
    s->ram_para.image[4].source = 0x800C;
    s->ram_para.image[4].enable = 1;
    i16 isCrop = -1;
    char crop = 0;
    auto* live = reinterpret_cast<u8*>(&s->ram_para);
    EXPECT_EQ(s->KelGetImageSource(live, 4, &isCrop, &crop, 0), 3);
    EXPECT_EQ(isCrop, 1);
    EXPECT_EQ(crop, 12);
    EXPECT_EQ(s->KelGetImageSource(live, 0, &isCrop, &crop, 0), 1);
    EXPECT_EQ(isCrop, 0);

    std::memcpy(s->ram_user_mode[2].data, live + 896, 3200);
    EXPECT_EQ(s->KelGetImageSource(s->ram_user_mode[2].data, 4, &isCrop, &crop, 1), 3);
    EXPECT_EQ(isCrop, 1);

    EXPECT_EQ(s->KelSourceId_is_on(3), 1);
    EXPECT_EQ(s->KelSourceId_is_on(1), 1);  // window 0 on HDMI1
    EXPECT_EQ(s->KelSourceId_is_on(2), 0);
    EXPECT_EQ(s->KelSourceId_is_on(0), 0);
    s->ram_para.image[0].source = 0;  // DVI maps to device 0
    EXPECT_EQ(s->KelSourceId_is_on(0), 1);
}

TEST_F(Store, FreezeOnlyOnAShownWindowBlackAlways)
{
    KelRamPara* s = start();
    g_image_current = 1;  // hidden
    s->KelSetImageFreeze();
    EXPECT_EQ(s->ram_para.image[1].flags, 0);
    EXPECT_EQ(x518_manage::apply_flag.load(), 1);
    s->KelSetImageBlack();
    EXPECT_EQ(s->ram_para.image[1].flags, ram::kFlagBlack);
    g_image_current = 0;
    s->KelSetImageFreeze();
    s->KelSetImageBlack();
    EXPECT_EQ(s->ram_para.image[0].flags, ram::kFlagFreeze | ram::kFlagBlack);
    s->KelSetImageFreeze();
    EXPECT_EQ(s->ram_para.image[0].flags, ram::kFlagBlack);
}

// ---------------------------------------------------------------- protocol access

TEST_F(Store, BlockAndSlotWritesStayInsideTheirRecords)
{
    KelRamPara* s = start();
    u8 data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(s->KelRamParaDeal(data, 8, 4088), 0);
    EXPECT_EQ(reinterpret_cast<u8*>(&s->ram_para)[4095], 8);
    EXPECT_EQ(s->KelRamParaDeal(data, 8, 4089), 1);
    EXPECT_EQ(s->KelRamParaDeal(data, 1, 0xFFFFFFFFu), 1);
    EXPECT_EQ(x518_manage::apply_flag.load(), 0);

    EXPECT_EQ(s->KelModeUserRamParaDeal(data, 2, 0x3000), 0);  // slot 3's marker
    EXPECT_EQ(s->ram_user_mode[2].marker[1], 2);
    EXPECT_EQ(s->KelModeUserRamParaDeal(data, 2, 0x10000), 0);  // slot 16
    EXPECT_EQ(s->ram_user_mode[15].marker[0], 1);
    EXPECT_EQ(s->KelModeUserRamParaDeal(data, 2, 0x0000), 1);   // m = 0
    EXPECT_EQ(s->KelModeUserRamParaDeal(data, 2, 0x11000), 1);  // m = 17
    // A write may reach the slot's last byte (4097); one byte more is refused whole.
    EXPECT_EQ(s->KelModeUserRamParaDeal(data, 4, 0x4FFE), 0);
    EXPECT_EQ(s->ram_user_mode[3].trailing[895], 4);
    EXPECT_EQ(s->KelModeUserRamParaDeal(data + 4, 4, 0x4FFF), 1);
    EXPECT_EQ(s->ram_user_mode[3].trailing[895], 4);
    EXPECT_EQ(s->ram_user_mode[4].marker[0], 0xFF);  // the next slot is untouched
    u8 big[0x1003] = {};
    EXPECT_EQ(s->KelModeUserRamParaDeal(big, sizeof big, 0x1000), 1);
    EXPECT_EQ(s->KelModeUserRamParaDeal(big, 4098, 0x1000), 0);
}

// ---------------------------------------------------------------- user modes

TEST_F(Store, UserModeIndexRules)
{
    KelRamPara* s = start();
    struct Case {
        int current, direction, expected;
    };
    const auto check = [&](std::initializer_list<int> saved, std::initializer_list<Case> cases) {
        for (auto& slot : s->ram_user_mode)
            slot.marker[0] = slot.marker[1] = 0xFF;
        for (int i : saved)
            s->ram_user_mode[i].marker[0] = s->ram_user_mode[i].marker[1] = 0xAA;
        for (const Case& c : cases)
            EXPECT_EQ(s->KelUserModeIndex(static_cast<char>(c.current), c.direction), c.expected)
                << c.current << " " << c.direction;
    };
    check({5}, {{5, 1, 5}, {5, 0, 5}, {5, 2, 5}, {0, 2, 5}, {9, 1, 5}, {9, 0, 5}, {5, 3, 0x100}});
    // A current index of 17 or more looks at the sixteen slots only.
    // clang-format off
    check({2, 11}, {{2, 1, 11}, {11, 1, 2}, {15, 1, 2}, {16, 1, 0x100}, {2, 0, 11}, {0, 0, 11}, {12, 0, 11},
                    {16, 2, 2}, {17, 2, 0x100}, {16, 0, 11}, {40, 0, 11}, {200, 0, 11}, {200, 2, 0x100}});
    // clang-format on
    check({}, {{40, 0, 0x100}, {0, 0, 0x100}, {0, 1, 0x100}, {0, 2, 0x100}});

    EXPECT_EQ(s->KelUserModeSaved(-1), 0);
    EXPECT_EQ(s->KelUserModeSaved(16), 0);
    s->ram_para.current_mode = 16;
    EXPECT_EQ(s->KelGetCurrentModeIndex(), 16);
    s->ram_para.current_mode = 17;
    EXPECT_EQ(s->KelGetCurrentModeIndex(), 0);
}

TEST_F(Store, ModeFileWriteHasExactlyTheSlotImage)
{
    KelRamPara* s = start();
    s->ram_para.brightness = 77;
    s->ram_user_mode[0].trailing[0] = 0x33;  // the tail goes along as it is
    ASSERT_EQ(s->mode_file_write(0, 1), 1);
    const std::string f = readBoxFile("/data/modes/custom_mode1");
    ASSERT_EQ(f.size(), 4096u);
    EXPECT_EQ(f.substr(0, 2), "\xAA\xAA");
    EXPECT_EQ(std::memcmp(f.data() + 2, reinterpret_cast<const char*>(&s->ram_para) + 896, 3200), 0);
    EXPECT_EQ(static_cast<u8>(f[3202]), 0x33);
    EXPECT_EQ(s->KelUserModeSaved(0), 1);
    EXPECT_EQ(s->mode_file_write(16, 1), 0);
    EXPECT_EQ(s->mode_file_write(-1, 1), 0);
    EXPECT_FALSE(platform::exists("/data/modes/custom_mode17"));
    // The modes folder is made again when it is gone.
    platform::shellRun("rm -rf /data/modes");
    ASSERT_EQ(s->mode_file_write(15, 2), 1);
    EXPECT_EQ(readBoxFile("/data/modes/custom_mode16").size(), 4096u);
    // A file that cannot be written leaves the slot as it was.
    ASSERT_TRUE(platform::makeDirs("/data/modes/custom_mode4"));
    EXPECT_EQ(s->mode_file_write(3, 1), 0);
    EXPECT_EQ(s->ram_user_mode[3].marker[0], 0xFF);
}

TEST_F(Store, DeletingModeTenRemovesItsFilesAndItsOverlayCopy)
{
    std::string mode(4096, '\0');
    mode[0] = mode[1] = '\xAA';
    ram::storeU16(reinterpret_cast<u8*>(&mode[2 + 2124 - 896]), 1);  // its overlay flag
    writeBoxFile("/data/modes/custom_mode10", mode);
    writeBoxFile("/data/modes/MO0a.json", "{}");
    KelRamPara* s = start();
    ASSERT_EQ(s->KelUserModeSaved(9), 1);

    EXPECT_EQ(s->mode_file_deal(9, 1), 0);
    EXPECT_FALSE(platform::exists("/data/modes/custom_mode10"));
    EXPECT_FALSE(platform::exists("/data/modes/MO0a.json"));
    EXPECT_EQ(s->KelUserModeSaved(9), 0);
    EXPECT_EQ(ram::loadU16(s->ram_user_mode[9].data + 2124 - 896), 0);
    EXPECT_EQ(journalWith("rm  -rf  /data/modes/"),
              (std::vector<std::string>{"rm  -rf  /data/modes/custom_mode10", "rm  -rf  /data/modes/MO0a.json"}));
    EXPECT_EQ(s->mode_file_deal(16, 0), 0);
}

TEST_F(Store, ResetRewritesTheFileFromTheDefaults)
{
    KEL_RAM_PARA b = ram::defaultBlock();
    b.brightness = 5;
    writeBoxFile(KelRamPara::kParaFile, paraFileOf(b));
    KelRamPara* s = start();
    ASSERT_EQ(s->ram_para.brightness, 5);
    s->ram_para.source_status[1].width = 1280;  // run-time status stays
    s->ram_para_reset();
    EXPECT_EQ(s->ram_para.brightness, 100);
    EXPECT_EQ(s->ram_para.source_status[1].width, 1280);
    EXPECT_TRUE(liveEqualsShadow(s));
    EXPECT_EQ(paraFileField(2176), 100);
}

TEST_F(Store, RaisingAnApplyNeverLowersAPendingModeSync)
{
    KelRamPara::pInstance();
    x518_manage::apply_flag = 2;
    KelRamPara::raiseApply(1);
    EXPECT_EQ(x518_manage::apply_flag.load(), 2);
    KelRamPara::p_kelrampara_config->KelSetEDIDPara(0, 1280, 720, 60);
    EXPECT_EQ(x518_manage::apply_flag.load(), 2);
    x518_manage::apply_flag = 0;
    KelRamPara::raiseApply(1);
    EXPECT_EQ(x518_manage::apply_flag.load(), 1);
    KelRamPara::raiseApply(2);
    EXPECT_EQ(x518_manage::apply_flag.load(), 2);
}
