// Fixtures for the video chip tests: a fresh simulated box with its chip,
// and a chip manager on it without its worker thread.
#pragma once

#include "app/kelrampara.h"
#include "platform/sim/sim_x518.h"
#include "tests/support/box_test.h"
#include "videochip/x518_drv.h"
#include "videochip/x518_manage.h"

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
