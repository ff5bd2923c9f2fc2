// The simulated chip draws the LED canvas from its output registers: windows
// land as rectangles in their ports' colours, in their mixers' layer order,
// over black.
#include "tests/videochip/chip_test.h"

#include "app/video_canvas.h"
#include "platform/sim/sim_x518_canvas.h"
#include "platform/sim/sim_x518_memory.h"
#include "registers/x518_regs.h"

#include <QImage>
#include <QImageReader>
#include <fstream>
#include <map>

namespace {

using platform::Canvas;
using platform::CanvasLayout;
using platform::sim::kCanvasBlack;
using platform::sim::portColour;

constexpr int kHs = 44, kVs = 41;                   // first active pixel and line of the output timing
constexpr int kTileW = 1920, kTileH = 1080;         // one output channel's active size
constexpr u32 kPitchKb = 8, kBufferAt = 0x1000000;  // frame memory: line step and each input channel's buffer

struct Rect {
    int x, y, w, h;
};

class CanvasTest : public ChipTest {
protected:
    void SetUp() override
    {
        ChipTest::SetUp();
        for (int k = 0; k < x518::kChannels; ++k) {
            set(x518::kOchActHst, kHs, k);
            set(x518::kOchActHend, kHs + kTileW, k);
            set(x518::kOchActVst, kVs, k);
            set(x518::kOchActVend, kVs + kTileH, k);
            set(x518::kOchAreaHst, kHs, k);
            set(x518::kOchAreaVst, kVs, k);
            set(x518::kOchAreaVend, kVs + kTileH, k);
        }
        // Every mixer shows the top entry present, as the window programming leaves it.
        for (int t = 0; t < x518::kBlendMixers; ++t)
            for (u32 mask = 1; mask < 16; ++mask)
                set(x518::regAt(x518::kLayerCoef, 5 * mask + (mask & 8   ? 4
                                                              : mask & 4 ? 3
                                                              : mask & 2 ? 2
                                                                         : 1)),
                    x518::kLayerFull, t);
        chip->setPlainInputs(true);  // these cases look at where windows land
        chip->advanceFrames(4);      // every buffer written
    }
    void set(u32 spec, u32 value, int channel = 0)
    {
        chip->setRegValue(spec, value, x518::kChannelStride * u32(channel));
    }
    // Output channel `och` shows `r` (in its own tile) from input channel
    // `ich`, or follows output channel `lead`.
    void show(int och, int ich, Rect r, int lead = -1)
    {
        chip->setReg(0x00, u8(0x08 + och), x518::kOchEnableOn);
        set(x518::kOsyct, lead < 0 ? u32(ich) << 8 | x518::kOsyctLead : u32(lead) << 8 | x518::kOsyctFollow, och);
        input_[och] = lead < 0 ? ich : input_[lead];
        set(x518::kOmwi, kPitchKb, och);
        set(x518::kOsfld, kBufferAt * u32(input_[och]), och);
        set(x518::kOactHst, u32(kHs + r.x), och);
        set(x518::kOactHw, u32(r.w), och);
        set(x518::kOactVst, u32(kVs + r.y), och);
        set(x518::kOactVw, u32(r.h + 1), och);
        set(x518::kOchAreaHend, u32(kHs + r.x + r.w), och);
    }
    int input_[x518::kChannels] = {};
    void mix(int mixer, std::vector<int> layers)
    {
        u32 select = 0;
        for (size_t i = 0; i < layers.size(); ++i)
            select |= (x518::kOverlayEntry + u32(layers[i])) << (4 * i);
        set(x518::kOverlaySelect, select, mixer);
    }
    // Input channel `ich` takes input `code` (ICHSEL) and writes the whole
    // 1080p picture of the port into memory, where every output channel reads it.
    void source(int ich, u32 code)
    {
        chip->setReg(0x00, u8(0x10 + ich), u8(code));
        const int port =
            code < x518::kIchSelVbo ? int(code / 2) : x518::kFirstVboPort + int(code - x518::kIchSelVbo) / 4;
        const SimX518::PortTiming timing = SimX518::timing1080p60();
        chip->plug(port, timing);
        set(x518::kIsyct, x518::kIsyctRun, ich);
        set(x518::kIactHst, timing.hstart - 7, ich);
        set(x518::kIactHw, timing.hactive, ich);
        set(x518::kIactVst, timing.vstart + 1, ich);
        set(x518::kIactVw, timing.vactive, ich);
        set(x518::kImwi, kPitchKb, ich);
        set(x518::kIsfld, kBufferAt * u32(ich), ich);
    }

