#include "screens/menus/fpga_view.h"

#include "app/ram_para.h"
#include "fpga/fpga_manage.h"

namespace fpgaview {

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
    fpga_manage* m = fpga_manage::p_fpga_manage;
    return m ? static_cast<u16>(m->get_wlan_state()) : 0;
}

PortArea portArea(int port)
{
    const fpga_manage* m = fpga_manage::p_fpga_manage;
    if (!m)
        return PortArea{};
    unsigned short x, y, w, h;
    fpga_manage::get_eth_param_addr(static_cast<unsigned char>(port), &x, &y, &w, &h);
    // Ports 1 and 3 start at odd offsets: each value is put together from
    // its two bytes.
    const u8* image = m->MCU_RAM_PARA_func[0];
    return PortArea{ram::loadU16(image + x), ram::loadU16(image + y), ram::loadU16(image + w), ram::loadU16(image + h)};
}

}  // namespace fpgaview
