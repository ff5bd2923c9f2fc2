#include "tools/tool_page_requests.h"

#include "app/global.h"
#include "app/page_support.h"
#include "screens/menus/advancedoption.h"
#include "screens/menus/option.h"

namespace toolpages {

namespace {

// The page hooks. The smart-mapping and recovery pages fill in their calls
// as they land; until then a request that finds one of them open does
// nothing more.
void onSmartMappingFilesChanged(bool deleted)
{
    if (g_page_focus == PAGE_SMART_MAPPING && g_smartmapping) {
        // Page hook: g_smartmapping->Button_back_clicked();
        return;
    }
    if (deleted && g_page_focus == PAGE_OPTIONS && g_option)
        g_option->language_changed();
}

void onRecoveryFilesChanged(bool deleted)
{
    if (deleted && g_page_focus == PAGE_RCV_RECOVERY && g_rcv_recovery) {
        // Page hook: g_rcv_recovery->menulist_back_page();
        return;
    }
    if (g_page_focus == PAGE_ADVANCED_OPTIONS && g_advancedoption)
        g_advancedoption->language_changed();
}

}  // namespace

void smartMappingFilesChanged(bool deleted)
{
    pages::inGuiThread([deleted] { onSmartMappingFilesChanged(deleted); });
}

void recoveryFilesChanged(bool deleted)
{
    pages::inGuiThread([deleted] { onRecoveryFilesChanged(deleted); });
}

}  // namespace toolpages
