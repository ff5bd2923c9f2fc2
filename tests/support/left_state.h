// What a case leaves behind in the box's own variables once the box is put
// back. The build lists every writable variable of the program's layer
// libraries and of the platform in the test program (list_state.py: address,
// size, name); this keeps their bytes as they are before the first case and
// names those that differ after a later put-back: a global without its start
// value, a manager that was not dropped, a static the put-back does not know.
// A thread_local is watched in the thread that runs the cases; every other
// thread of the box is stopped between cases and its copies end with it.
//
// A function's static that is made for the first time in a case (its guard
// variable goes from 0 to set) is compared with what it held when it was
// made: a fresh process makes it too, when first used, but not changed.
//
// What a variable points to is not seen: a container, string or static kept
// behind a pointer registers its own put-back (platform/box_state.h). An
// object with a destructor that holds memory of its own from the heap and is
// not registered is named once, when it first does.
//
// The test programs link with --wrap=__cxa_guard_release and
// --wrap=__cxa_atexit, so that every making of a function static, and every
// object with a destructor, passes through here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class LeftState {
public:
    LeftState() = default;
    LeftState(const LeftState&) = delete;
    LeftState& operator=(const LeftState&) = delete;
    ~LeftState();

    struct Variable {
        uintptr_t address = 0;  // in this process
        size_t size = 0;
        std::string name;
    };

    // Reads the program's list; false with `error` set when it cannot be
    // read or names memory outside the program's writable segments.
    bool load(const std::string& listPath, std::string& error);
    // Watches `variables` (a guard variable is named "guard variable for
    // <its static>"), each as it is now.
    void watch(std::vector<Variable> variables);
    // The static that `guardAddress` guards was just made: keeps its bytes as
    // made. Runs in the thread that made it.
    void madeNow(uintptr_t guardAddress);
    // What every variable holds now is how it should be after a put-back.
    void remember();
    // The names of the variables that hold something else now, and of those
    // that hold memory of their own unregistered for the first time (marked
    // so); from here on they are remembered as they are, so that only one
    // case is blamed.
    std::vector<std::string> changed();

    const std::vector<Variable>& variables() const { return variables_; }

private:
    bool firstMade(size_t index) const;
    bool differs(size_t index) const;

    std::vector<Variable> variables_;
    std::vector<std::vector<unsigned char>> remembered_;
    std::vector<int> guardOf_;  // index of the variable's guard, or -1
    // What each static made since the last look held when it was made; empty
    // for the rest. Under the lock of the makings (left_state.cpp).
    std::vector<std::vector<unsigned char>> madeAs_;
    // Named once already for holding memory of its own unregistered.
    std::vector<bool> unseenNamed_;
};

// The list the build made for this program (KEL_STATE_DIR/<program>.txt).
std::string leftStateList();
