#include "app/usbserver.h"

#include "app/kelrampara.h"
#include "app/utils.h"
#include "platform/platform.h"
#include "screens/menus/option.h"

#include <QThread>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

UsbServer* UsbServer::p_UsbServer = nullptr;

namespace {

const char* const kAddAction = "add@";
const char* const kRemoveAction = "remove@";
const char* const kBlockPart = "block";
const char* const kStickDisk = "sda";
constexpr size_t kStickDiskLength = 3;
constexpr long kLastStoragePartition = 9;

// The header's parts between the slashes, empty ones kept.
std::vector<std::string> splitAtSlashes(const std::string& header)
{
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        const size_t slash = header.find('/', from);
        parts.push_back(header.substr(from, slash == std::string::npos ? std::string::npos : slash - from));
        if (slash == std::string::npos)
            return parts;
        from = slash + 1;
    }
}

// "sda0" to "sda9": the disk's name and a partition number that reads as 0
// to 9 (text that is not a number reads as 0).
bool storagePartition(const std::string& part)
{
    if (part.size() < kStickDiskLength + 1 || part.compare(0, kStickDiskLength, kStickDisk) != 0)
        return false;
    const long number = std::strtol(part.c_str() + kStickDiskLength, nullptr, 10);
    return number >= 0 && number <= kLastStoragePartition;
}

}  // namespace

UsbServer::UsbServer() = default;

UsbServer::~UsbServer()
{
    stopThread();
    if (wake_fd >= 0)
        ::close(wake_fd);
    if (p_UsbServer == this)
        p_UsbServer = nullptr;
}

UsbServer* UsbServer::pInstance()
{
    if (!p_UsbServer) {
        p_UsbServer = new UsbServer;
        boxstate::made(p_UsbServer, &UsbServer::stopThread);
        p_UsbServer->initialize();
    }
    return p_UsbServer;
}

int UsbServer::initialize()
{
    socket_fd = platform::ueventOpen(kReceiveBuffer, kPortId, kUeventGroup);
    if (socket_fd < 0) {
        KEL_DBG("UsbServer bind error:%m\n");
        writeLogMsg(LOG_ERROR, std::string("UsbServer bind error:") + std::strerror(errno));
        return 255;
    }
    wake_fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (pthread_create(&thread_, nullptr, &UsbServer::acceptThread, this) != 0) {
        KEL_DBG("UsbServer create accept thread failed\n");
        writeLogMsg(LOG_ERROR, "UsbServer create accept thread failed");
        return 255;
    }
    thread_started_ = true;
    return 0;
}

void* UsbServer::acceptThread(void* arg)
{
    platform::nameThread("usb-watch");
    auto* self = static_cast<UsbServer*>(arg);
    while (!self->stop_.load()) {
        ++self->passes_;
        // Until the tick opens the gate nothing is read: the events wait in
        // the source, and the thread looks once per tick.
        if (!g_delay_usbserver.load()) {
            usleep(kLookMicroseconds);
            continue;
        }
        // A wait that failed is retried on the next tick.
        if (self->recvData() != 0)
            usleep(kLookMicroseconds);
    }
    return nullptr;
}

int UsbServer::recvData()
{
    pollfd fds[2] = {{socket_fd, POLLIN, 0}, {wake_fd, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR)
            return 0;
        KEL_DBG("UsbServer select error:%m\n");
        return 255;
    }
    if (!(fds[0].revents & (POLLIN | POLLERR))) {
        // Woken to stop, or a source that can no longer be read.
        return (fds[0].revents & (POLLHUP | POLLNVAL)) ? 255 : 0;
    }
    // One byte more than is read, so the text always ends in a NUL.
    char text[kEventBytes + 1];
    const ssize_t got = platform::ueventRecv(socket_fd, text, kEventBytes);
    if (got < 1)
        return 0;
    text[got] = '\0';
    // Counted before the change code goes out: an upgrade run that reads
    // the stick sees that it went away, whatever stick comes back.
    if (stickRemoved(text, static_cast<size_t>(got)))
        ++g_usb_stick_pulls;
    for (Step step : eventSteps(text, static_cast<size_t>(got))) {
        switch (step) {
        case Step::Added: usb_signal(SYNC_USB_ADDED); break;
        case Step::Removed: usb_signal(SYNC_USB_REMOVED); break;
        case Step::Storage:
            if (!waitForStorage()) {
                KEL_DBG("\n UsbServer: no %s after %u ticks, the partition is not announced\n", kUsbStorageProc,
                        kStorageWaitTicks);
                break;
            }
            KEL_DBG("\n usb have mound ok ");
            if (!waitForMount())
                return 0;
            usb_signal(SYNC_USB_STORAGE);
            storageReady();
            break;
        }
    }
    return 0;
}

