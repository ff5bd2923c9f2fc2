// The simulated kernel device events and the simulated USB stick of the host
// back end. The box's event source (platform::ueventOpen) receives what is
// sent here, one message per event, as it would from the kernel's uevent
// socket; events sent while nobody reads wait in the source, also those sent
// before the source was opened (the kernel would have dropped those).
#pragma once

#include <string>
#include <vector>

namespace platform::sim {

// ---- device events
// Sends one event message as given (the header "ACTION@DEVPATH", then
// NUL-terminated KEY=value lines; see ueventMessage). False when the source
// is full: the event is lost, as the kernel's would be.
bool ueventSend(const std::string& message);
// The message the kernel sends for an event: "ACTION@DEVPATH\0ACTION=...\0
// DEVPATH=...\0SUBSYSTEM=...\0" followed by `keys` ("KEY=value"), each
// NUL-terminated, and SEQNUM.
std::string ueventMessage(const std::string& action, const std::string& devpath, const std::string& subsystem,
                          const std::vector<std::string>& keys = {});
// True while an event waits unread in the source.
bool ueventWaiting();

// ---- the USB stick
constexpr const char* kStickDir = "/sim/usb-stick";  // the default stick's folder
constexpr const char* kStickMount = "/mnt/usb1";     // where the box reads the stick
constexpr const char* kUsbStorageProc = "/proc/scsi/usb-storage";
// Device paths of the stick's disk and first partition.
constexpr const char* kStickDiskPath =
    "/devices/platform/soc/ehci-platform/usb1/1-1/1-1:1.0/host0/target0:0:0/0:0:0:0/block/sda";
constexpr const char* kStickPartitionPath =
    "/devices/platform/soc/ehci-platform/usb1/1-1/1-1:1.0/host0/target0:0:0/0:0:0:0/block/sda/sda1";

// Inserts a stick whose files are the folder `dir` (a box path, created when
// missing): /proc/scsi/usb-storage appears, the folder appears at /mnt/usb1
// (a symbolic link inside the box root), and the kernel's add events for the
// disk sda and its partition sda1 are sent. False when the folder cannot be
// made or shown at /mnt/usb1 (nothing is sent then).
bool usbStickInsert(const std::string& dir = kStickDir);
// Pulls the stick: the kernel's remove events for sda1 and sda are sent, and
// /mnt/usb1 and /proc/scsi/usb-storage disappear. The stick's folder stays.
void usbStickRemove();
bool usbStickInserted();

}  // namespace platform::sim
