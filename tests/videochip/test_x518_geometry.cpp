// Window geometry: a window's parts in its output channels, scaling ratios,
// stitch groups, margins inside the cells, and crops of an input.
#include "tests/videochip/chip_test.h"

namespace {

class GeometryTest : public ManagerTest {
protected:
    void SetUp() override
    {
        ManagerTest::SetUp();
        loadModel();  // one output channel is 1920 x 2160
    }
};

}  // namespace

TEST_F(GeometryTest, AWindowSplitsOverItsColumnsWithFirstAndLastFlags)
{
    struct Case {
        const char* name;
        i32 x, w;
        i32 hst[2], hw[2], first[2], last[2];
    };
    const Case cases[] = {
        {"one cell on a border", 0, 1920, {0, 0}, {1920, 0}, {1, 0}, {1, 0}},
        {"ending on a border", 100, 1820, {100, 0}, {1820, 0}, {1, 0}, {1, 0}},
        {"across the border", 100, 1920, {100, 0}, {1820, 100}, {1, 0}, {0, 1}},
        {"starting in column 1", 2000, 500, {0, 80}, {0, 500}, {0, 1}, {0, 1}},
        {"in no column", 3840, 100, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    };
    m->model.PM_WIN_SHAPE[0][0] = 2;
    m->model.PM_WIN_SHAPE[0][1] = 1;
    for (const Case& c : cases) {
        _ImageWindowDef2_St out[2];
        m->calc_oact({c.x, c.w, 60, 1000}, out, 0);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(out[i].hst, c.hst[i]) << c.name << " " << i;
            EXPECT_EQ(out[i].hw, c.hw[i]) << c.name << " " << i;
            EXPECT_EQ(out[i].h_first, c.first[i]) << c.name << " " << i;
            EXPECT_EQ(out[i].h_last, c.last[i]) << c.name << " " << i;
        }
        EXPECT_EQ(out[0].vst, 60) << c.name;
        EXPECT_EQ(out[0].vw, 1000) << c.name;
        EXPECT_EQ(out[0].v_first + out[0].v_last, 2) << c.name;
    }
}

TEST(WindowScaling, ShrinkOrZoomPerDirectionAndNothingForEqualSizes)
{
    struct Case {
        i32 in, out, mode, shrink, zoom;
    };
    const Case cases[] = {
        {1920, 1920, 0, 0, 0},     {1920, 960, 1, 32751, 0}, {960, 1920, 2, 0, 32751},
        {1920, 1919, 1, 65502, 0}, {0, 1920, 0, 0, 0},       {1920, -1, 0, 0, 0},
    };
    for (const Case& c : cases) {
        _ScalingSt s{};
        x518_manage::calc_scaling({0, c.in, 0, 1080}, {0, c.out, 0, 1080}, &s);
        EXPECT_EQ(s.h_mode, c.mode) << c.in << " -> " << c.out;
        EXPECT_EQ(s.h_shrink, c.shrink) << c.in << " -> " << c.out;
        EXPECT_EQ(s.h_zoom, c.zoom) << c.in << " -> " << c.out;
        EXPECT_EQ(s.v_mode, 0);
    }
}

TEST_F(GeometryTest, StitchGroupsChannelsOfAWindowAndItsMarginsInTheCells)
{
    const i32 groups[] = {0, 0, 2, 3, 3, 5};  // 0 leads 1; 3 leads 4
    std::copy(std::begin(groups), std::end(groups), m->model.PM_WIN_STITCHING);
    struct Case {
        int window, result, lead, partner;
    };
    for (const Case& c : {Case{0, 1, 0, 1}, Case{1, 2, 0, 1}, Case{2, 0, 2, -1}, Case{4, 2, 3, 4}}) {
        int w = c.window, partner = 0;
        EXPECT_EQ(m->check_stitching_win(&w, &partner), c.result) << c.window;
        EXPECT_EQ(w, c.lead) << c.window;
        EXPECT_EQ(partner, c.partner) << c.window;
    }

    const i32 windowOf[] = {6, 2, 2, 6, 2, 6, 6, 6}, areaOf[] = {8, 1, 0, 8, 2, 8, 8, 8};
    std::copy(std::begin(windowOf), std::end(windowOf), m->model.PM_WIN_NUM);
    std::copy(std::begin(areaOf), std::end(areaOf), m->model.PM_AREA_NUM);
    int och[8];
    m->get_och(2, och);
    EXPECT_EQ(std::vector<int>(och, och + 8), (std::vector<int>{2, 1, 4, -1, -1, -1, -1, -1}));

    m->kelApi_PnlInit2(1920, 1080, 1920, 1080, 0);  // cells of 1920 x 1080
    ST_WIN_INFO r{};
    r.x = 2000;
    r.y = 100;
    r.w = 1720;
    r.h = 900;
    r.h_cnt = r.v_cnt = 1;
    const u32 margins[] = {80, 120, 100, 80};
    for (int side = 0; side < 4; ++side)
        EXPECT_EQ(m->kelApi_OchGetWinOffset1(&r, side), margins[side]) << side;
    EXPECT_EQ(m->kelApi_OchGetWinOffset1(&r, 4), 0u);
}

TEST_F(GeometryTest, CropsAreMeasuredOnTheWholeInputAndClampedToIt)
{
    // A V-by-One port below state 4 counts half the pixels of a line.
    m->ports.PI_ACT[4][1] = 960;
    m->ports.PI_ACT[4][3] = 1080;
    m->ports.PI_STATE[4] = 1;
    const ST_RECT crop{100, 50, 1000, 900};
    const u32 margins[] = {100, 820, 50, 130};
    for (int side = 0; side < 4; ++side)
        EXPECT_EQ(m->kelApi_CropGetOffset(4, &crop, side), margins[side]) << side;
    const ST_RECT wide{1000, 0, 1000, 100};
    EXPECT_EQ(m->kelApi_CropGetOffset(4, &wide, 1), 0u);  // negative margins are 0
    m->ports.PI_STATE[4] = 4;
    EXPECT_EQ(m->kelApi_CropGetOffset(4, &crop, 1), 0u);  // now 960 wide
    EXPECT_EQ(m->kelApi_CropGetOffset(0, &crop, 0), 0u);  // no signal

    // Window 1 shows DVI (port 2, 1920 x 1080): a crop wider than it becomes the whole width.
    m->ports.PI_ACT[2][1] = 1920;
    m->ports.PI_ACT[2][3] = 1080;
    m->model.win_info[1].input = ram::kSourceDvi;
    ST_RECT r{800, 100, 1500, 500};
    m->x518_SetCrop(1, 1, &r);
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.w, 1920);
    EXPECT_EQ(m->model.PM_INPUT_OFFSET_EN[1], 1);
    const i32 set[] = {0, 0, 100, 480};
    for (int side = 0; side < 4; ++side)
        EXPECT_EQ(m->model.PM_INPUT_OFFSET[1][side], set[side]) << side;
    m->x518_SetCrop(1, 0, &r);
    EXPECT_EQ(m->model.PM_INPUT_OFFSET_EN[1], 0);
    EXPECT_EQ(m->model.PM_INPUT_OFFSET[1][3], 0);
}
