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
