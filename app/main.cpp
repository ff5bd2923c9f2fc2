// The box's control program.
#include "app/config_engine.h"
#include "app/global.h"
#include "app/kelrampara.h"
#include "app/syncupdate.h"
#include "fpga/fpga_manage.h"
#include "platform/platform.h"
#include "videochip/x518_manage.h"
#include "videoio/tamixsource.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    platform::init(argc, argv);
    ConfigEngine::pInstance();
    KelRamPara::pInstance();
    SyncUpdate::pInstance();
    tamixsource::pInstance();
    x518_manage::pInstance();
    QApplication app(argc, argv);
    fpga_manage::pInstance();
    fpga_manage::p_fpga_manage->initialize_start();
    tamixsource::p_tamix_source->initialize();
    QObject::connect(KelRamPara::p_kelrampara_config, SIGNAL(sig_update_para(int)), SyncUpdate::p_SyncUpdate,
                     SLOT(para_sync(int)));
    if (g_kel_keys == 1)
        SyncUpdate::p_SyncUpdate->update_usb_keyLed();
    return app.exec();
}
