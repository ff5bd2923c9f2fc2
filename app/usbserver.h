// The USB watcher: reads the kernel's device events and tells the box when
// a device is added (change code 100) or removed (101), and when a USB
// stick's partition is ready to be read (102).
#pragma once

#include "app/global.h"

#include <QObject>
#include <atomic>
#include <pthread.h>
#include <string>
#include <vector>

class QThread;

class UsbServer : public QObject {
    Q_OBJECT
public:
    // The event source: receive buffer, port id and the kernel's uevent group.
    static constexpr int kReceiveBuffer = 1024;
    static constexpr u32 kPortId = 100;
    static constexpr u32 kUeventGroup = 1;
    // The largest event read at once.
    static constexpr size_t kEventBytes = 4096;
    // Where a stick's partition shows that the storage driver is there, how
    // long that may take, and how long the mount is given afterwards (ticks).
    static constexpr const char* kUsbStorageProc = "/proc/scsi/usb-storage";
    static constexpr u32 kStorageWaitTicks = 500;
    static constexpr u32 kMountSettleTicks = 301;
    // One look per tick while the watcher waits.
    static constexpr unsigned kLookMicroseconds = 10000;

    static UsbServer* p_UsbServer;
    // Creates the watcher and runs initialize() on the first call.
    static UsbServer* pInstance();
    // Stops the thread; p_UsbServer is null again when it was this one.
    // The box never drops its watcher; tests do. The event source is the
    // platform's and stays.
    ~UsbServer();

    // Opens the event source and starts the thread: 0, or 255 on failure.
    int initialize();
    // The thread body.
    static void* acceptThread(void* arg);
    // One wait-and-read pass: 0, or 255 when waiting failed.
    int recvData();
    // Emits sig_usb_update(code); returns 1.
    int usb_signal(int code);
    int unInitialize();
    int delete_clinetSocket(int fd);

    // What one event asks for, in the order its header names it.
    enum class Step { Added, Removed, Storage };
    // The steps of the event whose text is `text` (`len` bytes, not
    // necessarily NUL-terminated; only the header up to the first NUL
    // counts). A partition sda0 to sda9 asks for storage, and only in an
    // "add@" event.
    static std::vector<Step> eventSteps(const char* text, size_t len);
    // True when the event is the removal of the stick's disk or of one of
    // its partitions (a block device sda...): counted in g_usb_stick_pulls.
    static bool stickRemoved(const char* text, size_t len);

    // Ends the thread and waits for it (tests only; the box never stops it).
    void stopThread();
    // State the tests look at: passes of the thread's loop and looks of its
    // waits so far, and the thread that last checked for the settings page
    // after a stick was announced.
    unsigned passes() const { return passes_.load(); }
    unsigned looks() const { return looks_.load(); }
    QThread* optionsCheckThread() const { return options_check_thread_; }

signals:
    void sig_usb_update(int code);

private:
    UsbServer();

    bool waitForStorage();
    bool waitForMount();
    bool lookAgain();
    void storageReady();
    void closeOptionsPage();

    int socket_fd = -1;
    int wake_fd = -1;  // ends the wait when the thread is stopped
    pthread_t thread_{};
    bool thread_started_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<unsigned> passes_{0};
    std::atomic<unsigned> looks_{0};
    QThread* options_check_thread_ = nullptr;
};
