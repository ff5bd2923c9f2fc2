// Board back end of the USB HID calls: hidapi on hidraw.
#include "platform/platform.h"

#include <hidapi/hidapi.h>

namespace platform {

struct HidDevice {
    hid_device* dev;
};

bool hidInit()
{
    return hid_init() == 0;
}

std::vector<HidDeviceInfo> hidEnumerate()
{
    std::vector<HidDeviceInfo> out;
    hid_device_info* list = hid_enumerate(0, 0);
    for (hid_device_info* d = list; d; d = d->next)
        out.push_back({d->vendor_id, d->product_id});
    hid_free_enumeration(list);
    return out;
}

HidDevice* hidOpen(uint16_t vendor, uint16_t product)
{
    hid_device* d = hid_open(vendor, product, nullptr);
    return d ? new HidDevice{d} : nullptr;
}

int hidWrite(HidDevice* dev, const uint8_t* data, size_t len)
{
    return dev ? hid_write(dev->dev, data, len) : -1;
}

void hidClose(HidDevice* dev)
{
    if (!dev)
        return;
    hid_close(dev->dev);
    delete dev;
}

}  // namespace platform
