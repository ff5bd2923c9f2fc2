#include "links/r54_wifi_config.h"

#include "app/config_engine.h"
#include "app/kelrampara.h"
#include "app/utils.h"
#include "links/control_link.h"
#include "links/message_deal.h"
#include "platform/platform.h"

#include <QStringList>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

std::atomic<u8> g_wifi_reset_flag = boxstate::startValue(g_wifi_reset_flag, 0);
R54_WIFI_CONFIG* R54_WIFI_CONFIG::p_wifi = nullptr;

namespace {

// The AT commands and their replies.
const char* const kCheckData = "AT+CHECKDATA";
const char* const kSetData = "AT+SETDATA=1,";
const char* const kReset = "AT+RST";
const char* const kRestore = "AT+RESTORE";
const char* const kGetVersion = "AT+GETVER";
const char* const kError = "ERROR";

const char* const kKillHostapd = "kill -9 `pidof /usr/bin/hostapd /etc/rtl_hostapd_2G.conf`";
const char* const kKillUdhcpd = "kill -9 `pidof /usr/sbin/udhcpd  /etc/udhcpd.conf`";
const char* const kEtcDir = "/etc";
const char* const kNetMask = "255.255.255.0";
const char* const kLeaseFile = "/tmp/udhcpd.leases";

// Address plan of the access point's /24 network.
constexpr int kFirstHost = 1, kLastHost = 254;
constexpr int kFirstMulticast = 224;
constexpr int kLoopbackNet = 127;
constexpr int kPoolSize = 100;
constexpr int kSsidPidChars = 6;

QStringList octetsOf(const QString& address)
{
    return address.split('.');
}

// The DHCP pool: up to kPoolSize hosts of the /24 network beside the box's
// own address, never including it.
void poolOf(const QString& address, QString& first, QString& last)
{
    const QStringList o = octetsOf(address);
    const QString net = QStringLiteral("%1.%2.%3.").arg(o[0], o[1], o[2]);
    const int host = o[3].toInt();
    int from, to;
    if (host - kFirstHost >= kLastHost - host) {  // more room below the box
        from = host - kPoolSize < kFirstHost ? kFirstHost : host - kPoolSize;
        to = host - 1;
    } else {
        from = host + 1;
        to = host + kPoolSize > kLastHost ? kLastHost : host + kPoolSize;
    }
    first = net + QString::number(from);
    last = net + QString::number(to);
}

// The network name: the box's kind and the end of its device PID.
QString ssid()
{
    QString tail;
    for (int i = static_cast<int>(sizeof g_pid) - kSsidPidChars; i < static_cast<int>(sizeof g_pid); ++i)
        if (g_pid[i] != 0)
            tail += QLatin1Char(g_pid[i]);
    return tail.size() == kSsidPidChars ? QStringLiteral("KEL_R54_") + tail : QStringLiteral("KEL_R54");
}

std::string trimCommand(std::string s)
{
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == '\0' || s.back() == ' '))
        s.pop_back();
    return s;
}

bool startsWith(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

}  // namespace

R54_WIFI_CONFIG* R54_WIFI_CONFIG::pInstance()
{
    if (!p_wifi) {
        p_wifi = new R54_WIFI_CONFIG(kAtPort);
        boxstate::made(p_wifi, &R54_WIFI_CONFIG::stop);
        p_wifi->start();
    }
    return p_wifi;
}

R54_WIFI_CONFIG::R54_WIFI_CONFIG(u16 atPort) : wantedPort_(atPort), wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    if (!p_wifi)
        p_wifi = this;
}

R54_WIFI_CONFIG::~R54_WIFI_CONFIG()
{
    stop();
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
    if (p_wifi == this)
        p_wifi = nullptr;
}

bool R54_WIFI_CONFIG::start()
{
    if (startThread_.joinable())
        return atFd_ >= 0;
    stop_ = false;
    const bool bound = bindAt();
    if (!bound)
        writeLogMsg(LOG_ERROR, "R54_WIFI_CONFIG: AT port bind failed");
    startThread_ = std::thread([this] {
        platform::nameThread("wifi-start");
        startThreadRun();
    });
    atThread_ = std::thread([this] {
        platform::nameThread("wifi-at");
        atThreadRun();
    });
    return bound;
}

