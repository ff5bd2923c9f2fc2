// Operations of the chip manager that the bring-up and the apply dispatcher
// call but whose work is not in this build yet (window setters and
// programming, picture setters, test patterns, the OSD and the overlay
// file). Each one says so once and does nothing: it writes no register,
// changes no flag and emits no change code, so nothing reports work that
// was not done. An operation leaves this file when its real body lands.
#include "videochip/x518_manage.h"

#include <atomic>

namespace {

void notYet(std::atomic<bool>& said, const char* what)
{
    if (!said.exchange(true))
        KEL_DBG("\n[x518_manage] %s: not available in this build, skipped\n", what);
}

}  // namespace

#define KEL_X518_PENDING(name)             \
    do {                                   \
        static std::atomic<bool> said{false}; \
        notYet(said, name);                \
    } while (0)

void x518_manage::set_output(int)
{
    KEL_X518_PENDING("set_output");
}

void x518_manage::x518_SetBrightness(u16)
{
    KEL_X518_PENDING("x518_SetBrightness");
}

void x518_manage::x518_SetContrast(int)
{
    KEL_X518_PENDING("x518_SetContrast");
}

void x518_manage::x518_SetSharpness(int)
{
    KEL_X518_PENDING("x518_SetSharpness");
}

void x518_manage::x518_SetSaturation(int)
{
    KEL_X518_PENDING("x518_SetSaturation");
}

void x518_manage::x518_SetColorTemp(int)
{
    KEL_X518_PENDING("x518_SetColorTemp");
}

void x518_manage::kelApi_forceColorDisable(int)
{
    KEL_X518_PENDING("kelApi_forceColorDisable");
}

void x518_manage::x518_SetWinPriority(u32, int)
{
    KEL_X518_PENDING("x518_SetWinPriority");
}

void x518_manage::x518_SetWinPriority1(int)
{
    KEL_X518_PENDING("x518_SetWinPriority1");
}

void x518_manage::x518_SetWinAttr(u8, int)
{
    KEL_X518_PENDING("x518_SetWinAttr");
}

void x518_manage::x518_SetInputsourceCrop(int, u32)
{
    KEL_X518_PENDING("x518_SetInputsourceCrop");
}

void x518_manage::x518_SetWinOutput(int, u8, int)
{
    KEL_X518_PENDING("x518_SetWinOutput");
}

void x518_manage::x518_SetWinDbdMode(int, u8, int)
{
    KEL_X518_PENDING("x518_SetWinDbdMode");
}

u32 x518_manage::x518_SetPattern(u32)
{
    KEL_X518_PENDING("x518_SetPattern");
    return 0;
}

i32 x518_manage::kelApi_OsdSet(int, int)
{
    KEL_X518_PENDING("kelApi_OsdSet");
    return 0;
}

void x518_manage::set_osd(int, int)
{
    KEL_X518_PENDING("set_osd");
}

void x518_manage::set_scroll(int)
{
    KEL_X518_PENDING("set_scroll");
}

void x518_manage::update_osd(int)
{
    KEL_X518_PENDING("update_osd");
}

void x518_manage::load_overlay_file()
{
    KEL_X518_PENDING("load_overlay_file");
}
