#include "app/apply_handover.h"

QMutex ApplyHandover::mutex;
std::atomic<u8> ApplyHandover::flag = boxstate::startValue(flag, 0);
PacedWorker ApplyHandover::worker;
// The chip manager's thread, whether or not the manager is still there.
const bool kWorkerStop = boxstate::keep(
    boxstate::Step::StopThreads, [] { ApplyHandover::worker.stop(); }, boxstate::memoryOf(ApplyHandover::worker));