void R54_WIFI_CONFIG::stop()
{
    if (!startThread_.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    const uint64_t one = 1;
    ssize_t n = ::write(wakeFd_, &one, sizeof one);
    (void)n;
    startThread_.join();
    atThread_.join();
    if (atFd_ >= 0)
        ::close(atFd_);
    atFd_ = -1;
    boundPort_ = 0;
}

// ------------------------------------------------------------------ the Wi-Fi start thread

void R54_WIFI_CONFIG::set_wifi_reset_flag()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        resetTick_ = G_timeTicks.load();
        g_wifi_reset_flag = 1;
    }
    wake_.notify_all();
}

void R54_WIFI_CONFIG::startThreadRun()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        // The tick runs only inside the event loop: wait for it tick by tick.
        const bool due = !started_
                             ? G_timeTicks.load() > kStartTicks
                             : g_wifi_reset_flag.load() && Utils::getTimeSpace(resetTick_.load()) >= kRestartDelayTicks;
        if (due) {
            g_wifi_reset_flag = 0;
            lock.unlock();
            wifi_restart();
            started_ = true;
            lock.lock();
            continue;
        }
        if (!started_ || g_wifi_reset_flag.load())
            wake_.wait_for(lock, std::chrono::milliseconds(kTickMs));
        else
            wake_.wait(lock);  // idle until a restart is asked for
    }
}

void R54_WIFI_CONFIG::stopAccessPoint()
{
    Utils::system_mutex(kKillHostapd, nullptr);
    Utils::system_mutex(kKillUdhcpd, nullptr);
}

void R54_WIFI_CONFIG::wifi_restart()
{
    stopAccessPoint();
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (store && store->ram_para.wifi_off != 0) {
        KEL_DBG("\n[R54_WIFI_CONFIG] access point off\n");
        ++restarts_;
        return;
    }
    QString address = settingsRead(g_str_wifi_ip);
    if (!addressValid(address))
        address = kDefaultAddress;
    writeConfigFiles(address);
    Utils::system_mutex(QStringLiteral("ifconfig %1 %2 netmask %3 up").arg(kInterface, address, kNetMask), nullptr);
    Utils::system_mutex(QStringLiteral("/usr/bin/hostapd -B %1").arg(kHostapdConf), nullptr);
    Utils::system_mutex(QStringLiteral("/usr/sbin/udhcpd %1").arg(kUdhcpdConf), nullptr);
    KEL_DBG("\n[R54_WIFI_CONFIG] access point up at %s\n", address.toLatin1().constData());
    ++restarts_;
}

void R54_WIFI_CONFIG::writeConfigFiles(const QString& address)
{
    const QString hostapd = QStringLiteral("interface=%1\n"
                                           "driver=nl80211\n"
                                           "ctrl_interface=/var/run/hostapd\n"
                                           "ssid=%2\n"
                                           "hw_mode=g\n"
                                           "channel=6\n"
                                           "ieee80211n=1\n"
                                           "wmm_enabled=1\n"
                                           "auth_algs=1\n"
                                           "wpa=2\n"
                                           "wpa_key_mgmt=WPA-PSK\n"
                                           "rsn_pairwise=CCMP\n"
                                           "wpa_passphrase=%3\n")
                                .arg(kInterface, ssid(), kPassphrase);
    QString first, last;
    poolOf(address, first, last);
    const QString udhcpd = QStringLiteral("start %1\n"
                                          "end %2\n"
                                          "interface %3\n"
                                          "max_leases %4\n"
                                          "lease_file %5\n"
                                          "option subnet %6\n"
                                          "option lease 86400\n")
                               .arg(first, last, kInterface)
                               .arg(kPoolSize)
                               .arg(kLeaseFile, kNetMask);
    // The station side of the Wi-Fi chip joins no network.
    const QString wpa = QStringLiteral("ctrl_interface=/var/run/wpa_supplicant\n"
                                       "update_config=0\n");
    platform::makeDirs(kEtcDir);
    for (const auto& f :
         {std::make_pair(kHostapdConf, hostapd), std::make_pair(kUdhcpdConf, udhcpd), std::make_pair(kWpaConf, wpa)})
        if (!platform::writeFileAtomic(f.first, f.second.toStdString()))
            KEL_DBG("\n[R54_WIFI_CONFIG] cannot write %s\n", f.first);
}

