// The Wi-Fi access point: its start after tick 100, restarts on request,
// the files it writes and the commands it journals, and the AT port with
// good and bad addresses.
#include "links/r54_wifi_config.h"
#include "tests/links/handler_test.h"

#include <QThread>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A Wi-Fi client's end of the AT port.
class AtClient {
public:
    explicit AtClient(u16 port) : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)), to_(boxEndpoint(port)) {}
    ~AtClient() { ::close(fd_); }
    std::string ask(const std::string& command)
    {
        ::sendto(fd_, command.data(), command.size(), 0, reinterpret_cast<sockaddr*>(&to_), sizeof to_);
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            return "(no reply)";
        char buf[512];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
    }

private:
    int fd_;
    sockaddr_in to_;
};

}  // namespace

class Wifi : public BoxTest {
protected:
    void SetUp() override
    {
        BoxTest::SetUp();
        ASSERT_NE(ConfigEngine::pInstance(), nullptr);
        store = KelRamPara::pInstance();
        G_timeTicks = 0;
        g_wifi_reset_flag = 0;
        platform::sim::clearShellJournal();
        wifi = std::make_unique<R54_WIFI_CONFIG>(0);
        ASSERT_TRUE(wifi->start());
        ASSERT_EQ(R54_WIFI_CONFIG::p_wifi, wifi.get());
    }
    void TearDown() override
    {
        wifi.reset();
        BoxTest::TearDown();
    }
    bool journalHas(const std::string& line)
    {
        const auto j = platform::sim::shellJournal();
        return std::find(j.begin(), j.end(), line) != j.end();
    }
    void expectLines(const std::string& file, std::initializer_list<const char*> lines)
    {
        const std::string text = readBoxFile(file);
        for (const char* line : lines)
            EXPECT_NE(text.find(line), std::string::npos) << file << ": " << line;
    }

    KelRamPara* store = nullptr;
    std::unique_ptr<R54_WIFI_CONFIG> wifi;
};

TEST_F(Wifi, TheAccessPointStartsAfterTick100)
{
    QThread::msleep(50);
    EXPECT_FALSE(wifi->started());
    EXPECT_TRUE(platform::sim::shellJournal().empty());
    G_timeTicks = 101;
    ASSERT_TRUE(waitUntil([&] { return wifi->started(); }));
    for (const char* line : {"kill -9 `pidof /usr/bin/hostapd /etc/rtl_hostapd_2G.conf`",
                             "kill -9 `pidof /usr/sbin/udhcpd  /etc/udhcpd.conf`",
                             "ifconfig wlan1 192.168.22.101 netmask 255.255.255.0 up",
                             "/usr/bin/hostapd -B /etc/rtl_hostapd_2G.conf", "/usr/sbin/udhcpd /etc/udhcpd.conf"})
        EXPECT_TRUE(journalHas(line)) << line;
    expectLines("/etc/rtl_hostapd_2G.conf", {"interface=wlan1\n", "ssid=KEL_R54", "wpa=2\n"});
    expectLines("/etc/udhcpd.conf", {"start 192.168.22.102\n", "end 192.168.22.201\n"});
    EXPECT_TRUE(platform::exists("/etc/wpa_supplicant.conf"));
    EXPECT_EQ(wifi->restarts(), 1u);
}

