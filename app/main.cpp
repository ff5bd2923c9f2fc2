// The box's control program.
#include "app/config_engine.h"
#include "app/global.h"
#include "app/kelrampara.h"
#include "app/syncupdate.h"
#include "fpga/fpga_manage.h"
#include "links/networkmanage.h"
#include "links/uart_inout.h"
#include "links/uart_inout_4G.h"
#include "links/udpnetmanage.h"
#include "platform/platform.h"
#include "videochip/x518_manage.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    platform::init(argc, argv);
    ConfigEngine::pInstance();
    KelRamPara::pInstance();
    SyncUpdate::pInstance();
    x518_manage::pInstance();
    QApplication app(argc, argv);
    fpga_manage::pInstance();
    fpga_manage::p_fpga_manage->initialize_start();
    QObject::connect(KelRamPara::p_kelrampara_config, SIGNAL(sig_update_para(int)), SyncUpdate::p_SyncUpdate,
                     SLOT(para_sync(int)));
    if (g_kel_keys == 1)
        SyncUpdate::p_SyncUpdate->update_usb_keyLed();
    // The control links, each starting its own threads.
    udpnetManage::pInstance();
    Zt_uart_inout::pInstance();
    networkManage::pInstance();
    Zt_uart_inout_4G::pInstance();
    return app.exec();
}
