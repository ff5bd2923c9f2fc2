// Operations of the chip manager that the bring-up and the worker call but
// whose work is not in this build yet (input ports, fonts, output panel,
// window programming, picture setters, the apply dispatcher). Each one says
// so once and does nothing: it writes no register, changes no flag and
// emits no change code, so nothing reports work that was not done. An
// operation leaves this file when its real body lands.
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

void x518_manage::check_input_port(int)
{
    KEL_X518_PENDING("check_input_port");
}

i32 x518_manage::kelApi_PnlInit2(int, int, int, int, int)
{
    KEL_X518_PENDING("kelApi_PnlInit2");
    return 0;
}

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

// Apply requests stay pending under a raised apply_flag until the
// dispatcher lands.
void x518_manage::x518managerdeal(void*)
{
    KEL_X518_PENDING("x518managerdeal");
}