    // Pixels of each colour and where each colour lies; the same for all
    // that is not black.
    struct Seen {
        std::map<uint32_t, int> count;
        std::map<uint32_t, Rect> bounds;
        int lit = 0;
        Rect litBounds{0, 0, 0, 0};
    };
    static Seen look(const Canvas& c)
    {
        using Box = std::array<int, 4>;  // first and last x and y
        std::map<uint32_t, Box> boxes;
        Box lit{c.width, c.height, -1, -1};
        auto grow = [](Box& b, int x, int y) {
            b = {std::min(b[0], x), std::min(b[1], y), std::max(b[2], x), std::max(b[3], y)};
        };
        auto rect = [](const Box& b) { return Rect{b[0], b[1], b[2] - b[0] + 1, b[3] - b[1] + 1}; };
        Seen s;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                const uint32_t p = c.at(x, y);
                grow(boxes.try_emplace(p, Box{x, y, x, y}).first->second, x, y);
                ++s.count[p];
                if (p != kCanvasBlack) {
                    grow(lit, x, y);
                    ++s.lit;
                }
            }
        for (const auto& [p, b] : boxes)
            s.bounds[p] = rect(b);
        if (s.lit)
            s.litBounds = rect(lit);
        return s;
    }
};

bool operator==(const Rect& a, const Rect& b)
{
    return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
}
std::ostream& operator<<(std::ostream& o, const Rect& r)
{
    return o << r.x << "," << r.y << " " << r.w << "x" << r.h;
}

}  // namespace

TEST_F(CanvasTest, TwoWindowsLandAsRectanglesInTheirPortsColoursInLayerOrderOverBlack)
{
    const uint32_t hdmi1 = portColour(1), vbo = portColour(5);
    source(0, 2);   // input channel 0: parallel port 1
    source(4, 12);  // input channels 4-5: V-by-One receiver 1 (port 5)
    source(5, 13);
    // Window A on tile 0; window B across the tile border: its left part on
    // the spare channel 2, mixed into tile 0 over A, its right part on
    // channel 1, which follows channel 2.
    show(0, 0, {1200, 100, 600, 400});
    show(2, 4, {1500, 300, 420, 400});
    show(1, -1, {0, 300, 380, 400}, 2);
    mix(0, {0, 2});
    mix(1, {1});
    const CanvasLayout twoTiles{2, 1};

    Seen s = look(chip->canvas(twoTiles));
    EXPECT_EQ(s.bounds[vbo], (Rect{1500, 300, 800, 400}));
    EXPECT_EQ(s.count[vbo], 800 * 400);
    EXPECT_EQ(s.bounds[hdmi1], (Rect{1200, 100, 600, 400}));
    EXPECT_EQ(s.count[hdmi1], 600 * 400 - 300 * 200);  // B covers A where they meet
    EXPECT_EQ(s.count[kCanvasBlack], 2 * kTileW * kTileH - 800 * 400 - s.count[hdmi1]);

    mix(0, {2, 0});  // A on top
    s = look(chip->canvas(twoTiles));
    EXPECT_EQ(s.count[hdmi1], 600 * 400);
    EXPECT_EQ(s.count[vbo], 800 * 400 - 300 * 200);

    // The LED canvas cut out of the channel canvas.
    const Canvas led = chip->canvas({2, 1, 1000, 0, 1920, 1080});
    ASSERT_EQ(led.width, 1920);
    EXPECT_EQ(look(led).bounds[vbo], (Rect{500, 300, 800, 400}));

    // A channel not in use shows nothing, as a layer or as a tile.
    chip->setReg(0x00, 0x09, 0);
    s = look(chip->canvas(twoTiles));
    EXPECT_EQ(s.bounds[vbo], (Rect{1500, 300, 420, 400}));
    EXPECT_EQ(s.count.size(), 3u);
}

