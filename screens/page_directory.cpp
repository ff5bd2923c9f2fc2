#include "screens/page_directory.h"

#include "app/mainwindow.h"
#include "screens/menus/advancedoption.h"
#include "screens/menus/imagequality.h"
#include "screens/menus/ledset.h"
#include "screens/menus/linkcom.h"
#include "screens/menus/linkoption.h"
#include "screens/menus/linkwlan.h"
#include "screens/menus/machinestate.h"
#include "screens/menus/netset.h"
#include "screens/menus/option.h"
#include "screens/menus/outputset.h"
#include "screens/menus/quality.h"
#include "screens/menus/temperature.h"
#include "screens/page.h"
#include "screens/setup/custommode.h"
#include "screens/setup/edidset.h"
#include "screens/setup/imagelayout.h"
#include "screens/setup/inputchoose.h"
#include "screens/setup/inputcut.h"
#include "screens/system/factory.h"
#include "screens/system/factoryage.h"
#include "screens/system/lcdshow.h"
#include "screens/system/othersetup.h"
#include "screens/system/test_chart.h"
#include "tools/firmware_usbgrade.h"
#include "tools/rcv_recovery.h"
#include "tools/smartmapping.h"

namespace pages {

void openPage(PAGE_FOCUS page)
{
    switch (page) {
    case PAGE_OPTIONS: return Page::openOnTop(g_option);
    case PAGE_OUTPUT_SETTINGS: return Page::openOnTop(g_outputset);
    case PAGE_COMMUNICATION: return Page::openOnTop(g_linkoption);
    case PAGE_PICTURE_QUALITY_MENU: return Page::openOnTop(g_imagequality);
    case PAGE_ADVANCED_OPTIONS: return Page::openOnTop(g_advancedoption);
    // Settings pages and device information
    case PAGE_DEVICE_INFO: return Page::openOnTop(g_machinestate);
    case PAGE_LED_SETTINGS: return Page::openOnTop(g_ledset);
    case PAGE_SENDING_PORTS: return Page::openOnTop(g_netset);
    case PAGE_QUALITY: return Page::openOnTop(g_quality);
    case PAGE_COLOUR_TEMPERATURE: return Page::openOnTop(g_temperature);
    case PAGE_SERIAL_LINK: return Page::openOnTop(g_linkcom);
    case PAGE_NETWORK_ADDRESS: return Page::openOnTop(g_linkwlan);
    // Video set-up pages
    case PAGE_INPUT_CHOICE: return Page::openOnTop(g_inputchoose);
    case PAGE_INPUT_CROP: return Page::openOnTop(g_inputcut);
    case PAGE_EDID_SETTINGS: return Page::openOnTop(g_edidset);
    case PAGE_WINDOW_LAYOUT: return Page::openOnTop(g_imagelayout);
    // System, factory and test pages
    case PAGE_LCD_DISPLAY: return Page::openOnTop(g_lcdshow);
    case PAGE_TEST_PATTERNS: return Page::openOnTop(g_test_chart);
    case PAGE_OTHER_SETTINGS: return Page::openOnTop(g_othersetup);
    case PAGE_FACTORY_SETTINGS: return Page::openOnTop(g_factory);
    case PAGE_AGING_LOG: return Page::openOnTop(g_factoryage);
    // LED-screen tools and upgrade
    case PAGE_USB_UPGRADE: return Page::openOnTop(g_firmware_usbgrade);
    case PAGE_SMART_MAPPING: return Page::openOnTop(g_smartmapping);
    case PAGE_RCV_RECOVERY: return Page::openOnTop(g_rcv_recovery);

    // Not opened by number: the home page and the main window are there
    // from start-up, the user-mode page has openUserModePage().
    case PAGE_HOME:
    case PAGE_MAIN_MENU:
    case PAGE_USER_MODES: return;
    }
}

void openUserModePage()
{
    // Shown, not run: the opener goes on at once.
    if (!g_custommode)
        g_custommode = new CustomMode(nullptr);
    g_page_focus = PAGE_USER_MODES;
    g_custommode->show();
    g_custommode->raise();
    g_custommode->activateWindow();
}

}  // namespace pages
