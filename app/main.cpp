// The box's control program.
#include "app/config_engine.h"
#include "app/global.h"
#include "fpga/fpga_manage.h"
#include "platform/platform.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    platform::init(argc, argv);
    ConfigEngine::pInstance();
    QApplication app(argc, argv);
    fpga_manage::pInstance();
    fpga_manage::p_fpga_manage->initialize_start();
    return app.exec();
}
