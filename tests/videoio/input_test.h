// A simulated box with its input-source manager, driven pass by pass and
// tick by tick from the test (the polling thread is not started unless a
// test starts it).
#pragma once

#include "app/kelrampara.h"
#include "app/utils.h"
#include "platform/sim/sim_edid.h"
#include "platform/sim/sim_i2c.h"
#include "platform/sim/sim_receiver.h"
#include "tests/support/box_test.h"
#include "videoio/tamixsource.h"

#include <QSignalSpy>
#include <algorithm>
#include <array>
#include <memory>

using platform::sim::SourceTiming;

class InputTest : public BoxTest {
protected:
    void SetUp() override
    {
        BoxTest::SetUp();
        bus = platform::sim::i2cBus();
        ASSERT_TRUE(bus);
        store = KelRamPara::pInstance();
        src = tamixsource::pInstance();
        ASSERT_GE(src->openBus(), 0);
        G_timeTicks = 5000;
        // The chip manager has programmed its windows for the inputs (a test
        // of the hand-over clears it).
        g_x518_source_online = 1;
    }

    void ticks(u32 n) { G_timeTicks += n; }
    void passes(int n)
    {
        for (int i = 0; i < n; ++i)
            src->runPass();
    }
    // From power-on to the running state: the power-up wait, the probe and
    // the EDID check (when the settings ask for it).
    void powerUp()
    {
        src->runPass();
        ticks(tamixsource::kPowerUpTicks);
        passes(3);
        ASSERT_EQ(src->sourceState(), tamixsource::kRunning);
    }
    // The next poll of every input, and the report of what it found.
    void pollAndReport()
    {
        ticks(tamixsource::kPollTicks);
        src->runPass();
        ticks(tamixsource::kReportTicks);
        src->runPass();
    }
    ST_HDMI_INFO record(int source)
    {
        QMutexLocker lock(&Utils::_source_hdminfo_mutex);
        return src->hdminfo[source];
    }
    SOURCE_STATUS status(int source) const { return store->ram_para.source_status[source]; }
    // Width, height and rate as reported.
    std::array<int, 3> reported(int source) const
    {
        const SOURCE_STATUS s = status(source);
        return {s.width, s.height, s.rate};
    }
    std::vector<u8> eeprom(int port) const { return platform::sim::edidEeprom(port)->contents(); }
    std::vector<u8> edidFor(int w, int h, int rate) const
    {
        std::vector<u8> e(tamix::kEdidSize);
        tamixsource::Set_Custom_HDMI_EDID(e.data(), w, h, rate);
        return e;
    }

    std::shared_ptr<platform::sim::SimI2cBus> bus;
    KelRamPara* store = nullptr;
    tamixsource* src = nullptr;
};
