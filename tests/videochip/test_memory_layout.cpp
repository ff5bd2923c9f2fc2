// Every window layout fits the chip's frame memory: the chip manager
// programs the simulated chip for each layout, and the registers are put
// through one check of what the input channels write (no byte written by
// two areas, no line longer than its step); where it matters the canvas
// shows each input whole where it is placed.
#include "tests/support/canvas_probe.h"
#include "tests/videochip/chip_test.h"

#include "platform/sim/sim_x518_canvas.h"
#include "platform/sim/sim_x518_memory.h"

#include <functional>
#include <sstream>
#include <vector>

using canvasprobe::Box;
using platform::sim::drawTestCard;
using platform::sim::SourceTiming;

namespace {

constexpr int kPortHdmi2 = 0, kPortHdmi1 = 1, kPortDvi = 2, kPortHdmi3 = 5;
// IMAGE_PARA.dbd_mode of each dot-by-dot arrangement.
enum Arrangement : u16 {
    kSingle = 0,
    kIn12 = 1,
    kIn12Stacked = 2,
    kIn34 = 3,
    kIn34Stacked = 4,
    kIn123 = 5,
    kIn1234 = 6,
    kQuadrants = 7,
    kVboPair = 8,
    kVboPairStacked = 9,
};

struct Input {
    int source;
    SourceTiming timing;
};

struct Layout {
    const char* what;
    u16 width, height;  // the LED canvas
    std::vector<Input> inputs;
    std::function<void(KEL_RAM_PARA&)> windows;
    u16 splice = ram::SPLICE_NONE;
};

std::string faultsOf(const platform::sim::SimX518Flash::Registers& regs)
{
    std::ostringstream out;
    for (const auto& f : platform::sim::memoryFaults(platform::sim::writeAreas(regs))) {
        if (f.kind == platform::sim::MemoryFault::kLongLine)
            out << "ich " << f.first.channel << " writes " << f.first.lineBytes << " bytes a line " << f.first.step
                << " apart; ";
        else
            out << "ich " << f.first.channel << " and " << f.second.channel << " share 0x" << std::hex << f.address
                << std::dec << "; ";
    }
    return out.str();
}

class MemoryLayoutTest : public RunningChipTest {
protected:
    void SetUp() override
    {
        RunningChipTest::SetUp();
        inputsUp();
    }
    void settle()
    {
        for (int i = 0; i < 12; ++i) {
            poll();
            m->runPass();
        }
    }
    void plugOnly(const std::vector<Input>& inputs)
    {
        for (int s = 0; s < ram::kSources; ++s)
            if (platform::sim::receiver(s) && platform::sim::receiver(s)->signal())
                platform::sim::pullSource(s);
        for (const Input& i : inputs)
            platform::sim::plugSource(i.source, i.timing);
        settle();
    }
    void apply(const Layout& l)
    {
        write([&](KEL_RAM_PARA& b) {
            b.splice_mode = l.splice;
            b.led_width = l.width;
            b.led_height = l.height;
            b.out1_rect = {0, 0, l.width, l.height};
            for (IMAGE_PARA& im : b.image)
                im = IMAGE_PARA{};
            l.windows(b);
        });
        m->runPass();
        settle();
    }
    static void show(KEL_RAM_PARA& b, int w, u16 source, Box r, u16 dbd = 0xFFFF)
    {
        IMAGE_PARA& im = b.image[w];
        im.enable = ram::kImageShown;
        im.source = source;
        im.x = u16(r.x), im.y = u16(r.y), im.w = u16(r.w), im.h = u16(r.h);
        if (dbd != 0xFFFF) {
            im.flags = ram::kFlagDotByDot;
            im.dbd_mode = dbd;
        }
        b.image_priority[w] = u16(w);
    }
    platform::Canvas canvas()
    {
        const KEL_RAM_PARA& b = live();
        return chip->canvas({b.och_num_h, b.och_num_v, b.led_x, b.led_y, b.led_width, b.led_height});
    }
    // Whether the window `to` shows the part `from` of the card of `port`.
    bool showsWhole(int port, const SourceTiming& t, Box to, Box from)
    {
        long checked = 0;
        const long bad = canvasprobe::mismatches(canvas(), drawTestCard(port, t.hactive, t.vactive, t.frameRate, 0),
                                                 {to, from}, 48, &checked);
        return checked > 200 && bad == 0;
    }
};

const SourceTiming k1080 = SourceTiming::p1080_60();
const SourceTiming k2160 = SourceTiming::p2160_30();

}  // namespace

