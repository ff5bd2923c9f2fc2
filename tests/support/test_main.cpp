// Test entry: a Qt application (offscreen unless told otherwise) around
// the test runner, since pages, timers and queued signals need one. The
// whole box is put back after every case, so the cases of a program pass
// run whole, in any order, as they pass one process each; a case after
// which the box's own variables still differ from how they were before the
// first case, or hold memory of their own unregistered, fails, naming them.
#include "tests/support/box_reset.h"
#include "tests/support/left_state.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

class BoxPutBack : public ::testing::EmptyTestEventListener {
public:
    explicit BoxPutBack(LeftState& left) : left_(left) {}

    // Runs before the result is printed, so that a case that left the box
    // changed is reported as failed.
    void OnTestEnd(const ::testing::TestInfo&) override
    {
        putBoxBack();
        std::string names;
        for (const std::string& name : left_.changed())
            names += "\n  " + name;
        if (!names.empty())
            ADD_FAILURE() << "the box's variables below still differ after it was put back, or hold memory the look "
                             "cannot compare: each needs its start value or put-back registered where it is defined "
                             "or made (CONTRIBUTING.md, \"Tests\")"
                          << names;
    }

private:
    LeftState& left_;
};

}  // namespace

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    putBoxBack();
    LeftState left;
    std::string error;
    if (!left.load(leftStateList(), error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    // What holds memory of its own before the first case and did not register.
    const std::vector<std::string> unseen = left.changed();
    if (!unseen.empty()) {
        std::fprintf(stderr, "the box's variables below hold memory the look cannot compare: each needs its start "
                             "value or put-back registered where it is defined (CONTRIBUTING.md, \"Tests\")\n");
        for (const std::string& name : unseen)
            std::fprintf(stderr, "  %s\n", name.c_str());
        return 1;
    }
    ::testing::UnitTest::GetInstance()->listeners().Append(new BoxPutBack(left));
    return RUN_ALL_TESTS();
}
