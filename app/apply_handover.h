// The chip manager's hand-over: the mutex over writes of the parameter
// block, the apply flag, and the chip manager's worker, which a raised flag
// wakes. They live below the chip manager so that the block's store and the
// input side raise and wake without depending on it; the chip manager knows
// them as x518_manage::mutex, apply_flag and worker (docs/threads.md).
#pragma once

#include "app/global.h"
#include "app/tick_pacer.h"

#include <QMutex>
#include <atomic>

struct ApplyHandover {
    // Guards writes of the parameter block together with the apply flag;
    // the chip manager holds it for a whole apply pass. First in the lock
    // order.
    static QMutex mutex;
    // 1 = apply the block, 2 = apply and synchronise the user-mode files.
    static std::atomic<u8> flag;
    static PacedWorker worker;
};
