// The video chip manager.
#pragma once

#include "app/global.h"

#include <QMutex>
#include <atomic>

class x518_manage {
public:
    static x518_manage* p_x518_manage;

    // Guards writes of the parameter block together with apply_flag; the
    // manager holds it for a whole apply pass. First in the lock order.
    static QMutex mutex;
    // 1 = apply the block, 2 = apply and synchronise the user-mode files.
    static std::atomic<u8> apply_flag;
};
