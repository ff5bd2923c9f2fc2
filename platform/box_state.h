// What the box keeps process-wide, and how each piece of it goes back to how
// the program starts.
//
// The box never goes back: it starts once and runs until it reboots. A test
// program runs many boxes one after the other in one process, and between two
// of them puts back everything registered here (tests/support/box_reset.*).
// So whatever the box keeps process-wide registers its own way back where it
// is defined or made, and nothing has to name it a second time:
//
//   a global         i32 g_port = boxstate::startValue(g_port, 5005);
//   an array global  char g_pid[32];
//                    const bool kPidStart = boxstate::startFilled(g_pid, 0);
//   a manager        boxstate::made(p_fpga_manage, &fpga_manage::stop);  (in pInstance)
//   a container      std::vector<int> g_ids = boxstate::startValue(g_ids, std::vector<int>{1, 2});
//   a thread         boxstate::keepUntilPutBack(Step::StopThreads, stop);  (when started)
//   a constant made  static const std::map<...> kTable = boxstate::constant(kTable, build());
//   at run time
//   any other static boxstate::keep(Step::StartValues, [] { ... });  (once)
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

namespace boxstate {

// A put-back runs in three steps, each whole before the next; within a step
// the newest registration runs first.
enum class Step {
    StopThreads,  // every thread stops; the objects stay
    DropObjects,  // the managers and singletons are deleted, their pointers null
    StartValues,  // every global and static gets its start value
};

using Action = std::function<void()>;

// The variable a registration puts back. The look at what a case leaves
// behind (tests/support/left_state.h) compares every other variable of the
// box byte for byte, and leaves this one to its put-back: a variable that
// holds memory of its own (a string, a list, a thread) may differ in its
// bytes from a fresh one and still be as good as new.
struct Memory {
    const void* at = nullptr;
    size_t size = 0;
};

template <class T>
Memory memoryOf(const T& variable)
{
    return {&variable, sizeof variable};
}

// Registers `action` for every put-back from now on. Returns true, so that a
// static can register as it is defined.
bool keep(Step step, Action action, Memory memory = {});
// Registers `action` for the next put-back only: what an object made at run
// time registers when it is made (made again, it registers again).
void keepUntilPutBack(Step step, Action action, Memory memory = {});

// Runs the registrations of `step`, newest first.
void putBack(Step step);

// The memory of every registration there is now.
std::vector<Memory> keptMemory();

// Gives `global` its start value: returns `value` to initialise it with and
// puts it back to `value` at every put-back.
template <class T, class V>
V startValue(T& global, V value)
{
    auto giveStartValue = [&global, value] { global = value; };
    keep(Step::StartValues, giveStartValue, memoryOf(global));
    return value;
}

// A constant made at run time (a table built on first use) that holds memory
// of its own: returns `value` to initialise it with, and registers that it
// has nothing to put back.
template <class T, class V>
V constant(const T& variable, V value)
{
    auto nothingToPutBack = [] {};
    keep(Step::StartValues, nothingToPutBack, memoryOf(variable));
    return value;
}

// Fills an array global with `value`, now and at every put-back.
template <class T, size_t N, class V>
bool startFilled(T (&array)[N], V value)
{
    auto fill = [&array, value] {
        for (T& element : array)
            element = value;
    };
    fill();
    return keep(Step::StartValues, fill, memoryOf(array));
}

// A singleton `instance` without a thread of its own was just made: the next
// put-back deletes it and nulls the pointer.
template <class T>
void made(T*& instance)
{
    keepUntilPutBack(
        Step::DropObjects,
        [&instance] {
            T* gone = instance;
            instance = nullptr;
            delete gone;
        },
        memoryOf(instance));
}

// The same for a singleton with a thread: the put-back first runs `stop` on it,
// with every other thread's stop.
template <class T, class Stoppable>
void made(T*& instance, void (Stoppable::*stop)())
{
    keepUntilPutBack(Step::StopThreads, [&instance, stop] {
        if (instance)
            (instance->*stop)();
    });
    made(instance);
}

}  // namespace boxstate
