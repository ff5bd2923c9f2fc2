// The tool pages on a simulated box with its FPGA manager, driven pass by
// pass from the test (the manager's thread is not started), so that a page's
// job runs as the box runs it.
#pragma once

#include "fpga/fpga_manage.h"
#include "platform/sim/sim_fpga.h"
#include "tests/app/test_mainwindow_fixture.h"
#include "tools/qroundprogressbar.h"

class ToolPageTest : public PageTest {
protected:
    void SetUp() override
    {
        PageTest::SetUp();
        g_send_para.end();
        g_send_para.recovery_progress = 0;
        board = platform::sim::fpgaBoard();
        ASSERT_TRUE(board);
        fpga = fpga_manage::pInstance();
        *fpga->gpio_rst_fpga0 = fpga::kRstRun;
        *fpga->gpio_rst_fpga1 = fpga::kRstRun;
        G_timeTicks = 1000;
        // The jobs' change codes reach the page with focus, as on the box.
        QObject::connect(store, &KelRamPara::sig_update_para, SyncUpdate::p_SyncUpdate, &SyncUpdate::para_sync);
    }
    // `n` ticks on, then one pass of the manager.
    void after(u32 n)
    {
        G_timeTicks += n;
        fpga->fpga_manage_deal();
    }
    // FPGA 0 running and every linked port searched once.
    void upAndSearched()
    {
        for (int i = 0; i < 10 && !fpga->get_fpga_status(); ++i)
            after(1);
        ASSERT_EQ(fpga->get_fpga_status(), 1);
        for (int i = 0; i < fpga::kSendPorts; ++i)
            after(fpga_manage::kSearchTicks);
    }
    // Passes, a tick apart, until the posted job has ended.
    void runJob(int maxPasses = 2000)
    {
        for (int i = 0; i < maxPasses && g_send_para.cmd.load() != SEND_NONE; ++i)
            after(1);
        after(1);
    }
    // A job's bar taken down as the job's end would.
    static void endJob()
    {
        g_send_para.end();
        if (g_qround_bar)
            g_qround_bar->para_sync(fpga_manage::kProgressEnd);
    }
    static void keys(QWidget* page, std::initializer_list<int> list)
    {
        for (int key : list)
            click(page, key);
    }

    std::shared_ptr<platform::sim::SimFpgaBoard> board;
    fpga_manage* fpga = nullptr;
};
