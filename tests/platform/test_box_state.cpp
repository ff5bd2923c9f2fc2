// Putting the box back between cases: what registers its way back where it is
// defined or made is put back by itself, in the order threads, objects,
// values.
#include "app/global.h"
#include "platform/box_state.h"
#include "videochip/x518_manage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Stand-ins for what the box keeps, with static storage as the box's own.
int trialGlobal = boxstate::startValue(trialGlobal, 7);
char trialArray[3];
const bool kTrialArrayStart = boxstate::startFilled(trialArray, 'x');

std::vector<std::string> journal;

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
