// Process-wide globals of the box. Each has its start value where it is
// defined (app/global.cpp), which also puts it back to that value between
// test cases (platform/box_state.h).
//
// Flags and stamps that worker threads and the GUI thread share are atomic;
// everything else belongs to one thread or is guarded where it is used.
#pragma once

#include "platform/box_state.h"

#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

typedef uint8_t u8;
typedef uint16_t u16;
typedef uint32_t u32;
typedef int16_t i16;
typedef int32_t i32;

class MainWindow;
class LockWindow;
class QTimer;

// ---------------------------------------------------------------- diagnostics
// Diagnostic prints are issued only while this equals kDebugOn; nothing writes it.
constexpr u8 kDebugOn = 254;
extern u8 g_debugSwitch;

#define KEL_DBG(...)                   \
    do {                               \
        if (g_debugSwitch == kDebugOn) \
            std::printf(__VA_ARGS__);  \
    } while (0)

// The log sink: level 1 error, 2 warning, 3 information. It writes nothing.
enum _LogType { LOG_ERROR = 1, LOG_WARNING = 2, LOG_INFO = 3 };
void writeLogMsg(_LogType level, std::string text);

// ---------------------------------------------------------------- the tick
extern std::atomic<u32> G_timeTicks;         // 10 ms ticks since the event loop started
extern std::atomic<u8> g_update_flag;        // a firmware or file update runs
extern std::atomic<u8> g_tip_flag;           // the tip box is shown
extern std::atomic<u8> g_app_reset_flag;     // a reboot is requested; never cleared
extern std::atomic<u32> G_reboot_tickTicks;  // tick of the reboot request
extern std::atomic<u32> G_factoryage_ticks;  // tick of the last aging-log turn
extern std::atomic<u32> g_delay_usbserver;   // 1 once the USB watcher may read
extern std::atomic<u32> g_usb_stick_pulls;   // stick removals the USB watcher saw; an upgrade run looks
extern std::atomic<u8> pc_cmd_valid;         // a PC command was answered lately
extern std::atomic<u32> pc_cmd_time;         // tick of that answer

// Requests the reboot 300 ticks from now: the stamp is written before the
// flag, so the tick never pairs the flag with an older stamp.
void requestDeferredReboot();

// ---------------------------------------------------------------- pages
extern std::atomic<u8> g_page_focus;  // page that has focus (0 home page)
extern MainWindow* g_mainwindow;
extern QTimer* g_timer;
extern LockWindow* g_lockwindow;
extern u8 g_kel_keys;  // 1 = the USB key pad was present at start

// LCD idle times set by the LCD display page; nothing acts on them.
extern u32 g_auto_lock_time;
extern u32 g_back_to_mainwindow_time;

// ---------------------------------------------------------------- links
extern i32 g_port;                           // TCP control port
extern i32 g_int_tcp_port;                   // the same as a number
extern i32 g_BPS;                            // RS-485 speed
extern i32 g_dataLen;                        // serial read size factor
extern u8 g_networkMode;                     // TCP server enabled
extern u8 g_udpnetmode;                      // UDP server enabled
extern std::atomic<u8> g_passby_trans_port;  // link of the last pass-through frame, 255 none
extern std::atomic<u8> ScreenState;          // LED screen on/off as the FPGA manager keeps it
extern QString g_rcv_sync_led;

// ---------------------------------------------------------------- hand-overs between managers
// LED panel set-up hand-shake between the FPGA and video chip managers,
// under Utils::_led_para_init_mutex: 1 = the FPGA side configures the panel;
// the chip manager waits until it is not 1, re-initialises its output panel
// and sets 2; the FPGA thread, on 2, resets FPGA 0 and clears it.
extern std::atomic<u8> g_set_led_para;
extern std::atomic<u8> g_set_led_setup;
// 1 once the chip manager programmed window outputs for a changed input.
extern std::atomic<u32> g_x518_source_online;
// 1 = re-read the overlay description in the next apply pass.
extern std::atomic<u8> g_osd_update;

// ---------------------------------------------------------------- settings
// Loaded from /data/configs/tcpip.ini by Utils::getIPAddress. Writers and
// readers outside the GUI thread hold g_settings_mutex (see settingsRead).
extern QMutex g_settings_mutex;
extern QString g_str_ip;
extern QString g_srt_mask;
extern QString g_str_gateway;
extern QString g_str_barcode;
extern QString g_str_mac;
extern QString g_str_wifi_ip;
extern QString g_check_edid;
extern QString g_imagelayoutpassword;
extern QString g_ryve_cloudserverip;
extern i32 g_ryve_cloudserverport;
extern QString g_ryve_clouduserid;
extern QString g_ryve_controllername;
extern u8 g_ryve_cloud;
extern u8 g_check_source;
extern i32 g_kel_max_pixel;
extern QString g_usb_grade_path;
extern std::atomic<u32> g_lcd_lang_valid;

