// Operations of the chip manager that the bring-up and the apply dispatcher
// call but whose work is not in this build yet (window programming,
// layers and fades). Each one says so once and does nothing: it writes no
// register, changes no flag and emits no change
// code, so nothing reports work that was not done. An operation leaves this
// file when its real body lands.
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

void x518_manage::update_overlay_info()
{
    KEL_X518_PENDING("update_overlay_info");
}

void x518_manage::set_overlay(int)
{
    KEL_X518_PENDING("set_overlay");
}

void x518_manage::reset_layer_coef(int, int)
{
    KEL_X518_PENDING("reset_layer_coef");
}
