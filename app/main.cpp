// The box's control program.
#include "app/config_engine.h"
#include "app/global.h"
#include "platform/platform.h"
#include "videochip/x518_manage.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    platform::init(argc, argv);
    ConfigEngine::pInstance();
    x518_manage::pInstance();
    QApplication app(argc, argv);
    return app.exec();
}
