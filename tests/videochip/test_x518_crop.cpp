// Crops as the chip shows them: a source change to or from a crop reaches
// the chip in one programming pass, and a stored crop gives one picture
// whatever programmed the window last.
#include "tests/videochip/chip_test.h"

#include "platform/sim/sim_receiver.h"

#include <tuple>

using platform::sim::SourceTiming;

namespace {

constexpr int kWindow = 1;  // shows HDMI1 (chip port 1, 1920 x 1080)
constexpr int kHdmi1Port = 1, kHdmi2Port = 0;

using Registers = platform::sim::SimX518Flash::Registers;

// What an output channel shows: the source select of the input channel
// whose frame memory it reads, where in that memory its reading starts,
// and its zoom steps.
struct Picture {
    u32 select, offset, hStep, vStep;
    auto key() const { return std::tie(select, offset, hStep, vStep); }
    bool operator==(const Picture& o) const { return key() == o.key(); }
    bool operator!=(const Picture& o) const { return key() != o.key(); }
};

std::ostream& operator<<(std::ostream& os, const Picture& p)
{
    return os << "select " << p.select << " from +" << p.offset << " steps " << p.hStep << "/" << p.vStep;
}

u32 selectOf(int port)
{
    return u32(2 * port);
}  // a parallel port's source select code

// A register, named by its register word, in a copy of the chip's banks.
u32 valueIn(const Registers& r, u32 word, u32 bankOffset = 0)
{
    const u32 bank = (word >> 16) + bankOffset, address = word >> 8 & 0xFF, width = word & 0xFF;
    u32 v = 0;
    for (u32 i = 0; i < width; ++i)
        v |= u32(r[bank][address + i]) << (8 * i);
    return v;
}

class CropTest : public RunningChipTest {
protected:
    void SetUp() override
    {
        RunningChipTest::SetUp();
        platform::sim::plugSource(ram::kSourceHdmi2, SourceTiming::p720_60());
        inputsUp();
        settle();
    }
    void settle()  // the inputs polled, the changed ports measured, their windows programmed
    {
        poll();
        m->runPass();
    }
    int outputOf(int window) const
    {
        int och[x518::kChannels];
        m->get_och(window, och);
        return och[0];
    }
    Picture pictureIn(const Registers& r, int o) const
    {
        const u32 at = x518::kChannelStride * u32(o);
        const u32 c = valueIn(r, x518::kOsyct, at) >> x518::kOsyctChannelShift & x518::kOsyctChannelMask;
        if (c >= u32(x518::kChannels))
            return {};
        return {valueIn(r, x518::kIchSel + x518::kAddressStep * c),
                valueIn(r, x518::kOsfld, at) - m->sys.PS_MEM_SC[c][0], valueIn(r, x518::kOchHStep, at),
                valueIn(r, x518::kOchVStep, at)};
    }
    Picture shown(int window) const { return pictureIn(chip->registers(), outputOf(window)); }

    // Replays the journal from `start` and returns what the window's output
    // channel showed at each release of the chip's update hold.
    std::vector<Picture> releasedPictures(const Registers& start, int o) const
    {
        constexpr u8 kReleaseByte = 0x21;  // 00:24 of the release row, 0xFF while held
        const u32 marker = x518::regAt(x518::kUpdateTiming, 2);
        Registers r = start;
        std::vector<Picture> out;
        for (const auto& e : chip->journal()) {
            r[e.bank][e.address] = e.value;
            if (e.bank == (marker >> 16) && e.address == (marker >> 8 & 0xFF) && e.value == kReleaseByte)
                out.push_back(pictureIn(r, o));
        }
        return out;
    }

    void choose(u16 source)
    {
        write([source](KEL_RAM_PARA& b) { b.image[kWindow].source = source; });
        m->runPass();
    }
    void defineCrop(int record, u8 input, u16 x, u16 y, u16 w, u16 h)
    {
        write([=](KEL_RAM_PARA& b) { b.crop_list[record] = {u16(ram::kCropInUse | input), x, y, w, h}; }, 0);
    }
};

}  // namespace

