// The whole program started in-process on a fresh simulated box: the test
// runs inside the event loop that start-up ends in.
#pragma once

#include "app/main.h"
#include "app/usbserver.h"
#include "fpga/fpga_manage.h"
#include "links/networkmanage.h"
#include "links/uart_inout.h"
#include "links/uart_inout_4G.h"
#include "links/udpnetmanage.h"
#include "tests/support/box_test.h"
#include "videochip/x518_manage.h"
#include "videoio/tamixsource.h"

#include <QTimer>
#include <functional>

class RunningBox : public BoxTest {
protected:
    // The box never stops its device threads; a test does before it ends.
    void TearDown() override
    {
        if (UsbServer::p_UsbServer)
            UsbServer::p_UsbServer->stopThread();
        if (udpnetManage::p_udpnetManage)
            udpnetManage::p_udpnetManage->stop();
        if (Zt_uart_inout::p_Zt_uart_inout)
            Zt_uart_inout::p_Zt_uart_inout->stop();
        if (networkManage::p_networkManage)
            networkManage::p_networkManage->stop();
        if (Zt_uart_inout_4G::p_Zt_uart_inout_4G)
            Zt_uart_inout_4G::p_Zt_uart_inout_4G->stop();
        if (x518_manage::p_x518_manage)
            x518_manage::p_x518_manage->stopThread();
        if (tamixsource::p_tamix_source)
            tamixsource::p_tamix_source->stopThread();
        if (fpga_manage::p_fpga_manage)
            fpga_manage::p_fpga_manage->stop();
        BoxTest::TearDown();
    }
    // Runs the start-up with `inLoop` posted to its event loop, which only
    // the loop that start-up ends in delivers.
    int runBox(const std::function<void()>& inLoop)
    {
        QTimer::singleShot(0, inLoop);
        int argc = 1;
        char name[] = "kelR54N";
        char* argv[] = {name, nullptr};
        return kelR54N_main(argc, argv, StartupOptions{false});
    }
};