// Two captures whose lines meet in memory, 12 KiB apart and 7,680 bytes
// long, the second starting where the first's line ends: a line of the
// second runs into the next line of the first. The memory check names the
// bytes they share; the canvas shows the later writer there, the first
// capture's next line, written later in the frame.
TEST_F(CanvasTest, WhereTwoCapturesWriteTheSameBytesTheLaterWriterShows)
{
    constexpr u32 kStepKb = 12, kLine = 1920 * 4, kBase = 0x1000000, kField = 0x1000000;
    source(0, 2);  // HDMI1
    source(1, 4);  // DVI, beside it
    for (int ich = 0; ich < 2; ++ich) {
        set(x518::kImwi, kStepKb, ich);
        for (u32 f = 0; f < x518::kFields; ++f)
            set(x518::regAt(x518::kIsfld, 4 * f), kBase + kField * f + kLine * u32(ich), ich);
    }
    const auto faults = platform::sim::memoryFaults(platform::sim::writeAreas(chip->registers()));
    ASSERT_EQ(faults.size(), size_t(x518::kFields));  // one meeting in each buffer
    EXPECT_EQ(faults[0].kind, platform::sim::MemoryFault::kShared);
    EXPECT_EQ(faults[0].first.channel, 0);
    EXPECT_EQ(faults[0].second.channel, 1);
    EXPECT_EQ(faults[0].address, int64_t(kBase + kStepKb * 1024));

    // An output channel reading the second capture's lines.
    show(0, 1, {0, 0, 1920, 1080});
    set(x518::kOmwi, kStepKb, 0);
    for (u32 f = 0; f < x518::kFields; ++f)
        set(x518::regAt(x518::kOsfld, 4 * f), kBase + kField * f + kLine, 0);
    mix(0, {0});
    const int own = (kStepKb * 1024 - kLine) / 4;  // pixels of its line nobody writes over
    Seen seen = look(chip->canvas({1, 1}));
    // The last line has no next one over it.
    EXPECT_EQ(seen.count[portColour(2)], own * 1080 + (1920 - own));
    EXPECT_EQ(seen.bounds[portColour(1)], (Rect{own, 0, 1920 - own, 1079}));
}

TEST_F(CanvasTest, BackgroundTestPatternAndZoomReplaceOrStretchTheWindowsPicture)
{
    struct Case {
        const char* what;
        std::vector<std::pair<u32, u32>> regs;  // on output channel 0
        Rect window;                            // as OACT gives it
        std::vector<std::tuple<int, int, uint32_t>> pixels;
        Rect covered;  // all that is not black
    };
    const uint32_t hdmi1 = portColour(1);
    const Case cases[] = {
        {"picture", {}, {0, 0, kTileW, kTileH}, {{0, 0, hdmi1}, {1919, 1079, hdmi1}}, {0, 0, kTileW, kTileH}},
        {"background on",
         {{x518::kBkgShow, 1}, {x518::kBkgColour, 0x00FF00}, {x518::kPatternType, x518::kPatternSolid}},
         {10, 20, 100, 50},
         {{10, 20, 0xFF00FF00}},
         {10, 20, 100, 50}},
        {"red test pattern",
         {{x518::kPatternType, x518::kPatternSolid}, {x518::kPatternC1, 255}},
         {0, 0, kTileW, kTileH},
         {{0, 0, 0xFFFF0000}, {1919, 1079, 0xFFFF0000}},
         {0, 0, kTileW, kTileH}},
        {"stripes 480 wide",
         {{x518::kPatternType, x518::kPatternVStripes},
          {x518::kPatternS1, 0x1E0},
          {x518::kPatternC1, 255},
          {x518::regAt(x518::kPatternC1, 1), 255},
          {x518::regAt(x518::kPatternC1, 2), 255},
          {x518::kPatternD1, 3}},
         {0, 0, kTileW, kTileH},
         {{0, 0, 0xFFFFFFFF}, {479, 5, 0xFFFFFFFF}, {480, 5, 0xFF030000}, {960, 5, 0xFFFFFFFF}},
         {0, 0, kTileW, kTileH}},
        // 500 x 300 source pixels zoomed to 1000 x 600: OACT counts source
        // pixels, and starts a line early and holds two lines more.
        {"zoomed twice",
         {{x518::kOchHControl, x518::kOchHControlZoom},
          {x518::kOchHStep, 32736},
          {x518::kOchVZoom, x518::kOchVZoomOn},
          {x518::kOchVStep, 32714}},
         {100, 99, 500, 301},
         {{100, 100, hdmi1}},
         {100, 100, 1000, 600}},
    };
    source(0, 2);
    mix(0, {0});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        show(0, 0, c.window);
        set(x518::kOchAreaHend, kHs + kTileW);
        for (const auto& [spec, value] : c.regs)
            set(spec, value);
        const Canvas canvas = chip->canvas({1, 1});
        for (const auto& [x, y, colour] : c.pixels)
            EXPECT_EQ(canvas.at(x, y), colour) << x << "," << y;
        const Seen s = look(canvas);
        EXPECT_EQ(s.litBounds, c.covered);
        EXPECT_EQ(s.lit, c.covered.w * c.covered.h);
        for (const auto& [spec, value] : c.regs)
            set(spec, 0);
    }
}