template <class T>
T settingsRead(const T& value)
{
    QMutexLocker lock(&g_settings_mutex);
    return value;
}

// ---------------------------------------------------------------- device
extern char g_pid[32];      // device PID, 32 lower-case hex characters, no NUL
extern u8 g_update_status;  // 1 when the start record holds the expected command

// ---------------------------------------------------------------- aging log
extern QStringList factoryage_log;
extern int factoryage_log_num;

// ---------------------------------------------------------------- page numbers and page pointers
// The page that has focus, as held in g_page_focus.
enum PAGE_FOCUS : u8 {
    PAGE_HOME = 0,
    PAGE_MAIN_MENU = 1,
    PAGE_DEVICE_INFO = 2,
    PAGE_INPUT_CHOICE = 3,
    PAGE_USER_MODES = 4,
    PAGE_OPTIONS = 5,
    PAGE_OUTPUT_SETTINGS = 6,
    PAGE_INPUT_CROP = 7,
    PAGE_EDID_SETTINGS = 8,
    PAGE_WINDOW_LAYOUT = 9,
    PAGE_COMMUNICATION = 10,
    PAGE_PICTURE_QUALITY_MENU = 11,
    PAGE_ADVANCED_OPTIONS = 12,
    PAGE_LED_SETTINGS = 13,
    PAGE_SENDING_PORTS = 14,
    PAGE_LCD_DISPLAY = 15,
    PAGE_TEST_PATTERNS = 16,
    PAGE_OTHER_SETTINGS = 17,
    PAGE_FACTORY_SETTINGS = 18,
    PAGE_QUALITY = 19,
    PAGE_COLOUR_TEMPERATURE = 20,
    PAGE_SERIAL_LINK = 21,
    PAGE_NETWORK_ADDRESS = 22,
    PAGE_AGING_LOG = 23,
    PAGE_SMART_MAPPING = 24,
    PAGE_RCV_RECOVERY = 25,
    PAGE_USB_UPGRADE = 26,
};
constexpr int kPageCount = 27;

// Each page while it is open (null otherwise); the change notifier reaches
// the focused page through these.
class MachineState;
class InputChoose;
class CustomMode;
class Option;
class OutputSet;
class InputCut;
class EDIDset;
class ImageLayout;
class LinkOption;
class ImageQuality;
class AdvancedOption;
class ledset;
class netset;
class lcdshow;
class test_chart;
class othersetup;
class factory;
class quality;
class temperature;
class linkcom;
class linkwlan;
class factoryage;
class SmartMapping;
class rcv_recovery;
class firmware_usbgrade;
extern MachineState* g_machinestate;
extern InputChoose* g_inputchoose;
extern CustomMode* g_custommode;
extern Option* g_option;
extern OutputSet* g_outputset;
extern InputCut* g_inputcut;
extern EDIDset* g_edidset;
extern ImageLayout* g_imagelayout;
extern LinkOption* g_linkoption;
extern ImageQuality* g_imagequality;
extern AdvancedOption* g_advancedoption;
extern ledset* g_ledset;
extern netset* g_netset;
extern lcdshow* g_lcdshow;
extern test_chart* g_test_chart;
extern othersetup* g_othersetup;
extern factory* g_factory;
extern quality* g_quality;
extern temperature* g_temperature;
extern linkcom* g_linkcom;
extern linkwlan* g_linkwlan;
extern factoryage* g_factoryage;
extern SmartMapping* g_smartmapping;
extern rcv_recovery* g_rcv_recovery;
extern firmware_usbgrade* g_firmware_usbgrade;

// 1 = the user-mode page was opened by the MODE key (its BACK then goes to
// the home page).
extern u8 g_mode_shortcut_key;

// ---------------------------------------------------------------- shared widgets
// The one number keyboard, created by the main window.
class NumberKeyboard;
extern NumberKeyboard* g_numberkeyboard;
// The number field whose value the number keyboard is asked for, while the
// keyboard is up (Page::askNumber); null otherwise.
class QLineEdit;
extern QLineEdit* g_lineedit;

// The user-mode bar of the main window: the slot frames of the bar now shown
// (valid until its next redraw), and the slot last touched on it (the
// user-mode page keeps its own selection in the same global).
class QFrame;
constexpr int kModeSlots = 16;
extern QFrame* g_mode[kModeSlots];
extern u8 g_mode_select;
