#include "platform/box_state.h"

#include <mutex>
#include <utility>
#include <vector>

namespace boxstate {

namespace {

struct Registration {
    Step step;
    Action action;
    Memory memory;
    bool once;
};

struct Registry {
    std::mutex mutex;
    std::vector<Registration> registrations;
};

// Statics of other files register while the program's statics are being
// made, in no set order: made on first use, and never destroyed.
Registry& registry()
{
    static auto* r = new Registry;
    return *r;
}

void add(Step step, Action action, Memory memory, bool once)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.registrations.push_back({step, std::move(action), memory, once});
}

}  // namespace

bool keep(Step step, Action action, Memory memory)
{
    add(step, std::move(action), memory, false);
    return true;
}

void keepUntilPutBack(Step step, Action action, Memory memory)
{
    add(step, std::move(action), memory, true);
}

void putBack(Step step)
{
    std::vector<Action> due;
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        std::vector<Registration> kept;
        for (auto it = r.registrations.rbegin(); it != r.registrations.rend(); ++it)
            if (it->step == step)
                due.push_back(it->action);
        for (Registration& reg : r.registrations)
            if (reg.step != step || !reg.once)
                kept.push_back(std::move(reg));
        r.registrations = std::move(kept);
    }
    // Outside the lock: a drop may make or register something itself.
    for (const Action& action : due)
        action();
}

std::vector<Memory> keptMemory()
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    std::vector<Memory> memory;
    for (const Registration& reg : r.registrations)
        if (reg.memory.size)
            memory.push_back(reg.memory);
    return memory;
}

}  // namespace boxstate