TEST_F(CanvasTest, TheBoxWritesTheLedCanvasItsBlockPublishesAsAPicture)
{
    KEL_RAM_PARA& block = KelRamPara::pInstance()->ram_para;
    block.och_num_h = 0;  // no output panel yet
    EXPECT_FALSE(videocanvas::write().empty());
    EXPECT_FALSE(platform::exists(videocanvas::kPicture));

    source(0, 2);
    show(1, 0, {0, 0, 100, 100});
    mix(1, {1});
    chip->setReg(0x00, 0x08, x518::kOchEnableOn);
    block.och_num_h = 2;
    block.och_num_v = 1;
    block.led_x = 1820;
    block.led_y = 0;
    block.led_width = 200;
    block.led_height = 100;
    ASSERT_EQ(videocanvas::write(), "");
    const QImage png(QString::fromStdString(platform::path(videocanvas::kPicture)));
    ASSERT_EQ(png.size(), QSize(200, 100));
    EXPECT_EQ(png.pixel(99, 50), kCanvasBlack);
    EXPECT_EQ(png.pixel(100, 50), portColour(1));
}

// Tile counts a PC wrote whose product an int cannot hold (62177 x 41585)
// are no layout: nothing is drawn, not even a black cut of the LED area.
TEST_F(CanvasTest, TileCountsWhoseProductPassesAnIntDrawNothing)
{
    EXPECT_FALSE(chip->canvas({2, 1, 0, 0, 100, 100}).empty());
    EXPECT_TRUE(chip->canvas({62177, 41585, 0, 0, 100, 100}).empty());
    EXPECT_TRUE(chip->canvas({65535, 65535, 0, 0, 100, 100}).empty());
}

// The OSD window over two tiles: filled with the background colour over the
// video, hidden under it when it lies below, only framed in the character
// colour when the plane is transparent (each tile's part framed on its own).
TEST_F(CanvasTest, TheOsdWindowShowsInItsBackgroundColourOrAsAFrame)
{
    x518_drv drv;
    const int fd = drv.initialize();
    ASSERT_GE(fd, 0);
    auto osd = [&](u32 control, u32 fill) {
        drv.write_X518(fd, x518::reg(0xFF, 0x01, 1), 1, 0);  // colour table: 1 dark blue, 2 yellow (0xBBGGRR)
        drv.write_X518(fd, x518::reg(0x09, 0x1F, 1), 1, 0);
        for (u32 b : {0x00u, 0x00u, 0x80u, 0xFFu, 0xFFu, 0x00u})
            drv.write_X518(fd, x518::reg(0x09, 0x20, 1), b, 0);
        drv.write_X518(fd, x518::reg(0xFF, 0x01, 1), 0, 0);
        drv.write_X518(fd, x518::reg(0x04, 0x0B, 2), fill, 0);
        drv.write_X518(fd, x518::reg(0x04, 0x08, 1), 1, 0);  // the plane's fill
        const Rect parts[] = {{1800, 50, 120, 64}, {0, 50, 180, 64}};
        for (int t = 0; t < 2; ++t) {
            set(x518::kOsdControl, control, t);
            set(x518::kOsdHStart, u32(kHs + x518::kOsdHStartShift + parts[t].x), t);
            set(x518::kOsdWidth, u32(parts[t].w), t);
            set(x518::kOsdVStart, u32(kVs + x518::kOsdVStartShift + parts[t].y), t);
            set(x518::kOsdHeight, u32(parts[t].h), t);
        }
    };
    const uint32_t blue = 0xFF000080, yellow = 0xFFFFFF00, hdmi1 = portColour(1);
    source(0, 2);
    show(0, 0, {1700, 0, 220, 1080});
    mix(0, {0});
    chip->setReg(0x00, 0x09, x518::kOchEnableOn);
    const CanvasLayout twoTiles{2, 1};

    osd(x518::kOsdControlBase | x518::kOsdShowText, 1);
    Seen s = look(chip->canvas(twoTiles));
    EXPECT_EQ(s.bounds[blue], (Rect{1800, 50, 300, 64}));
    EXPECT_EQ(s.count[blue], 300 * 64);
    osd(x518::kOsdControlBase | x518::kOsdShowText | x518::kOsdBelowVideo, 1);
    EXPECT_EQ(look(chip->canvas(twoTiles)).count[blue], 180 * 64);  // the window covers tile 0's part
    osd(x518::kOsdControlBase | x518::kOsdShowText, 255);
    s = look(chip->canvas(twoTiles));
    EXPECT_EQ(s.bounds[yellow], (Rect{1800, 50, 300, 64}));
    EXPECT_EQ(s.count[yellow], 2 * 300 + 4 * 62);
    EXPECT_EQ(s.count[hdmi1], 220 * 1080 - (2 * 120 + 2 * 62));  // tile 0's frame
    osd(x518::kOsdControlBase, 1);                               // not shown
    EXPECT_EQ(look(chip->canvas(twoTiles)).count.count(blue), 0u);
}

