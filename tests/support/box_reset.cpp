#include "tests/support/box_reset.h"

#include "app/aginglog.h"
#include "app/apply_handover.h"
#include "app/config_engine.h"
#include "app/firmwareupdate.h"
#include "app/global.h"
#include "app/kelrampara.h"
#include "app/page_handover.h"
#include "app/syncupdate.h"
#include "app/tip.h"
#include "app/usbserver.h"
#include "fpga/fpga_manage.h"
#include "fpga/send_para.h"
#include "links/file_deal.h"
#include "links/message_deal.h"
#include "links/networkmanage.h"
#include "links/r54_wifi_config.h"
#include "links/uart_inout.h"
#include "links/uart_inout_4G.h"
#include "links/udpnetmanage.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_control.h"
#include "screens/page.h"
#include "tools/qroundprogressbar.h"
#include "videochip/omenu.h"
#include "videochip/x518_manage.h"
#include "videoio/tamixsource.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <iterator>
#include <vector>

namespace {

// Deletes a singleton and leaves its pointer null, whether or not its
// destructor clears the pointer itself.
template <class T>
void drop(T*& instance)
{
    T* gone = instance;
    instance = nullptr;
    delete gone;
}

void runDeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

// Every page and window goes, with the timer of the tick; what threads and
// timers had queued for them goes too.
void closeWindows()
{
    if (!qApp)
        return;
    Page::closeStack();
    runDeferredDeletes();
    std::vector<QPointer<QWidget>> windows;
    for (QWidget* w : QApplication::topLevelWidgets())
        windows.emplace_back(w);
    for (const QPointer<QWidget>& w : windows)
        delete w.data();
    drop(g_timer);
    runDeferredDeletes();
    QCoreApplication::removePostedEvents(nullptr);
}

void dropSingletons()
{
    drop(R54_WIFI_CONFIG::p_wifi);
    drop(Zt_uart_inout_4G::p_Zt_uart_inout_4G);
    drop(networkManage::p_networkManage);
    drop(Zt_uart_inout::p_Zt_uart_inout);
    drop(udpnetManage::p_udpnetManage);
    drop(UsbServer::p_UsbServer);
    drop(x518_manage::p_x518_manage);
    drop(tamixsource::p_tamix_source);
    drop(fpga_manage::p_fpga_manage);
    drop(SyncUpdate::p_SyncUpdate);
    drop(KelRamPara::p_kelrampara_config);
    drop(ConfigEngine::p_config);
}

// What the layers above the base keep process-wide, back to its start.
void clearLayerState()
{
    setGlobalStartValues();
    ApplyHandover::flag = 0;
    pagehandover::install({});
    KelRamPara::save_owed = 0;
    std::fill(std::begin(g_cut_source_state), std::end(g_cut_source_state), u8(0));
    g_language = 0;
    g_image_current = 0;
    file_deal::release(file_deal::owner());
    g_kel_file_deal_para = KEL_FILE_DEAL_PARA{};
    for (auto& from : edid_ram_table_from)
        from = 0;
    g_force_bkcolor = 0;
    g_fpga_x518_start = 0;
    g_osd_list = OSD_LIST{};
    g_send_para.end();
    g_send_para.mapping_value = 0;
    g_send_para.recovery_progress = 0;
    g_usb_grade = 0;
    g_ztfile_name.set(QString());
    line_type = LINE_TYPE{};
    g_wifi_reset_flag = 0;
    factoryage_log_diff3 = factoryage_log_diff5 = factoryage_log_diff10 = 0;
    factoryage_log_diff20 = factoryage_log_diffmore = 0;
    g_tip = nullptr;
    g_move_update = nullptr;
    g_qround_bar = nullptr;
}

}  // namespace

void stopBoxThreads()
{
    if (R54_WIFI_CONFIG::p_wifi)
        R54_WIFI_CONFIG::p_wifi->stop();
    if (Zt_uart_inout_4G::p_Zt_uart_inout_4G)
        Zt_uart_inout_4G::p_Zt_uart_inout_4G->stop();
    if (networkManage::p_networkManage)
        networkManage::p_networkManage->stop();
    if (Zt_uart_inout::p_Zt_uart_inout)
        Zt_uart_inout::p_Zt_uart_inout->stop();
    if (udpnetManage::p_udpnetManage)
        udpnetManage::p_udpnetManage->stop();
    if (UsbServer::p_UsbServer)
        UsbServer::p_UsbServer->stopThread();
    x518_manage::worker.stop();
    if (tamixsource::p_tamix_source)
        tamixsource::p_tamix_source->stopThread();
    if (fpga_manage::p_fpga_manage)
        fpga_manage::p_fpga_manage->stop();
    platform::sim::stopControlPipe();
}

void putBoxBack()
{
    stopBoxThreads();
    closeWindows();
    dropSingletons();
    clearLayerState();
    // A reboot is counted, never the end of the test program.
    platform::sim::setRebootHandler([] {});
}
