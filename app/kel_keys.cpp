#include "app/kel_keys.h"

#include "app/syncupdate.h"
#include "platform/platform.h"

int check_hiddev()
{
    if (!platform::hidInit()) {
        KEL_DBG("\t hid init error ");
        return 0;
    }
    int found = 0;
    for (const platform::HidDeviceInfo& d : platform::hidEnumerate()) {
        KEL_DBG("\t VendorID = %02x , ProductID = %02x \n", d.vendor, d.product);
        if (d.vendor == SyncUpdate::kKeypadVendor && d.product == SyncUpdate::kKeypadProduct) {
            found = 1;
            break;
        }
    }
    KEL_DBG("\t check_hiddev over");
    return found;
}
