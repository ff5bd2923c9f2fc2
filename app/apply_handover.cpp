#include "app/apply_handover.h"

QMutex ApplyHandover::mutex;
std::atomic<u8> ApplyHandover::flag{0};
PacedWorker ApplyHandover::worker;
