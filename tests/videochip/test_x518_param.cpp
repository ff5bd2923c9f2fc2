// System parameters, derived values, bookkeeping reset and the default
// window model with its change flags.
#include "tests/videochip/chip_test.h"

TEST_F(ManagerTest, DerivedValuesAndThePanelShapeFollowingTransmitterModeAndLayout)
{
    struct Case {
        u32 mode, layout, hshape, vshape;
    };
    const Case cases[] = {{0, 0, 4, 1}, {0, 1, 2, 2}, {2, 0, 2, 1}, {2, 3, 1, 2}, {1, 0, 8, 1}, {1, 1, 4, 2}};
    m->load_system_param();
    m->define_param();
    // Derived timing and memory of the defaults (the output timing shows in the initial load).
    EXPECT_EQ(m->sys.PS_CLK_MEM_Q, 200000000u);
    EXPECT_EQ(m->sys.PS_ACTVST, 82u);
    EXPECT_EQ(m->sys.PS_MEM_SC[7][4], 0x22000000u + 7 * 0x2000u);
    EXPECT_EQ(m->sys.PS_MEM_SC[3][0], 3 * 0x2000u);
    for (const Case& c : cases) {
        m->sys.PS_VBOTX_MODE = c.mode;
        m->sys.PS_VBOTX_LAYOUT = c.layout;
        m->define_param();
        EXPECT_EQ(m->sys.PS_PANEL_HSHAPE, c.hshape) << c.mode << "/" << c.layout;
        EXPECT_EQ(m->sys.PS_PANEL_VSHAPE, c.vshape);
        EXPECT_EQ(m->sys.PS_PANEL_HW, c.hshape * 1920);
        EXPECT_EQ(m->sys.PS_PANEL_VW, c.vshape * 2160);
    }
}

TEST_F(ManagerTest, TheDefaultModelIsCopiedWithEveryFlagRaisedOnce)
{
    loadModel();
    const i32 input[] = {4, 5, 1, 2, 3, 0};
    for (int w = 0; w < x518_manage::kWindows; ++w) {
        EXPECT_EQ(m->model.PM_INPUT[w], input[w]);
        EXPECT_EQ(m->model.g_chg_input[w], 1);  // every window differs from the reset "none"
        EXPECT_EQ(m->model.g_chg_dbd[w], 1);
        EXPECT_EQ(m->model.win_chg[w], 1);
    }
    // The table is read in order to its end.
    EXPECT_EQ(m->model.PM_WIN_OFFSET[3][2], 1080);
    EXPECT_EQ(m->model.PM_OVERLAY[7], 4);
    EXPECT_EQ(m->osd.PM_OSD_SCROLL_MODE, 2);
    EXPECT_EQ(m->model.PM_SWITCH[0], 1);
    EXPECT_EQ(m->model.PM_SWITCH[1], 0);
    EXPECT_EQ(m->model.switch_chg[0], 1);
    EXPECT_EQ(m->model.switch_chg[1], 0);
    EXPECT_EQ(m->model.overlay_chg + m->model.priority_chg + m->osd.osd_reset + m->osd.osd_redraw, 4);
}

TEST_F(ManagerTest, ASecondLoadRaisesNothingAndAChangedMemberOnlyItsOwnFlag)
{
    loadModel();
    m->load_param();
    for (int w = 0; w < x518_manage::kWindows; ++w) {
        EXPECT_EQ(m->model.win_chg[w] + m->model.g_chg_input[w] + m->model.win_attr_chg[w] + m->model.win_fade_chg[w] +
                      m->model.g_chg_dbd[w],
                  0)
            << w;
    }
    EXPECT_EQ(m->model.overlay_chg + m->model.priority_chg + m->osd.osd_reset + m->osd.osd_redraw +
                  m->model.switch_chg[0] + m->model.switch_chg[1],
              0);

    m->model.PM_WIN_DBD_CLIP[3] = 1;
    m->model.win_mirror_h[4] = 0;
    m->osd.PM_OSD_INPUT_OFFSET[2] = 7;
    m->load_param();
    EXPECT_EQ(m->model.g_chg_dbd[3], 1);
    EXPECT_EQ(m->model.win_attr_chg[4], 1);
    EXPECT_EQ(m->osd.osd_redraw, 1);
    EXPECT_EQ(m->osd.osd_reset, 0);
    EXPECT_EQ(m->model.g_chg_dbd[2] + m->model.win_attr_chg[3] + m->model.win_chg[3], 0);
    EXPECT_EQ(m->model.PM_WIN_DBD_CLIP[3], 0);
}