// A channel on the second-half code of a V-by-One receiver that gives its
// lines whole captures nothing: its capture area over another channel's
// memory leaves that picture as it is.
TEST_F(CanvasTest, ASecondHalfCodeOfAReceiverThatGivesWholeLinesWritesNothing)
{
    source(0, 12);  // V-by-One receiver 1 (port 5), its first-half code
    source(1, 13);  // its second-half code, into channel 0's memory
    set(x518::kIsfld, kBufferAt * 0, 1);
    show(0, 0, {0, 0, kTileW, kTileH});
    mix(0, {0});
    EXPECT_EQ(look(chip->canvas({1, 1})).count[portColour(5)], kTileW * kTileH);
}

namespace {

// The process's peak memory (VmHWM) in KiB, and its reset to what it holds
// now; false where the kernel offers neither.
bool resetPeakMemory()
{
    std::ofstream out("/proc/self/clear_refs");
    return bool(out << "5" << std::flush);
}
long peakMemoryKb()
{
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

}  // namespace

// The canvas of an 8K LED screen, eight tiles of 1920 x 2160, is drawn and
// written a band of rows at a time: the box's peak memory grows by a few MB,
// not by the 132 MB of the picture (once 250 MB and more).
TEST_F(CanvasTest, AnEightKCanvasIsWrittenInLittleMemory)
{
    constexpr int kTallTile = 2 * kTileH, kAcross = 4, kDown = 2;
    constexpr long kMostGrowthKb = 24 * 1024;
    source(0, 2);
    for (int k = 0; k < kAcross * kDown; ++k) {
        set(x518::kOchActVend, kVs + kTallTile, k);
        set(x518::kOchAreaVend, kVs + kTallTile, k);
        show(k, 0, {0, 0, kTileW, kTileH});
        mix(k, {k});
    }
    KEL_RAM_PARA& block = KelRamPara::pInstance()->ram_para;
    block.och_num_h = kAcross;
    block.och_num_v = kDown;
    block.led_x = block.led_y = 0;
    block.led_width = kAcross * kTileW;
    block.led_height = kDown * kTallTile;
    if (!resetPeakMemory() || peakMemoryKb() < 0)
        GTEST_SKIP() << "no peak memory to read here";
    const long before = peakMemoryKb();
    ASSERT_EQ(videocanvas::write(), "");
    EXPECT_LT(peakMemoryKb() - before, kMostGrowthKb);
    QImageReader png(QString::fromStdString(platform::path(videocanvas::kPicture)));
    EXPECT_EQ(png.size(), QSize(kAcross * kTileW, kDown * kTallTile));
}
