// Test entry: a Qt application (offscreen unless told otherwise) around
// the test runner, since pages, timers and queued signals need one. The
// whole box is put back after every case, so the cases of a program pass
// run whole, in any order, as they pass one process each.
#include "tests/support/box_reset.h"

#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

class BoxPutBack : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override { putBoxBack(); }
};

}  // namespace

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    putBoxBack();
    ::testing::UnitTest::GetInstance()->listeners().Append(new BoxPutBack);
    return RUN_ALL_TESTS();
}
