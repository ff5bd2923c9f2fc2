#include "tools/tool_page.h"

#include "app/tip.h"
#include "fpga/fpga_manage.h"
#include "tools/qroundprogressbar.h"

ToolPage::ToolPage(PAGE_FOCUS number, QWidget* parent) : Page(number, parent)
{
    if (fpga_manage* fpga = fpga_manage::p_fpga_manage)
        connect(&fpga->job_report, &CardJobReport::sig_qround_bar_update, this, &ToolPage::jobProgress);
}

ToolPage::~ToolPage()
{
    // The bar is the page's child and goes with it.
    if (g_qround_bar && g_qround_bar->parent() == this)
        QRoundProgressBar::del_qround_bar();
}

bool ToolPage::jobShown()
{
    return g_qround_bar != nullptr;
}

bool ToolPage::mayPostJob()
{
    // A USB upgrade shares the manager's step counter: a job posted during
    // one would send the upgrade back to its first step.
    return !jobShown() && g_send_para.cmd.load() == SEND_NONE && g_usb_grade.load() == 0;
}

void ToolPage::slot_Button_back_clicked()
{
    if (!jobShown())
        Page::slot_Button_back_clicked();
}

bool ToolPage::modeRefused() const
{
    return Page::modeRefused() || jobShown();
}

void ToolPage::jobProgress(int percent)
{
    // The bar first: it closes at 100, before the end is told.
    emit sig_qround_bar_update(percent);
    if (percent < fpga_manage::kProgressEnd || !job_posted_)
        return;
    job_posted_ = false;
    const fpga_manage* fpga = fpga_manage::p_fpga_manage;
    jobEnded(fpga && fpga->job_report.no_fpga.load());
}

void ToolPage::jobEnded(bool noFpga)
{
    if (noFpga && g_tip)
        g_tip->tip_create(TIP::kJobNoFpga);
}

bool ToolPage::postJob(u8 job)
{
    if (!mayPostJob())
        return false;
    QRoundProgressBar::create_qround_bar(this);
    // Bars of earlier jobs stay hidden on the page: only the new one listens.
    disconnect(this, &ToolPage::sig_qround_bar_update, nullptr, nullptr);
    connect(this, &ToolPage::sig_qround_bar_update, g_qround_bar, &QRoundProgressBar::para_sync);
    job_posted_ = true;
    g_send_para.post(job);
    if (fpga_manage* fpga = fpga_manage::p_fpga_manage)
        fpga->wake();
    return true;
}
