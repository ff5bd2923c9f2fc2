// The box's control program.
#include "app/config_engine.h"
#include "app/global.h"
#include "app/kelrampara.h"
#include "app/syncupdate.h"
#include "platform/platform.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    platform::init(argc, argv);
    ConfigEngine::pInstance();
    KelRamPara::pInstance();
    SyncUpdate::pInstance();
    QApplication app(argc, argv);
    QObject::connect(KelRamPara::p_kelrampara_config, SIGNAL(sig_update_para(int)), SyncUpdate::p_SyncUpdate,
                     SLOT(para_sync(int)));
    if (g_kel_keys == 1)
        SyncUpdate::p_SyncUpdate->update_usb_keyLed();
    return app.exec();
}
