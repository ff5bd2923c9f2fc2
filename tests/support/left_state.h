// What a case leaves behind in the box's own variables once the box is put
// back. The build lists every writable variable of the program's layer
// libraries in the test program (list_state.py: address, size, name); this
// keeps their bytes as they are before the first case and names those that
// differ after a later put-back: a global without its start value, a
// manager that was not dropped, a static the put-back does not know.
//
// A function's static that is made for the first time in a case (its guard
// variable goes from 0 to set) is not a change: a fresh process makes it too,
// when first used. What a variable points to is not seen: a static kept
// behind a pointer registers its own put-back (platform/box_state.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class LeftState {
public:
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
    // What every variable holds now is how it should be after a put-back.
    void remember();
    // The names of the variables that hold something else now; from here on
    // they are remembered as they are, so that only one case is blamed.
    std::vector<std::string> changed();

    const std::vector<Variable>& variables() const { return variables_; }

private:
    bool firstMade(size_t index) const;

    std::vector<Variable> variables_;
    std::vector<std::vector<unsigned char>> remembered_;
    std::vector<int> guardOf_;  // index of the variable's guard, or -1
};

// The list the build made for this program (KEL_STATE_DIR/<program>.txt).
std::string leftStateList();
