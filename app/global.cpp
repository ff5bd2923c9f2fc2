// Every global with its start value, each written once, here: the
// definition registers it to be put back to that value between test cases
// (platform/box_state.h).
#include "app/global.h"

using boxstate::startFilled;
using boxstate::startValue;

u8 g_debugSwitch = startValue(g_debugSwitch, kDebugOn);

void writeLogMsg(_LogType, std::string) {}

std::atomic<u32> G_timeTicks = startValue(G_timeTicks, 0u);
std::atomic<u8> g_update_flag = startValue(g_update_flag, 0);
std::atomic<u8> g_tip_flag = startValue(g_tip_flag, 0);
std::atomic<u8> g_app_reset_flag = startValue(g_app_reset_flag, 0);
std::atomic<u32> G_reboot_tickTicks = startValue(G_reboot_tickTicks, 0u);
std::atomic<u32> G_factoryage_ticks = startValue(G_factoryage_ticks, 0u);
std::atomic<u32> g_delay_usbserver = startValue(g_delay_usbserver, 0u);
std::atomic<u32> g_usb_stick_pulls = startValue(g_usb_stick_pulls, 0u);
std::atomic<u8> pc_cmd_valid = startValue(pc_cmd_valid, 0);
std::atomic<u32> pc_cmd_time = startValue(pc_cmd_time, 0u);

void requestDeferredReboot()
{
    G_reboot_tickTicks = G_timeTicks.load();
    g_app_reset_flag = 1;
}

std::atomic<u8> g_page_focus = startValue(g_page_focus, 0);
MainWindow* g_mainwindow = startValue(g_mainwindow, nullptr);
QTimer* g_timer = startValue(g_timer, nullptr);
LockWindow* g_lockwindow = startValue(g_lockwindow, nullptr);
u8 g_kel_keys = startValue(g_kel_keys, 0);

u32 g_auto_lock_time = startValue(g_auto_lock_time, 30000);
u32 g_back_to_mainwindow_time = startValue(g_back_to_mainwindow_time, 3000);

i32 g_port = startValue(g_port, 5005);
i32 g_int_tcp_port = startValue(g_int_tcp_port, 5005);
i32 g_BPS = startValue(g_BPS, 115200);
i32 g_dataLen = startValue(g_dataLen, 32);
u8 g_networkMode = startValue(g_networkMode, 1);
u8 g_udpnetmode = startValue(g_udpnetmode, 1);
std::atomic<u8> g_passby_trans_port = startValue(g_passby_trans_port, 255);
std::atomic<u8> ScreenState = startValue(ScreenState, 1);
QString g_rcv_sync_led = startValue(g_rcv_sync_led, QString());

std::atomic<u8> g_set_led_para = startValue(g_set_led_para, 0);
std::atomic<u8> g_set_led_setup = startValue(g_set_led_setup, 0);
std::atomic<u32> g_x518_source_online = startValue(g_x518_source_online, 0u);
std::atomic<u8> g_osd_update = startValue(g_osd_update, 0);

QMutex g_settings_mutex;
QString g_str_ip = startValue(g_str_ip, QStringLiteral("192.168.1.199"));
QString g_srt_mask = startValue(g_srt_mask, QStringLiteral("255.255.255.0"));
QString g_str_gateway = startValue(g_str_gateway, QStringLiteral("192.168.1.1"));
QString g_str_barcode = startValue(g_str_barcode, QStringLiteral(" "));
QString g_str_mac = startValue(g_str_mac, QStringLiteral("FF:FF:FF:FF:FF:FF"));
QString g_str_wifi_ip = startValue(g_str_wifi_ip, QStringLiteral("192.168.22.101"));
QString g_check_edid = startValue(g_check_edid, QString());
QString g_imagelayoutpassword = startValue(g_imagelayoutpassword, QString());
QString g_ryve_cloudserverip = startValue(g_ryve_cloudserverip, QString());
i32 g_ryve_cloudserverport = startValue(g_ryve_cloudserverport, 0);
QString g_ryve_clouduserid = startValue(g_ryve_clouduserid, QString());
QString g_ryve_controllername = startValue(g_ryve_controllername, QString());
u8 g_ryve_cloud = startValue(g_ryve_cloud, 0);
u8 g_check_source = startValue(g_check_source, 0);
i32 g_kel_max_pixel = startValue(g_kel_max_pixel, 0);
QString g_usb_grade_path = startValue(g_usb_grade_path, QString());
std::atomic<u32> g_lcd_lang_valid = startValue(g_lcd_lang_valid, 0u);

char g_pid[32];
const bool kPidStart = startFilled(g_pid, 0);
u8 g_update_status = startValue(g_update_status, 0);

QStringList factoryage_log = startValue(factoryage_log, QStringList());
int factoryage_log_num = startValue(factoryage_log_num, 0);

MachineState* g_machinestate = startValue(g_machinestate, nullptr);
InputChoose* g_inputchoose = startValue(g_inputchoose, nullptr);
CustomMode* g_custommode = startValue(g_custommode, nullptr);
Option* g_option = startValue(g_option, nullptr);
OutputSet* g_outputset = startValue(g_outputset, nullptr);
InputCut* g_inputcut = startValue(g_inputcut, nullptr);
EDIDset* g_edidset = startValue(g_edidset, nullptr);
ImageLayout* g_imagelayout = startValue(g_imagelayout, nullptr);
LinkOption* g_linkoption = startValue(g_linkoption, nullptr);
ImageQuality* g_imagequality = startValue(g_imagequality, nullptr);
AdvancedOption* g_advancedoption = startValue(g_advancedoption, nullptr);
ledset* g_ledset = startValue(g_ledset, nullptr);
netset* g_netset = startValue(g_netset, nullptr);
lcdshow* g_lcdshow = startValue(g_lcdshow, nullptr);
test_chart* g_test_chart = startValue(g_test_chart, nullptr);
othersetup* g_othersetup = startValue(g_othersetup, nullptr);
factory* g_factory = startValue(g_factory, nullptr);
quality* g_quality = startValue(g_quality, nullptr);
temperature* g_temperature = startValue(g_temperature, nullptr);
linkcom* g_linkcom = startValue(g_linkcom, nullptr);
linkwlan* g_linkwlan = startValue(g_linkwlan, nullptr);
factoryage* g_factoryage = startValue(g_factoryage, nullptr);
SmartMapping* g_smartmapping = startValue(g_smartmapping, nullptr);
rcv_recovery* g_rcv_recovery = startValue(g_rcv_recovery, nullptr);
firmware_usbgrade* g_firmware_usbgrade = startValue(g_firmware_usbgrade, nullptr);

u8 g_mode_shortcut_key = startValue(g_mode_shortcut_key, 0);

NumberKeyboard* g_numberkeyboard = startValue(g_numberkeyboard, nullptr);
QLineEdit* g_lineedit = startValue(g_lineedit, nullptr);
QFrame* g_mode[kModeSlots];
const bool kModeStart = startFilled(g_mode, nullptr);
u8 g_mode_select = startValue(g_mode_select, 0);
