#include "app/global.h"

u8 g_debugSwitch = kDebugOn;

void writeLogMsg(_LogType, std::string) {}

std::atomic<u32> G_timeTicks{0};
std::atomic<u8> g_update_flag{0};
std::atomic<u8> g_tip_flag{0};
std::atomic<u8> g_app_reset_flag{0};
std::atomic<u32> G_reboot_tickTicks{0};
std::atomic<u32> G_factoryage_ticks{0};
std::atomic<u32> g_delay_usbserver{0};
std::atomic<u8> pc_cmd_valid{0};
std::atomic<u32> pc_cmd_time{0};

void requestDeferredReboot()
{
    G_reboot_tickTicks = G_timeTicks.load();
    g_app_reset_flag = 1;
}

std::atomic<u8> g_page_focus{0};
MainWindow* g_mainwindow = nullptr;
QTimer* g_timer = nullptr;
LockWindow* g_lockwindow = nullptr;
u8 g_kel_keys = 0;

u32 g_auto_lock_time = 30000;
u32 g_back_to_mainwindow_time = 3000;

i32 g_port = 5005;
i32 g_int_tcp_port = 5005;
i32 g_BPS = 115200;
i32 g_dataLen = 32;
u8 g_networkMode = 1;
u8 g_udpnetmode = 1;
std::atomic<u8> g_passby_trans_port{255};
std::atomic<u8> ScreenState{1};
QString g_rcv_sync_led;

std::atomic<u8> g_set_led_para{0};
std::atomic<u8> g_set_led_setup{0};
std::atomic<u32> g_x518_source_online{0};
std::atomic<u8> g_osd_update{0};

QMutex g_settings_mutex;
QString g_str_ip = QStringLiteral("192.168.1.199");
QString g_srt_mask = QStringLiteral("255.255.255.0");
QString g_str_gateway = QStringLiteral("192.168.1.1");
QString g_str_barcode = QStringLiteral(" ");
QString g_str_mac = QStringLiteral("FF:FF:FF:FF:FF:FF");
QString g_str_wifi_ip = QStringLiteral("192.168.22.101");
QString g_check_edid;
QString g_imagelayoutpassword;
QString g_ryve_cloudserverip;
i32 g_ryve_cloudserverport = 0;
QString g_ryve_clouduserid;
QString g_ryve_controllername;
u8 g_ryve_cloud = 0;
u8 g_check_source = 0;
i32 g_kel_max_pixel = 0;
QString g_usb_grade_path;
std::atomic<u32> g_lcd_lang_valid{0};

char g_pid[32] = {};
u8 g_update_status = 0;

QStringList factoryage_log;
int factoryage_log_num = 0;

MachineState* g_machinestate = nullptr;
InputChoose* g_inputchoose = nullptr;
CustomMode* g_custommode = nullptr;
Option* g_option = nullptr;
OutputSet* g_outputset = nullptr;
InputCut* g_inputcut = nullptr;
EDIDset* g_edidset = nullptr;
ImageLayout* g_imagelayout = nullptr;
LinkOption* g_linkoption = nullptr;
ImageQuality* g_imagequality = nullptr;
AdvancedOption* g_advancedoption = nullptr;
ledset* g_ledset = nullptr;
netset* g_netset = nullptr;
lcdshow* g_lcdshow = nullptr;
test_chart* g_test_chart = nullptr;
othersetup* g_othersetup = nullptr;
factory* g_factory = nullptr;
quality* g_quality = nullptr;
temperature* g_temperature = nullptr;
linkcom* g_linkcom = nullptr;
linkwlan* g_linkwlan = nullptr;
factoryage* g_factoryage = nullptr;
SmartMapping* g_smartmapping = nullptr;
rcv_recovery* g_rcv_recovery = nullptr;
firmware_usbgrade* g_firmware_usbgrade = nullptr;

u8 g_mode_shortcut_key = 0;

NumberKeyboard* g_numberkeyboard = nullptr;
QLineEdit* g_lineedit = nullptr;
QFrame* g_mode[kModeSlots] = {};
u8 g_mode_select = 0;
