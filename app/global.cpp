#include "app/global.h"

#include <algorithm>
#include <iterator>

u8 g_debugSwitch;

void writeLogMsg(_LogType, std::string) {}

std::atomic<u32> G_timeTicks;
std::atomic<u8> g_update_flag;
std::atomic<u8> g_tip_flag;
std::atomic<u8> g_app_reset_flag;
std::atomic<u32> G_reboot_tickTicks;
std::atomic<u32> G_factoryage_ticks;
std::atomic<u32> g_delay_usbserver;
std::atomic<u8> pc_cmd_valid;
std::atomic<u32> pc_cmd_time;

void requestDeferredReboot()
{
    G_reboot_tickTicks = G_timeTicks.load();
    g_app_reset_flag = 1;
}

std::atomic<u8> g_page_focus;
MainWindow* g_mainwindow;
QTimer* g_timer;
LockWindow* g_lockwindow;
u8 g_kel_keys;

u32 g_auto_lock_time;
u32 g_back_to_mainwindow_time;

i32 g_port;
i32 g_int_tcp_port;
i32 g_BPS;
i32 g_dataLen;
u8 g_networkMode;
u8 g_udpnetmode;
std::atomic<u8> g_passby_trans_port;
std::atomic<u8> ScreenState;
QString g_rcv_sync_led;

std::atomic<u8> g_set_led_para;
std::atomic<u8> g_set_led_setup;
std::atomic<u32> g_x518_source_online;
std::atomic<u8> g_osd_update;

QMutex g_settings_mutex;
QString g_str_ip;
QString g_srt_mask;
QString g_str_gateway;
QString g_str_barcode;
QString g_str_mac;
QString g_str_wifi_ip;
QString g_check_edid;
QString g_imagelayoutpassword;
QString g_ryve_cloudserverip;
i32 g_ryve_cloudserverport;
QString g_ryve_clouduserid;
QString g_ryve_controllername;
u8 g_ryve_cloud;
u8 g_check_source;
i32 g_kel_max_pixel;
QString g_usb_grade_path;
std::atomic<u32> g_lcd_lang_valid;

char g_pid[32];
u8 g_update_status;

QStringList factoryage_log;
int factoryage_log_num;

MachineState* g_machinestate;
InputChoose* g_inputchoose;
CustomMode* g_custommode;
Option* g_option;
OutputSet* g_outputset;
InputCut* g_inputcut;
EDIDset* g_edidset;
ImageLayout* g_imagelayout;
LinkOption* g_linkoption;
ImageQuality* g_imagequality;
AdvancedOption* g_advancedoption;
ledset* g_ledset;
netset* g_netset;
lcdshow* g_lcdshow;
test_chart* g_test_chart;
othersetup* g_othersetup;
factory* g_factory;
quality* g_quality;
temperature* g_temperature;
linkcom* g_linkcom;
linkwlan* g_linkwlan;
factoryage* g_factoryage;
SmartMapping* g_smartmapping;
rcv_recovery* g_rcv_recovery;
firmware_usbgrade* g_firmware_usbgrade;

u8 g_mode_shortcut_key;

NumberKeyboard* g_numberkeyboard;
QLineEdit* g_lineedit;
QFrame* g_mode[kModeSlots];
u8 g_mode_select;

void setGlobalStartValues()
{
    g_debugSwitch = kDebugOn;
    G_timeTicks = 0;
    g_update_flag = 0;
    g_tip_flag = 0;
    g_app_reset_flag = 0;
    G_reboot_tickTicks = 0;
    G_factoryage_ticks = 0;
    g_delay_usbserver = 0;
    pc_cmd_valid = 0;
    pc_cmd_time = 0;
    g_page_focus = 0;
    g_mainwindow = nullptr;
    g_timer = nullptr;
    g_lockwindow = nullptr;
    g_kel_keys = 0;
    g_auto_lock_time = 30000;
    g_back_to_mainwindow_time = 3000;
    g_port = 5005;
    g_int_tcp_port = 5005;
    g_BPS = 115200;
    g_dataLen = 32;
    g_networkMode = 1;
    g_udpnetmode = 1;
    g_passby_trans_port = 255;
    ScreenState = 1;
    g_rcv_sync_led.clear();
    g_set_led_para = 0;
    g_set_led_setup = 0;
    g_x518_source_online = 0;
    g_osd_update = 0;
    g_str_ip = QStringLiteral("192.168.1.199");
    g_srt_mask = QStringLiteral("255.255.255.0");
    g_str_gateway = QStringLiteral("192.168.1.1");
    g_str_barcode = QStringLiteral(" ");
    g_str_mac = QStringLiteral("FF:FF:FF:FF:FF:FF");
    g_str_wifi_ip = QStringLiteral("192.168.22.101");
    g_check_edid.clear();
    g_imagelayoutpassword.clear();
    g_ryve_cloudserverip.clear();
    g_ryve_cloudserverport = 0;
    g_ryve_clouduserid.clear();
    g_ryve_controllername.clear();
    g_ryve_cloud = 0;
    g_check_source = 0;
    g_kel_max_pixel = 0;
    g_usb_grade_path.clear();
    g_lcd_lang_valid = 0;
    std::fill(std::begin(g_pid), std::end(g_pid), 0);
    g_update_status = 0;
    factoryage_log.clear();
    factoryage_log_num = 0;
    g_machinestate = nullptr;
    g_inputchoose = nullptr;
    g_custommode = nullptr;
    g_option = nullptr;
    g_outputset = nullptr;
    g_inputcut = nullptr;
    g_edidset = nullptr;
    g_imagelayout = nullptr;
    g_linkoption = nullptr;
    g_imagequality = nullptr;
    g_advancedoption = nullptr;
    g_ledset = nullptr;
    g_netset = nullptr;
    g_lcdshow = nullptr;
    g_test_chart = nullptr;
    g_othersetup = nullptr;
    g_factory = nullptr;
    g_quality = nullptr;
    g_temperature = nullptr;
    g_linkcom = nullptr;
    g_linkwlan = nullptr;
    g_factoryage = nullptr;
    g_smartmapping = nullptr;
    g_rcv_recovery = nullptr;
    g_firmware_usbgrade = nullptr;
    g_mode_shortcut_key = 0;
    g_numberkeyboard = nullptr;
    g_lineedit = nullptr;
    std::fill(std::begin(g_mode), std::end(g_mode), nullptr);
    g_mode_select = 0;
}

namespace {
// The program's start values, set before main() runs (after the
// definitions above, which this file orders).
const bool kStartValuesSet = (setGlobalStartValues(), true);
}  // namespace