TEST_F(CropTest, ASwitchToACropOfAnotherInputAndBackShowsNoPictureBetween)
{
    // HDMI1 at 1080p to the middle quarter of HDMI2 at 720p: the chip shows
    // HDMI1 whole until it shows the crop, never HDMI1 cut by the crop.
    defineCrop(5, ram::kSourceHdmi2, 320, 180, 640, 360);
    const int o = outputOf(kWindow);
    const Picture hdmi1 = shown(kWindow);
    ASSERT_EQ(hdmi1.select, selectOf(kHdmi1Port));
    Registers before = chip->registers();
    chip->clearJournal();
    choose(ram::kSourceIsCrop | 5);
    ASSERT_EQ(outputOf(kWindow), o);
    const Picture crop = shown(kWindow);
    EXPECT_EQ(crop.select, selectOf(kHdmi2Port));
    std::vector<Picture> released = releasedPictures(before, o);
    ASSERT_FALSE(released.empty());
    for (const Picture& p : released)
        EXPECT_TRUE(p == hdmi1 || p == crop) << p;

    // Dropping the crop: HDMI2 is never shown whole on the way back.
    before = chip->registers();
    chip->clearJournal();
    choose(ram::kSourceHdmi1);
    EXPECT_EQ(shown(kWindow), hdmi1);
    released = releasedPictures(before, o);
    ASSERT_FALSE(released.empty());
    for (const Picture& p : released)
        EXPECT_TRUE(p == hdmi1 || p == crop) << p;
}

TEST_F(CropTest, ACropOfTheInputAWindowShowsIsProgrammedByItselfOrThroughTheBlock)
{
    const Picture whole = shown(kWindow);
    ST_RECT r{200, 100, 640, 360};
    m->x518_SetCrop(kWindow, 1, &r);
    const Picture cut = shown(kWindow);
    EXPECT_EQ(cut.select, whole.select);
    EXPECT_NE(cut, whole);
    m->x518_SetCrop(kWindow, 0, &r);
    EXPECT_EQ(shown(kWindow), whole);

    defineCrop(7, ram::kSourceHdmi1, 200, 100, 640, 360);
    choose(ram::kSourceIsCrop | 7);
    EXPECT_EQ(shown(kWindow), cut);
}

TEST_F(CropTest, ACropPastTheEdgeShowsTheWholeInputOnEveryPath)
{
    // 1600,900 480x270 runs past both edges of a 1920 x 1080 input.
    defineCrop(9, ram::kSourceHdmi1, 1600, 900, 480, 270);
    const Picture whole = shown(kWindow);
    choose(ram::kSourceIsCrop | 9);
    EXPECT_EQ(shown(kWindow), whole) << "chosen";

    // The input re-plugged: its format measured again.
    platform::sim::pullSource(ram::kSourceHdmi1);
    settle();
    platform::sim::plugSource(ram::kSourceHdmi1, SourceTiming::p1080_60());
    settle();
    EXPECT_EQ(shown(kWindow), whole) << "re-plugged";

    // Another window moved: every window laid out again.
    write([](KEL_RAM_PARA& b) { b.image[3].x = 900; });
    m->runPass();
    EXPECT_EQ(shown(kWindow), whole) << "laid out again";

    // A crop inside the input: the re-layout cuts it as choosing it does.
    defineCrop(9, ram::kSourceHdmi1, 100, 60, 480, 270);
    write([](KEL_RAM_PARA& b) { b.image[3].x = 960; });
    m->runPass();
    const Picture inside = shown(kWindow);
    EXPECT_NE(inside, whole);
    choose(ram::kSourceHdmi1);
    choose(ram::kSourceIsCrop | 9);
    EXPECT_EQ(shown(kWindow), inside);
}