std::vector<UsbServer::Step> UsbServer::eventSteps(const char* text, size_t len)
{
    // The header: the action, the at sign and the device path.
    const std::string header(text, strnlen(text, len));
    const std::vector<std::string> parts = splitAtSlashes(header);
    // Only a device that arrives can be a stick to read.
    const bool added = parts.front() == kAddAction;
    std::vector<Step> steps;
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        if (part == kAddAction)
            steps.push_back(Step::Added);
        else if (part == kRemoveAction)
            steps.push_back(Step::Removed);
        else if (added && part == kBlockPart && i + 2 < parts.size() && parts[i + 1] == kStickDisk &&
                 storagePartition(parts[i + 2]))
            steps.push_back(Step::Storage);
    }
    return steps;
}

bool UsbServer::stickRemoved(const char* text, size_t len)
{
    const std::string header(text, strnlen(text, len));
    const std::vector<std::string> parts = splitAtSlashes(header);
    if (parts.front() != kRemoveAction)
        return false;
    for (size_t i = 0; i + 1 < parts.size(); ++i)
        if (parts[i] == kBlockPart && parts[i + 1] == kStickDisk)
            return true;
    return false;
}

// Waits, one look per tick, until the storage driver shows itself; false
// when it has not after kStorageWaitTicks or the thread is stopped.
bool UsbServer::waitForStorage()
{
    const u32 start = G_timeTicks.load();
    while (!platform::exists(kUsbStorageProc)) {
        if (Utils::getTimeSpace(start) >= kStorageWaitTicks || !lookAgain())
            return false;
    }
    return true;
}

// Gives the partition's mount kMountSettleTicks; false when stopped.
bool UsbServer::waitForMount()
{
    const u32 start = G_timeTicks.load();
    while (Utils::getTimeSpace(start) < kMountSettleTicks) {
        if (!lookAgain())
            return false;
    }
    return true;
}

bool UsbServer::lookAgain()
{
    if (stop_.load())
        return false;
    ++looks_;
    usleep(kLookMicroseconds);
    return !stop_.load();
}

int UsbServer::usb_signal(int code)
{
    KEL_DBG("\n UsbServer: change code %d\n", code);
    emit sig_usb_update(code);
    return 1;
}

// The settings page is a widget of the GUI thread: the check that closes it
// is queued there, behind the change code just emitted.
void UsbServer::storageReady()
{
    QMetaObject::invokeMethod(
        this, [this] { closeOptionsPage(); }, Qt::QueuedConnection);
}

void UsbServer::closeOptionsPage()
{
    options_check_thread_ = QThread::currentThread();
    if (g_page_focus.load() != PAGE_OPTIONS || !g_option)
        return;
    g_option->slot_Button_back_clicked();
}

int UsbServer::unInitialize()
{
    return 0;
}

int UsbServer::delete_clinetSocket(int)
{
    return 0;
}

void UsbServer::stopThread()
{
    stop_ = true;
    if (wake_fd >= 0) {
        const uint64_t one = 1;
        if (::write(wake_fd, &one, sizeof one) < 0)
            KEL_DBG("UsbServer: wake-up lost\n");
    }
    if (thread_started_) {
        pthread_join(thread_, nullptr);
        thread_started_ = false;
    }
}
