#include "screens/page_directory.h"

#include "app/mainwindow.h"
#include "screens/menus/advancedoption.h"
#include "screens/menus/imagequality.h"
#include "screens/menus/linkoption.h"
#include "screens/menus/option.h"
#include "screens/menus/outputset.h"
#include "screens/page.h"
#include "screens/setup/edidset.h"
#include "screens/setup/imagelayout.h"
#include "screens/setup/inputcut.h"

namespace pages {

namespace {

std::function<void(PAGE_FOCUS)>& missingPageWatcher()
{
    static std::function<void(PAGE_FOCUS)> watcher;
    return watcher;
}

}  // namespace

void setMissingPageWatcher(std::function<void(PAGE_FOCUS)> watcher)
{
    missingPageWatcher() = std::move(watcher);
}

void openPage(PAGE_FOCUS page)
{
    switch (page) {
    case PAGE_OPTIONS: return Page::openOnTop(g_option);
    case PAGE_OUTPUT_SETTINGS: return Page::openOnTop(g_outputset);
    case PAGE_COMMUNICATION: return Page::openOnTop(g_linkoption);
    case PAGE_PICTURE_QUALITY_MENU: return Page::openOnTop(g_imagequality);
    case PAGE_ADVANCED_OPTIONS: return Page::openOnTop(g_advancedoption);
    // Crops, window layout and EDIDs
    case PAGE_INPUT_CROP: return Page::openOnTop(g_inputcut);
    case PAGE_EDID_SETTINGS: return Page::openOnTop(g_edidset);
    case PAGE_WINDOW_LAYOUT: return Page::openOnTop(g_imagelayout);

    // ---- Pages not built yet open nothing. When one lands, its line
    // becomes `case PAGE_...: return Page::openOnTop(g_...);` (and its header is
    // included above).
    case PAGE_DEVICE_INFO:         // MachineState, g_machinestate
    case PAGE_INPUT_CHOICE:        // InputChoose, g_inputchoose
    case PAGE_LED_SETTINGS:        // ledset, g_ledset
    case PAGE_SENDING_PORTS:       // netset, g_netset
    case PAGE_LCD_DISPLAY:         // lcdshow, g_lcdshow
    case PAGE_TEST_PATTERNS:       // test_chart, g_test_chart
    case PAGE_OTHER_SETTINGS:      // othersetup, g_othersetup
    case PAGE_FACTORY_SETTINGS:    // factory, g_factory
    case PAGE_QUALITY:             // quality, g_quality
    case PAGE_COLOUR_TEMPERATURE:  // temperature, g_temperature
    case PAGE_SERIAL_LINK:         // linkcom, g_linkcom
    case PAGE_NETWORK_ADDRESS:     // linkwlan, g_linkwlan
    case PAGE_AGING_LOG:           // factoryage, g_factoryage
    case PAGE_SMART_MAPPING:       // SmartMapping, g_smartmapping
    case PAGE_RCV_RECOVERY:        // rcv_recovery, g_rcv_recovery
    case PAGE_USB_UPGRADE:         // firmware_usbgrade, g_firmware_usbgrade
        KEL_DBG("\n[openPage] page %d is not built yet\n", static_cast<int>(page));
        if (missingPageWatcher())
            missingPageWatcher()(page);
        return;

    // Not opened by number: the home page and the main window are there
    // from start-up, the user-mode page has openUserModePage().
    case PAGE_HOME:
    case PAGE_MAIN_MENU:
    case PAGE_USER_MODES:
        return;
    }
}

void openUserModePage()
{
    // CustomMode is not built yet. When it lands this becomes: create it with
    // no parent, g_custommode := it, g_page_focus := PAGE_USER_MODES, show().
    // Until then the main window, under every page, has the focus.
    if (g_mainwindow)
        g_mainwindow->language_changed();
    g_page_focus = PAGE_MAIN_MENU;
}

}  // namespace pages
