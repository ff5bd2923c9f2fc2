// Fixtures for the video chip tests: a fresh simulated box with its chip,
// and a chip manager on it without its worker thread.
#pragma once

#include "app/kelrampara.h"
#include "platform/sim/sim_x518.h"
#include "tests/support/box_test.h"
#include "videochip/x518_drv.h"
#include "videochip/x518_manage.h"
#include "videoio/tamixsource.h"
#include "platform/sim/sim_receiver.h"

#include <climits>
#include <memory>

using platform::sim::SimX518;

class ChipTest : public BoxTest {
protected:
    void SetUp() override
    {
        BoxTest::SetUp();
        chip = platform::sim::deviceAs<SimX518>(SimX518::kDevicePath);
        ASSERT_TRUE(chip);
    }

    // Register writes the chip saw to `bank`:`address`, in order.
    std::vector<uint8_t> writesTo(uint8_t bank, uint8_t address) const
    {
        std::vector<uint8_t> out;
        for (const auto& e : chip->journal())
            if (e.bank == bank && e.address == address)
                out.push_back(e.value);
        return out;
    }

    std::shared_ptr<SimX518> chip;
};

class ManagerTest : public ChipTest {
protected:
    void SetUp() override
    {
        ChipTest::SetUp();
        store = KelRamPara::pInstance();
        m = x518_manage::prepareInstance();
        m->openChip();
        fd = m->spi_fd;
        ASSERT_GE(fd, 0);
    }

    // The model as the bring-up leaves it before any register is written.
    void loadModel()
    {
        m->load_system_param();
        m->define_param();
        m->load_param();
    }

    KelRamPara* store = nullptr;
    x518_manage* m = nullptr;
    int fd = -1;
};

// A chip manager brought up to running mode, with the input-source manager
// on the simulated bus (both driven pass by pass from the test). The block
// shows four windows, window (and chip window) i the source i, in the
// quarters of the 1920 x 1080 canvas: all on output channel 0, so chip
// window i is shown by output channel i (the later ones on spares).
class RunningChipTest : public ManagerTest {
protected:
    static constexpr int kShownWindows = 4;

    void SetUp() override
    {
        ManagerTest::SetUp();
        KEL_RAM_PARA& b = store->ram_para;
        for (int i = 0; i < kShownWindows; ++i) {
            IMAGE_PARA& im = b.image[i];
            im.enable = ram::kImageShown;
            im.source = u16(i);
            im.x = u16(i % 2 * 960);
            im.y = u16(i / 2 * 540);
            im.w = 960;
            im.h = 540;
        }
        store->ram_para_shadow = b;
        m->applied = b;
        src = tamixsource::pInstance();
        ASSERT_GE(src->openBus(), 0);
        G_timeTicks = 5000;
        for (int i = 0; i < 8 && m->init_state < x518_manage::kRunningState; ++i)
            m->runPass();
        ASSERT_EQ(m->init_state, x518_manage::kRunningState);
    }

    // The input-source manager from power-on to its first poll.
    void inputsUp()
    {
        src->runPass();
        G_timeTicks += tamixsource::kPowerUpTicks;
        for (int i = 0; i < 4; ++i)
            src->runPass();
        ASSERT_EQ(src->sourceState(), tamixsource::kRunning);
    }
    // The next poll of the inputs.
    void poll()
    {
        G_timeTicks += tamixsource::kPollTicks;
        src->runPass();
    }
    // The inputs polled and measured, their windows programmed.
    void settle()
    {
        for (int i = 0; i < 12; ++i) {
            poll();
            m->runPass();
        }
    }
    // The chip stops answering for a pass, then is brought up again after
    // the manager's retry pauses.
    void restartChip()
    {
        chip->failTransfers(INT_MAX);
        m->runPass();
        ASSERT_LT(m->init_state, x518_manage::kRunningState);
        chip->failTransfers(0);
        for (int i = 0; i < 20 && m->init_state < x518_manage::kRunningState; ++i) {
            G_timeTicks += x518_manage::kRetryTicks;
            m->runPass();
        }
        ASSERT_EQ(m->init_state, x518_manage::kRunningState);
    }
    // The chip's view of the reported timings: records, then measurement.
    void watchPorts()
    {
        m->load_hdmi();
        m->check_input_port(fd);
    }
    void clearInputChanges()
    {
        for (int w = 0; w < x518_manage::kWindows; ++w)
            m->model.g_chg_input[w] = 0;
    }
    KEL_RAM_PARA& live() { return store->ram_para; }
    // The LED canvas as the block publishes it.
    platform::Canvas canvas() const
    {
        const KEL_RAM_PARA& b = store->ram_para;
        return chip->canvas({b.och_num_h, b.och_num_v, b.led_x, b.led_y, b.led_width, b.led_height});
    }
    // A writer: edits the block under the manager's mutex and raises the flag.
    template <class F>
    void write(F edit, u8 flag = 1)
    {
        QMutexLocker lock(&x518_manage::mutex);
        edit(live());
        x518_manage::apply_flag = flag;
    }

    tamixsource* src = nullptr;
};
