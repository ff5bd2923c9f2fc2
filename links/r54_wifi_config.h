// The Wi-Fi access point and its AT-command port.
//
// The Wi-Fi start thread brings the access point up once the box has run
// for kStartTicks ticks, and restarts it whenever set_wifi_reset_flag()
// asks (the other-settings page, the AT commands): it writes the access
// point's configuration files and runs hostapd and udhcpd through
// Utils::system_mutex, or only stops them while KEL_RAM_PARA.wifi_off is 1.
//
// The AT port (UDP 13769) answers the AT commands of a Wi-Fi client, one
// text command per datagram, one text reply per command, sent back to the
// sender: "AT+CHECKDATA", "AT+SETDATA=1,<a.b.c.d>", "AT+RST", "AT+RESTORE",
// "AT+GETVER"; anything else gets "ERROR". docs/protocol.md describes it.
#pragma once

#include "app/global.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// 1 while a restart of the access point is pending.
extern std::atomic<u8> g_wifi_reset_flag;

class R54_WIFI_CONFIG {
public:
    static constexpr u16 kAtPort = 13769;
    // The access point starts after this many ticks of the running box.
    static constexpr u32 kStartTicks = 100;
    // A restart waits this many ticks after its request, so that the reply
    // to the AT command that asked for it is out first.
    static constexpr u32 kRestartDelayTicks = 50;
    static constexpr const char* kDefaultAddress = "192.168.22.101";

    // The access point's files and programs.
    static constexpr const char* kInterface = "wlan1";
    static constexpr const char* kHostapdConf = "/etc/rtl_hostapd_2G.conf";
    static constexpr const char* kUdhcpdConf = "/etc/udhcpd.conf";
    static constexpr const char* kWpaConf = "/etc/wpa_supplicant.conf";
    static constexpr const char* kPassphrase = "12345678";

    static R54_WIFI_CONFIG* p_wifi;
    // Creates the object on the first call and starts the Wi-Fi start
    // thread and the AT port.
    static R54_WIFI_CONFIG* pInstance();

    // `atPort` 0 binds any free port (tests).
    explicit R54_WIFI_CONFIG(u16 atPort = kAtPort);
    ~R54_WIFI_CONFIG();
    R54_WIFI_CONFIG(const R54_WIFI_CONFIG&) = delete;
    R54_WIFI_CONFIG& operator=(const R54_WIFI_CONFIG&) = delete;

    // Starts both threads; true when the AT port is bound (when it is not,
    // its thread tries again once a second).
    bool start();
    void stop();
    // The AT port bound; 0 while not bound.
    u16 port() const { return boundPort_.load(); }

    // Any thread: asks the Wi-Fi start thread to restart the access point.
    void set_wifi_reset_flag();
    // The reply to one AT command (request text without its line end).
    std::string wifi_AT_cmd_manage(const std::string& command);

    // True once the access point was started the first time.
    bool started() const { return started_.load(); }
    // Restarts done so far (tests).
    u32 restarts() const { return restarts_.load(); }

    // Stops the access point; starts it again unless it is switched off.
    void wifi_restart();
    // Stops the access point's programs (hostapd and udhcpd) at once.
    static void stopAccessPoint();
    // True when `text` is an address the access point may take: a dotted
    // quad, unicast, neither the network (.0) nor the broadcast (.255)
    // address of its /24 network.
    static bool addressValid(const QString& text);

private:
    static constexpr int kRebindMs = 1000;
    static constexpr int kTickMs = 10;
    static constexpr size_t kDatagramSize = 512;

    void startThreadRun();
    void atThreadRun();
    bool bindAt();
    void serveAt();
    void writeConfigFiles(const QString& address);
    // False, and the address as it was, when the settings file was not written.
    bool saveAddress(const QString& address);

    u16 wantedPort_;
    int atFd_ = -1;
    int wakeFd_ = -1;
    std::atomic<u16> boundPort_{0};
    std::atomic<bool> stop_{false};
    std::atomic<bool> started_{false};
    std::atomic<u32> restarts_{0};
    std::atomic<u32> resetTick_{0};
    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread startThread_;
    std::thread atThread_;
};