// One overlap check over the registers of every layout the pages or the
// protocol can set that once wrote one input over another.
TEST_F(MemoryLayoutTest, EveryLayoutsInputChannelsWriteBytesOfTheirOwn)
{
    using namespace ram;
    const std::vector<Input> cmos1080 = {{kSourceHdmi2, k1080}, {kSourceHdmi1, k1080}, {kSourceDvi, k1080}};
    auto dbd = [](u16 source, u16 arrangement, Box at) {
        return [=](KEL_RAM_PARA& b) { show(b, 0, source, at, arrangement); };
    };
    const Layout layouts[] = {
        {"HDMI2 beside HDMI1 dot by dot", 3840, 1080, cmos1080, dbd(kSourceHdmi2, kIn12, {0, 0, 3840, 1080})},
        {"DVI beside the empty port", 1920, 1080, cmos1080, dbd(kSourceDvi, kIn34, {0, 0, 1920, 1080})},
        {"three side by side", 3840, 1080, cmos1080, dbd(kSourceHdmi2, kIn123, {0, 0, 3840, 1080})},
        {"four side by side", 3840, 1080, cmos1080, dbd(kSourceHdmi2, kIn1234, {0, 0, 3840, 1080})},
        {"stacked", 1920, 2160, cmos1080, dbd(kSourceHdmi2, kIn12Stacked, {0, 0, 1920, 2160})},
        {"DVI stacked", 1920, 2160, cmos1080, dbd(kSourceDvi, kIn34Stacked, {0, 0, 1920, 2160})},
        {"quadrants", 3840, 2160, cmos1080, dbd(kSourceHdmi2, kQuadrants, {0, 0, 3840, 2160})},
        {"HDMI1 at 2160p dot by dot",
         3840,
         2160,
         {{kSourceHdmi1, k2160}, {kSourceHdmi2, k1080}},
         [](KEL_RAM_PARA& b) {
             show(b, 0, kSourceHdmi1, {0, 0, 3840, 2160}, kSingle);
             show(b, 1, kSourceHdmi2, {0, 0, 960, 540});
         }},
        {"HDMI3 at 2160p dot by dot",
         3840,
         2160,
         {{kSourceHdmi3, k2160}},
         dbd(kSourceHdmi3, kSingle, {0, 0, 3840, 2160})},
        {"the V-by-One pair", 3840, 2160, {{kSourceHdmi3, k2160}}, dbd(kSourceHdmi3, kVboPair, {0, 0, 3840, 2160})},
        {"the V-by-One pair stacked",
         3840,
         2160,
         {{kSourceHdmi3, k2160}},
         dbd(kSourceHdmi3, kVboPairStacked, {0, 0, 3840, 2160})},
        {"HDMI1 at 2160p one to one beside HDMI2",
         3840,
         2160,
         {{kSourceHdmi1, k2160}, {kSourceHdmi2, k1080}},
         [](KEL_RAM_PARA& b) {
             show(b, 0, kSourceHdmi1, {0, 0, 3840, 2160});
             show(b, 1, kSourceHdmi2, {0, 0, 960, 540});
         }},
        {"HDMI1 at 2160p 2400 wide",
         3840,
         2160,
         {{kSourceHdmi1, k2160}, {kSourceHdmi2, k1080}},
         [](KEL_RAM_PARA& b) {
             show(b, 0, kSourceHdmi1, {0, 0, 2400, 1350});
             show(b, 1, kSourceHdmi2, {2400, 0, 1440, 810});
         }},
        {"DVI at 2160p cropped one to one",
         3840,
         2160,
         {{kSourceDvi, k2160}, {kSourceHdmi1, k1080}},
         [](KEL_RAM_PARA& b) {
             b.crop_list[0] = {u16(kCropInUse | kSourceDvi), 960, 540, 1920, 1080};
             show(b, 0, u16(kSourceIsCrop | 0), {0, 0, 1920, 1080});
             show(b, 1, kSourceHdmi1, {1920, 0, 1920, 1080});
         }},
        {"six windows",
         3840,
         2160,
         {{kSourceHdmi2, k1080}, {kSourceHdmi1, k1080}, {kSourceDvi, k1080}, {kSourceHdmi3, k2160}},
         [](KEL_RAM_PARA& b) {
             const u16 sources[] = {kSourceHdmi1, kSourceHdmi2, kSourceDvi, kSourceHdmi3, kSourceHdmi1, kSourceHdmi2};
             for (int w = 0; w < 6; ++w)
                 show(b, w, sources[w], {w % 3 * 1280, w / 3 * 1080, 1280, 1080});
         }},
        {"two outputs stitched", 3840, 1080, cmos1080,
         [](KEL_RAM_PARA& b) {
             show(b, 0, kSourceHdmi1, {0, 0, 3840, 1080});
             show(b, 1, kSourceDvi, {1440, 270, 960, 540});
         },
         SPLICE_H},
    };
    for (const Layout& l : layouts) {
        SCOPED_TRACE(l.what);
        plugOnly(l.inputs);
        apply(l);
        const std::string faults = faultsOf(chip->registers());
        EXPECT_TRUE(faults.empty()) << faults;
    }
}