TEST_F(Wifi, ARestartTakesANewAddressAndAnAccessPointSwitchedOffOnlyStops)
{
    G_timeTicks = 200;
    ASSERT_TRUE(waitUntil([&] { return wifi->started(); }));
    EXPECT_EQ(wifi->wifi_AT_cmd_manage("AT+SETDATA=1,172.16.5.200"), "OK+SETDATA");
    EXPECT_EQ(g_wifi_reset_flag.load(), 1);
    QThread::msleep(50);
    EXPECT_EQ(wifi->restarts(), 1u);  // waits for its delay first
    G_timeTicks = 200 + R54_WIFI_CONFIG::kRestartDelayTicks;
    ASSERT_TRUE(waitUntil([&] { return wifi->restarts() == 2; }));
    EXPECT_EQ(g_wifi_reset_flag.load(), 0);
    EXPECT_TRUE(journalHas("ifconfig wlan1 172.16.5.200 netmask 255.255.255.0 up"));
    // The pool lies below the box's address.
    expectLines("/etc/udhcpd.conf", {"start 172.16.5.100\n", "end 172.16.5.199\n"});

    platform::sim::clearShellJournal();
    store->ram_para.wifi_off = 1;
    wifi->set_wifi_reset_flag();
    G_timeTicks += R54_WIFI_CONFIG::kRestartDelayTicks;
    ASSERT_TRUE(waitUntil([&] { return wifi->restarts() == 3; }));
    EXPECT_TRUE(journalHas("kill -9 `pidof /usr/bin/hostapd /etc/rtl_hostapd_2G.conf`"));
    EXPECT_TRUE(journalWith("/usr/bin/hostapd").empty());
    EXPECT_TRUE(journalWith("ifconfig").empty());
}

TEST_F(Wifi, AtCommandsWithGoodAndBadAddresses)
{
    AtClient pc(wifi->port());
    EXPECT_EQ(pc.ask("AT+CHECKDATA"), "OK+CHECKDATA=192.168.22.101");
    EXPECT_EQ(pc.ask("AT+GETVER\r\n"), "OK+GETVER=" + message_deal::versionText().toStdString());
    for (const char* bad :
         {"AT+SETDATA=1,10.0.0.256", "AT+SETDATA=1,10.0.0.0", "AT+SETDATA=1,10.0.0.255", "AT+SETDATA=1,224.1.1.1",
          "AT+SETDATA=1,127.0.0.1", "AT+SETDATA=1,0.1.2.3", "AT+SETDATA=1,10.0.0", "AT+SETDATA=1,10.0.0.5x",
          "AT+SETDATA=1,010.001.002.099", "AT+SETDATA=1,", "AT+SETDATA=2,10.0.0.5", "at+checkdata", "AT+FOO", ""}) {
        EXPECT_EQ(pc.ask(bad), "ERROR") << bad;
    }
    EXPECT_EQ(g_wifi_reset_flag.load(), 0);
    EXPECT_EQ(settingsRead(g_str_wifi_ip), "192.168.22.101");

    EXPECT_EQ(pc.ask("AT+SETDATA=1,10.20.30.40\r\n"), "OK+SETDATA");
    EXPECT_EQ(settingsRead(g_str_wifi_ip), "10.20.30.40");
    EXPECT_EQ(savedSetting("config/WifiIPAddress"), "10.20.30.40");
    EXPECT_EQ(g_wifi_reset_flag.load(), 1);
    EXPECT_EQ(pc.ask("AT+CHECKDATA"), "OK+CHECKDATA=10.20.30.40");

    // An address the settings file does not take is refused, not kept in memory.
    g_wifi_reset_flag = 0;
    platform::sim::setDiskFault(platform::sim::DiskFault::kFull);
    EXPECT_EQ(pc.ask("AT+SETDATA=1,10.20.30.41"), "ERROR");
    EXPECT_EQ(pc.ask("AT+RESTORE"), "ERROR");
    EXPECT_EQ(pc.ask("AT+CHECKDATA"), "OK+CHECKDATA=10.20.30.40");
    EXPECT_EQ(g_wifi_reset_flag.load(), 0);
    platform::sim::setDiskFault(platform::sim::DiskFault::kNone);

    g_wifi_reset_flag = 0;
    EXPECT_EQ(pc.ask("AT+RST"), "OK+RST");
    EXPECT_EQ(g_wifi_reset_flag.load(), 1);
    EXPECT_EQ(pc.ask("AT+RESTORE"), "OK+RESTORE");
    EXPECT_EQ(savedSetting("config/WifiIPAddress"), "192.168.22.101");
    EXPECT_EQ(pc.ask("AT+CHECKDATA"), "OK+CHECKDATA=192.168.22.101");
}
