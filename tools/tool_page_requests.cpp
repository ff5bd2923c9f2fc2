#include "tools/tool_page_requests.h"

#include "app/global.h"
#include "app/page_support.h"
#include "screens/menus/advancedoption.h"
#include "screens/menus/option.h"
#include "tools/rcv_recovery.h"
#include "tools/smartmapping.h"

namespace toolpages {

namespace {

// A page closes as by its back key, which it refuses while a job's bar is up.
void onSmartMappingFilesChanged(bool deleted)
{
    if (g_page_focus == PAGE_SMART_MAPPING && g_smartmapping) {
        g_smartmapping->slot_Button_back_clicked();
        return;
    }
    if (deleted && g_page_focus == PAGE_OPTIONS && g_option)
        g_option->language_changed();
}

void onRecoveryFilesChanged(bool deleted)
{
    if (deleted && g_page_focus == PAGE_RCV_RECOVERY && g_rcv_recovery) {
        g_rcv_recovery->slot_Button_back_clicked();
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