// The same layouts on the canvas: each input whole where its window puts it,
// a picture too wide for its memory column shrunk and zoomed back, a
// V-by-One pair showing the input its receiver carries.
TEST_F(MemoryLayoutTest, TheCanvasShowsEachInputWholeWhereItIsPlaced)
{
    using namespace ram;
    struct Shown {
        int port;
        SourceTiming timing;
        Box to, from;
    };
    struct Case {
        Layout layout;
        std::vector<Shown> shown;
    };
    const Box full1080{0, 0, 1920, 1080}, full2160{0, 0, 3840, 2160};
    const Case cases[] = {
        {{"HDMI2 beside HDMI1 dot by dot",
          3840,
          1080,
          {{kSourceHdmi2, k1080}, {kSourceHdmi1, k1080}},
          [](KEL_RAM_PARA& b) {
              show(b, 0, kSourceHdmi2, {0, 0, 3840, 1080}, kIn12);
          }},
         {{kPortHdmi2, k1080, full1080, full1080}, {kPortHdmi1, k1080, {1920, 0, 1920, 1080}, full1080}}},
        {{"HDMI1 at 2160p dot by dot",
          3840,
          2160,
          {{kSourceHdmi1, k2160}},
          [](KEL_RAM_PARA& b) {
              show(b, 0, kSourceHdmi1, {0, 0, 3840, 2160}, kSingle);
          }},
         {{kPortHdmi1, k2160, full2160, full2160}}},
        {{"the V-by-One pair",
          1920,
          1080,
          {{kSourceHdmi3, k1080}},
          [](KEL_RAM_PARA& b) {
              show(b, 0, kSourceHdmi3, {0, 0, 1920, 1080}, kVboPair);
          }},
         {{kPortHdmi3, k1080, full1080, full1080}}},
        {{"HDMI3 at 2160p dot by dot, its lines in halves",
          3840,
          2160,
          {{kSourceHdmi3, k2160}},
          [](KEL_RAM_PARA& b) {
              show(b, 0, kSourceHdmi3, {0, 0, 3840, 2160}, kSingle);
          }},
         {{kPortHdmi3, k2160, full2160, full2160}}},
        {{"the V-by-One pair at 2160p stacked",
          3840,
          2160,
          {{kSourceHdmi3, k2160}},
          [](KEL_RAM_PARA& b) {
              show(b, 0, kSourceHdmi3, {0, 0, 3840, 2160}, kVboPairStacked);
          }},
         {{kPortHdmi3, k2160, full2160, full2160}}},
        {{"HDMI1 at 2160p one to one",
          3840,
          2160,
          {{kSourceHdmi1, k2160}, {kSourceHdmi2, k1080}},
          [](KEL_RAM_PARA& b) {
              show(b, 0, kSourceHdmi1, {0, 0, 3840, 2160});
              show(b, 1, kSourceHdmi2, {0, 0, 960, 540});
          }},
         {{kPortHdmi1, k2160, full2160, full2160}}},
        {{"DVI at 2160p cropped one to one",
          3840,
          2160,
          {{kSourceDvi, k2160}},
          [](KEL_RAM_PARA& b) {
              b.crop_list[0] = {u16(kCropInUse | kSourceDvi), 960, 540, 1920, 1080};
              show(b, 0, u16(kSourceIsCrop | 0), {0, 0, 1920, 1080});
          }},
         {{kPortDvi, k2160, full1080, {960, 540, 1920, 1080}}}},
        {{"HDMI1 at 2160p 2400 wide",
          3840,
          2160,
          {{kSourceHdmi1, k2160}, {kSourceHdmi2, k1080}},
          [](KEL_RAM_PARA& b) {
              show(b, 0, kSourceHdmi1, {0, 0, 2400, 1350});
              show(b, 1, kSourceHdmi2, {2400, 0, 1440, 810});
          }},
         {{kPortHdmi1, k2160, {0, 0, 2400, 1350}, full2160}, {kPortHdmi2, k1080, {2400, 0, 1440, 810}, full1080}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.layout.what);
        plugOnly(c.layout.inputs);
        apply(c.layout);
        for (const Shown& s : c.shown)
            EXPECT_TRUE(showsWhole(s.port, s.timing, s.to, s.from)) << "port " << s.port;
    }
}
