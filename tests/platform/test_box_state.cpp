// Putting the box back between cases: what registers its way back where it is
// defined or made is put back by itself, in the order threads, objects,
// values; what does not is named by the look at what a case leaves behind.
#include "app/global.h"
#include "platform/box_state.h"
#include "tests/support/left_state.h"
#include "videochip/x518_manage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Stand-ins for what the box keeps, with static storage as the box's own.
int trialGlobal = boxstate::startValue(trialGlobal, 7);
char trialArray[3];
const bool kTrialArrayStart = boxstate::startFilled(trialArray, 'x');

std::vector<std::string> journal;

// Containers: one registered, one not; neither's bytes change when an element does.
std::vector<int> registeredList = boxstate::startValue(registeredList, std::vector<int>{1, 2, 3});
std::vector<int> unregisteredList = {1, 2, 3};

struct TrialManager {
    explicit TrialManager(const char* name) : name(name) {}
    ~TrialManager() { journal.push_back(name + " dropped"); }
    void stop() { journal.push_back(name + " stopped"); }
    std::string name;
};
TrialManager* firstMade = nullptr;
TrialManager* secondMade = nullptr;

bool isKept(const void* variable)
{
    const std::vector<boxstate::Memory> kept = boxstate::keptMemory();
    return std::any_of(kept.begin(), kept.end(), [&](const boxstate::Memory& m) { return m.at == variable; });
}

}  // namespace

TEST(BoxState, AGlobalGoesBackToTheValueItIsDefinedWith)
{
    EXPECT_EQ(trialGlobal, 7);
    EXPECT_EQ(std::string(trialArray, 3), "xxx");
    trialGlobal = 99;
    trialArray[1] = 'y';
    g_port = 6000;
    g_str_ip = QStringLiteral("10.0.0.2");
    x518_manage::flash_waits.eraseMs = 1;
    boxstate::putBack(boxstate::Step::StartValues);
    EXPECT_EQ(trialGlobal, 7);
    EXPECT_EQ(std::string(trialArray, 3), "xxx");
    EXPECT_EQ(g_port, 5005);
    EXPECT_EQ(g_str_ip, QStringLiteral("192.168.1.199"));
    EXPECT_EQ(x518_manage::flash_waits.eraseMs, 4000);
}

TEST(BoxState, MadeObjectsStopWithTheThreadsThenGoNewestFirstOncePerMaking)
{
    journal.clear();
    firstMade = new TrialManager("first");
    boxstate::made(firstMade, &TrialManager::stop);
    secondMade = new TrialManager("second");
    boxstate::made(secondMade);
    EXPECT_TRUE(isKept(&firstMade));

    boxstate::putBack(boxstate::Step::StopThreads);
    EXPECT_EQ(journal, std::vector<std::string>{"first stopped"});
    ASSERT_NE(firstMade, nullptr);
    boxstate::putBack(boxstate::Step::DropObjects);
    EXPECT_EQ(journal, (std::vector<std::string>{"first stopped", "second dropped", "first dropped"}));
    EXPECT_EQ(firstMade, nullptr);
    EXPECT_EQ(secondMade, nullptr);
    EXPECT_FALSE(isKept(&firstMade));

    // Made without registering, an object is the caller's: nothing stops or drops it.
    TrialManager unregistered("unregistered");
    firstMade = &unregistered;
    boxstate::putBack(boxstate::Step::StopThreads);
    boxstate::putBack(boxstate::Step::DropObjects);
    EXPECT_EQ(firstMade, &unregistered);
    firstMade = nullptr;
    EXPECT_EQ(journal.size(), 3u);
}

// Every change of a watched variable is named once, but for a variable a
// registration puts back and a static made for the first time and not
// changed since; so is a container that is not registered.
TEST(BoxState, WhatACaseLeavesChangedIsNamedOnce)
{
    static long leftAlone, changedUnregistered, changedRegistered, madeLater, madeLaterGuard, madeChanged,
        madeChangedGuard;
    static const bool kRegistered = boxstate::keep(
        boxstate::Step::StartValues, [] {}, boxstate::memoryOf(changedRegistered));
    ASSERT_TRUE(kRegistered);
    // Each run starts from nothing made and nothing changed, run again or not.
    for (long* v : {&leftAlone, &changedUnregistered, &changedRegistered, &madeLater, &madeLaterGuard, &madeChanged,
                    &madeChangedGuard})
        *v = 0;
    unregisteredList = registeredList = {1, 2, 3};
    auto at = [](const auto& v) { return reinterpret_cast<uintptr_t>(&v); };
    LeftState left;
    left.watch({{at(leftAlone), sizeof(long), "leftAlone"},
                {at(changedUnregistered), sizeof(long), "changedUnregistered"},
                {at(changedRegistered), sizeof(long), "changedRegistered"},
                {at(madeLater), sizeof(long), "madeLater"},
                {at(madeLaterGuard), sizeof(long), "guard variable for madeLater"},
                {at(madeChanged), sizeof(long), "madeChanged"},
                {at(madeChangedGuard), sizeof(long), "guard variable for madeChanged"},
                {at(registeredList), sizeof registeredList, "registeredList"},
                {at(unregisteredList), sizeof unregisteredList, "unregisteredList"}});
    changedUnregistered = 1;
    changedRegistered = 1;
    for (long* made : {&madeLater, &madeChanged})
        *made = 1;
    madeLaterGuard = madeChangedGuard = 1;
    left.madeNow(at(madeLaterGuard));
    left.madeNow(at(madeChangedGuard));
    madeChanged = 2;
    unregisteredList[0] = registeredList[0] = 9;
    EXPECT_EQ(left.changed(),
              (std::vector<std::string>{"changedUnregistered", "madeChanged",
                                        "unregisteredList (holds memory of its own, which the look cannot compare)"}));
    EXPECT_TRUE(left.changed().empty());
    madeLater = 2;  // made once already: a change like any other
    EXPECT_EQ(left.changed(), std::vector<std::string>{"madeLater"});
}

TEST(BoxState, TheBuildListsTheBoxsVariablesAndAListOfAnotherProgramIsRefused)
{
    LeftState left;
    std::string error;
    ASSERT_TRUE(left.load(leftStateList(), error)) << error;
    std::vector<std::string> names;
    for (const LeftState::Variable& v : left.variables())
        names.push_back(v.name);
    for (const char* name : {"g_port", "x518_manage::p_x518_manage", "(anonymous namespace)::passbyState()::s",
                             "platform::(anonymous namespace)::g_root"})
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    EXPECT_EQ(std::find(names.begin(), names.end(), "(anonymous namespace)::trialGlobal"), names.end());

    const std::string list = testing::TempDir() + "left_state_list.txt";
    for (const std::string& text :
         {std::string("10 4 g_port\n"), std::string("ffffffffffff0000 4 far\n"), std::string("t7fffffff 4 far\n"),
          std::string("zz 4 g_port\n"), std::string(5000, 'a') + "\n"}) {
        std::ofstream(list) << text;
        error.clear();
        EXPECT_FALSE(left.load(list, error)) << text.substr(0, 40);
        EXPECT_FALSE(error.empty());
    }
    std::remove(list.c_str());
}
