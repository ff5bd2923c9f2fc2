#include "screens/menus/fpga_view.h"

#include "app/ram_para.h"
#include "fpga/fpga_manage.h"

namespace fpgaview {

namespace {

constexpr int kAreaBytes = 4 * sizeof(u16);  // x, y, width, height

}  // namespace

bool running()
{
    return reg(fpga::reg::kState) == fpga::reg::kStateRunning;
}

bool heldIncomplete()
{
    const fpga_manage* m = fpga_manage::p_fpga_manage;
    return m && m->programIncomplete(0);
}

u8 reg(u8 r)
{
    const fpga_manage* m = fpga_manage::p_fpga_manage;
    return m && r < fpga_manage::kRegImage ? m->MCU_REG_func[0][r] : 0;
}

u16 links()
{
    // An FPGA the manager has lost may still read running in the image.
    fpga_manage* m = fpga_manage::p_fpga_manage;
    return m && m->holdsMemory(0) ? static_cast<u16>(m->get_wlan_state()) : 0;
}

PortArea portArea(int port)
{
    fpga_manage* m = fpga_manage::p_fpga_manage;
    unsigned short x, y, w, h;
    fpga_manage::get_eth_param_addr(static_cast<unsigned char>(port), &x, &y, &w, &h);
    // x, y, width and height lie one after another: read as a PC reads them.
    u8 area[kAreaBytes];
    if (!m || !m->readControllerMemory(0, x, area, kAreaBytes))
        return PortArea{};
    // Ports 1 and 3 start at odd offsets: each value is put together from
    // its two bytes.
    return PortArea{ram::loadU16(area), ram::loadU16(area + (y - x)), ram::loadU16(area + (w - x)),
                    ram::loadU16(area + (h - x))};
}

bool holdsAreas()
{
    const fpga_manage* m = fpga_manage::p_fpga_manage;
    return m && m->holdsMemory(0);
}

}  // namespace fpgaview
