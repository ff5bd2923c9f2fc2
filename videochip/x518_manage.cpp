#include "videochip/x518_manage.h"

x518_manage* x518_manage::p_x518_manage = nullptr;
QMutex x518_manage::mutex;
std::atomic<u8> x518_manage::apply_flag{0};
