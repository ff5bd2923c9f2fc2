#include "app/config_engine.h"
#include "app/global.h"
#include "app/utils.h"
#include "tests/support/box_test.h"

class Ethernet : public BoxTest {};

TEST_F(Ethernet, SetUpFromSettingsIsJournalledInOrder)
{
    ConfigEngine::pInstance();
    platform::sim::clearShellJournal();
    EXPECT_EQ(Utils::initIPAddress(), 0);
    const std::vector<std::string> expected = {
        "ifconfig eth0 &>/dev/null",
        "route del default wlan0",
        "ifconfig eth0 192.168.1.199 netmask 255.255.255.0",
        "route add -host 192.168.1.1 dev eth0",
        "route add default gw 192.168.1.1 metric 100",
        "route add -host 255.255.255.255 eth0",
        "route del 255.255.255.255 wlan1",
    };
    EXPECT_EQ(platform::sim::shellJournal(), expected);
    // The set-up takes the saved values, and the loader then shows them.
    ConfigEngine::p_config->write_config_variant(ConfigItem::IPAddress, "10.1.2.3");
    platform::sim::clearShellJournal();
    EXPECT_EQ(Utils::initIPAddress(), 0);
    EXPECT_EQ(journalWith("ifconfig eth0 1"), std::vector<std::string>{"ifconfig eth0 10.1.2.3 netmask 255.255.255.0"});
    EXPECT_EQ(settingsRead(g_str_ip), "10.1.2.3");
}

TEST_F(Ethernet, MissingEth0RunsOnlyTheTest)
{
    ConfigEngine::pInstance();
    platform::sim::clearShellJournal();
    platform::sim::setShellStatus("ifconfig eth0 &>/dev/null", 256);
    ConfigEngine::p_config->write_config_variant(ConfigItem::IPAddress, "10.0.0.9");
    EXPECT_EQ(Utils::initIPAddress(), 255);
    EXPECT_EQ(platform::sim::shellJournal().size(), 1u);
    EXPECT_EQ(settingsRead(g_str_ip), "192.168.1.199");  // globals not reloaded
    EXPECT_EQ(Utils::init_resteth("10.0.0.9", "10.0.0.1", "255.0.0.0"), 255);
}

TEST_F(Ethernet, AddressesThatAreNotDottedQuadsRunNothing)
{
    ConfigEngine::pInstance();
    for (const char* bad :
         {"1.2.3.4; reboot", "1.2.3", "1.2.3.256", "a.b.c.d", "", " 1.2.3.4", "1..3.4", "1.2.3.4.5"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(Utils::isDottedQuad(bad));
        platform::sim::clearShellJournal();
        EXPECT_EQ(Utils::init_resteth(bad, "192.168.1.1", "255.255.255.0"), 255);
        EXPECT_EQ(Utils::init_resteth("192.168.1.5", bad, "255.255.255.0"), 255);
        EXPECT_EQ(Utils::init_resteth("192.168.1.5", "192.168.1.1", bad), 255);
        EXPECT_TRUE(platform::sim::shellJournal().empty());
    }
    // From the settings file: the eth0 test runs, nothing that changes eth0.
    ConfigEngine::p_config->write_config_variant(ConfigItem::GateWay, "1.1.1.1 && reboot");
    platform::sim::clearShellJournal();
    EXPECT_EQ(Utils::initIPAddress(), 255);
    EXPECT_TRUE(journalWith("route").empty());
    EXPECT_TRUE(journalWith("ifconfig eth0 1").empty());
    EXPECT_EQ(platform::sim::rebootCount(), 0);
}

TEST_F(Ethernet, ResetUsesTheGivenValuesAndLeavesTheSettingsAlone)
{
    ConfigEngine::pInstance();
    platform::sim::clearShellJournal();
    EXPECT_EQ(Utils::init_resteth("172.16.0.7", "172.16.0.1", "255.255.0.0"), 0);
    EXPECT_EQ(journalWith("ifconfig eth0 1"), std::vector<std::string>{"ifconfig eth0 172.16.0.7 netmask 255.255.0.0"});
    EXPECT_EQ(journalWith("route add default"), std::vector<std::string>{"route add default gw 172.16.0.1 metric 100"});
    EXPECT_EQ(settingsRead(g_str_ip), "192.168.1.199");
    EXPECT_EQ(ConfigEngine::p_config->read_config_variant(ConfigItem::IPAddress).toString(), "192.168.1.199");
}