// ------------------------------------------------------------------ AT commands

bool R54_WIFI_CONFIG::addressValid(const QString& text)
{
    if (!Utils::isDottedQuad(text))
        return false;
    const QStringList o = octetsOf(text);
    const int first = o[0].toInt(), host = o[3].toInt();
    return first != 0 && first != kLoopbackNet && first < kFirstMulticast && host >= kFirstHost && host <= kLastHost;
}

bool R54_WIFI_CONFIG::saveAddress(const QString& address)
{
    ConfigEngine* cfg = ConfigEngine::p_config;
    if (cfg && !cfg->write_config_variant(ConfigItem::WifiIPAddress, address))
        return false;
    QMutexLocker lock(&g_settings_mutex);
    g_str_wifi_ip = address;
    return true;
}

std::string R54_WIFI_CONFIG::wifi_AT_cmd_manage(const std::string& request)
{
    const std::string cmd = trimCommand(request);
    if (cmd == kCheckData)
        return "OK+CHECKDATA=" + settingsRead(g_str_wifi_ip).toStdString();
    if (startsWith(cmd, kSetData)) {
        const QString address = QString::fromStdString(cmd.substr(std::strlen(kSetData)));
        if (!addressValid(address) || !saveAddress(address))
            return kError;
        set_wifi_reset_flag();
        return "OK+SETDATA";
    }
    if (cmd == kReset) {
        set_wifi_reset_flag();
        return "OK+RST";
    }
    if (cmd == kRestore) {
        if (!saveAddress(kDefaultAddress))
            return kError;
        set_wifi_reset_flag();
        return "OK+RESTORE";
    }
    if (cmd == kGetVersion)
        return "OK+GETVER=" + message_deal::versionText().toStdString();
    return kError;
}

// ------------------------------------------------------------------ the AT port

bool R54_WIFI_CONFIG::bindAt()
{
    const int fd = LinkTransport::bindSocket(SOCK_DGRAM, wantedPort_, 0);
    if (fd < 0) {
        KEL_DBG("\n[R54_WIFI_CONFIG] cannot bind port %u: %s\n", wantedPort_, std::strerror(errno));
        return false;
    }
    atFd_ = fd;
    boundPort_ = LinkTransport::localPort(fd);
    return true;
}

void R54_WIFI_CONFIG::atThreadRun()
{
    while (!stop_) {
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {atFd_, POLLIN, 0}};
        // Not bound yet: look again a second later.
        const int ready = ::poll(fds, atFd_ >= 0 ? 2 : 1, atFd_ >= 0 ? -1 : kRebindMs);
        if (stop_)
            break;
        if (atFd_ < 0) {
            bindAt();
            continue;
        }
        if (ready > 0 && (fds[1].revents & POLLIN))
            serveAt();
    }
}

void R54_WIFI_CONFIG::serveAt()
{
    char buf[kDatagramSize];
    sockaddr_in sender{};
    socklen_t len = sizeof sender;
    const ssize_t n = ::recvfrom(atFd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&sender), &len);
    if (n < 0 || len != sizeof sender)
        return;
    const std::string reply = wifi_AT_cmd_manage(std::string(buf, static_cast<size_t>(n)));
    KEL_DBG("\n[R54_WIFI_CONFIG] %.*s -> %s\n", static_cast<int>(n), buf, reply.c_str());
    // The reply goes to the Wi-Fi client that asked.
    if (::sendto(atFd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&sender), sizeof sender) !=
        static_cast<ssize_t>(reply.size()))
        KEL_DBG("\n[R54_WIFI_CONFIG] reply not sent\n");
}
