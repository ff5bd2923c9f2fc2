// The I2C seam: the driver's I2C_RDWR lists on the simulated bus, the
// simulated receivers and EDID EEPROMs, and the control that plugs a signal.
#include "tests/videoio/input_test.h"

#include "platform/platform.h"
#include "platform/sim/sim_x518.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>

namespace rx = tamix::rx;
using platform::sim::SimX518;

TEST_F(InputTest, AnAddressNobodyAnswersFailsLikeAMissingDeviceAndStopsTheList)
{
    int fd = platform::devOpen(tamix::kI2cDevice, O_RDWR);
    ASSERT_GE(fd, 0);
    u8 reg = rx::kId0, id[2] = {};
    i2c_msg good[2] = {{tamix::receiverAddress(1), 0, 1, &reg}, {tamix::receiverAddress(1), I2C_M_RD, 2, id}};
    i2c_rdwr_ioctl_data ok{good, 2};
    EXPECT_EQ(platform::devIoctl(fd, I2C_RDWR, &ok), 2);
    EXPECT_EQ(id[0], rx::kIdentity0);
    EXPECT_EQ(id[1], rx::kIdentity1);

    u8 data = 0x55;
    i2c_msg list[2] = {{0x20, 0, 1, &data}, {tamix::receiverAddress(1), I2C_M_RD, 1, id}};
    i2c_rdwr_ioctl_data missing{list, 2};
    bus->resetCounters();
    errno = 0;
    EXPECT_EQ(platform::devIoctl(fd, I2C_RDWR, &missing), -1);
    EXPECT_EQ(errno, ENXIO);
    EXPECT_EQ(bus->counters().nacks, 1u);
    EXPECT_EQ(bus->countersOf(tamix::receiverAddress(1)).reads, 0u);  // nothing after the missing device

    Drv_I2C0 drv;
    ASSERT_GE(drv.openDevice(), 0);
    EXPECT_TRUE(drv.probe(tamix::eepromAddress(3)));
    EXPECT_FALSE(drv.probe(0x21));
    EXPECT_FALSE(drv.readRegs(0x21, 0, id, 1));
    EXPECT_FALSE(drv.readRegs(tamix::receiverAddress(0), 0, id, 0));  // an empty read is refused, not sent
    platform::devClose(fd);
}

TEST_F(InputTest, WithoutTheBusNodeTheDriverFailsEveryOperation)
{
    platform::sim::setDeviceMissing(tamix::kI2cDevice, true);
    Drv_I2C0 drv;
    EXPECT_EQ(drv.openDevice(), -1);
    u8 b = 0;
    EXPECT_FALSE(drv.probe(tamix::eepromAddress(0)));
    EXPECT_FALSE(drv.writeRegs(tamix::eepromAddress(0), 0, &b, 1));
}

TEST_F(InputTest, AnEepromWritesAPageThatWrapsAndIgnoresItsAddressDuringTheWriteCycle)
{
    Drv_I2C0 drv;
    ASSERT_GE(drv.openDevice(), 0);
    const u8 addr = tamix::eepromAddress(2);
    const u8 page[tamix::kEepromPage] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(drv.writeRegs(addr, 0x14, page, tamix::kEepromPage));  // starts in the middle of page 0x10
    u8 back[16] = {};
    EXPECT_FALSE(drv.readRegs(addr, 0x10, back, 16));  // still writing
    ASSERT_TRUE(drv.readRegs(addr, 0x10, back, 16));
    const u8 expect[16] = {5, 6, 7, 8, 1, 2, 3, 4, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_TRUE(std::equal(back, back + 16, expect));
    EXPECT_EQ(platform::sim::edidEeprom(2)->dataWrites(), 1u);
}

TEST_F(InputTest, EepromContentsOutliveARestartOfTheSimulatedBox)
{
    platform::sim::edidEeprom(1)->corrupt(7, 0x42);
    platform::sim::installVideoInputs();  // the devices of a restarted box, on the same root
    EXPECT_EQ(platform::sim::edidEeprom(1)->contents()[7], 0x42);
}

TEST_F(InputTest, PluggingASourceFeedsItsReceiverAndTheChipPortItIsWiredTo)
{
    auto chip = platform::sim::deviceAs<SimX518>(SimX518::kDevicePath);
    // The box starts with 1920x1080 at 60 Hz on HDMI1 only.
    EXPECT_TRUE(platform::sim::receiver(1)->signal());
    EXPECT_TRUE(chip->plugged(1));
    for (int s : {0, 2, 3}) {
        EXPECT_FALSE(platform::sim::receiver(s)->signal()) << s;
        EXPECT_FALSE(chip->plugged(tamix::kChipPortOfSource[s])) << s;
    }

    const u8 seq = platform::sim::receiver(3)->sequence();
    platform::sim::plugSource(3, SourceTiming::p2160_30());
    EXPECT_TRUE(chip->plugged(5));
    EXPECT_EQ(platform::sim::receiver(3)->sequence(), u8(seq + 1));
    RX_TIMING t;
    tamix_it6602 rx3(&src->bus, 3);
    ASSERT_TRUE(rx3.read(t));
    EXPECT_TRUE(t.signal);
    EXPECT_EQ(t.Hact, 3840);
    EXPECT_EQ(t.Vtotal, 2250);
    EXPECT_EQ(t.pclk_khz, 297000u);
    EXPECT_EQ(t.lane, 2);

    platform::sim::pullSource(3);
    EXPECT_FALSE(chip->plugged(5));
    ASSERT_TRUE(rx3.read(t));
    EXPECT_FALSE(t.signal);
    EXPECT_EQ(t.Hact, 0);
}
