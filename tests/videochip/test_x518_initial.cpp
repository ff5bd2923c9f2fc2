// The initial register load and the register-update window: the registers
// that tell whether each step ran with the right values.
#include "tests/videochip/chip_test.h"

#include "registers/x518_regs.h"

using x518::reg;

namespace {

struct Reg {
    u32 bank, address, width, value;
};

class InitialLoadTest : public ManagerTest {
protected:
    void SetUp() override
    {
        ManagerTest::SetUp();
        loadModel();
    }
    void load(int full = 1)
    {
        chip->clearJournal();
        m->write_initial_setting(fd, full);
    }
    u32 at(u32 bank, u32 address, u32 width, u32 channel = 0)
    {
        return chip->regValue(reg(bank, address, width), 16 * channel);
    }
    void expectRegs(std::initializer_list<Reg> regs, u32 channel = 0)
    {
        for (const Reg& r : regs)
            EXPECT_EQ(at(r.bank, r.address, r.width, channel), r.value)
                << std::hex << r.bank << ":" << r.address << " channel " << channel;
    }
    size_t writesToBank(uint8_t bank)
    {
        size_t n = 0;
        for (const auto& e : chip->journal())
            n += e.bank == bank;
        return n;
    }
};

}  // namespace

TEST_F(InitialLoadTest, ClocksSystemControlAndPllWords)
{
    chip->setTracing(true);
    load();
    // The clock generator goes out as written. Its first register is
    // address 0, which the chip takes for a bank select.
    std::vector<std::pair<uint8_t, uint8_t>> clock;
    for (const auto& t : chip->trace())
        if (clock.size() < 9)
            clock.emplace_back(t.tx[0], t.tx[1]);
    EXPECT_EQ(clock, (std::vector<std::pair<uint8_t, uint8_t>>{{0x80, 0xFF},
                                                               {0x80, 0x08},
                                                               {0x81, 0x00},
                                                               {0x82, 0xC8},
                                                               {0x83, 0x00},
                                                               {0x84, 0x61},
                                                               {0x85, 0x01},
                                                               {0x86, 0x00},
                                                               {0x87, 0x00}}));
    for (u32 c = 0; c < 8; ++c)
        EXPECT_EQ(at(0x00, 0x10 + c, 1), 2 * c);  // ICHSEL
    // The memory controller step writes 0xC8 and 0x61 in bank 0xFF; then the PLL words.
    // clang-format off
    expectRegs({{0xFF, 0x02, 1, 0xC8}, {0xFF, 0x04, 1, 0x61}, {0x00, 0x47, 1, 0}, {0x00, 0x48, 1, 137},
                {0x00, 0x49, 1, 0}, {0x00, 0x4A, 1, 1}, {0x00, 0x4B, 1, 22}, {0x00, 0x51, 1, 137}, {0x00, 0x52, 1, 0},
                {0x00, 0x53, 1, 2}, {0x00, 0x54, 1, 24}, {0x00, 0x39, 2, 0x0202}, {0x00, 0x79, 1, 0x2E}});
    // clang-format on
    EXPECT_EQ(writesTo(0x00, 0x7A), (std::vector<uint8_t>{0x80, 0x81, 0x84, 0x85, 0x88, 0x89, 0x8C, 0x8D, 0x90, 0x91,
                                                          0x94, 0x95, 0x98, 0x99, 0x9C, 0x9D}));
}

TEST_F(InitialLoadTest, TransmitterMemoryControllerAndReceiversWithTheRangeCode)
{
    load();
    expectRegs({{0x03, 0x44, 1, 88 / 2 - 1},
                {0x03, 0x4D, 1, 9},
                {0x03, 0x2F, 2, 1920},
                {0x03, 0x62, 4, 0x73625140},
                {0x04, 0x2B, 2, 0xF000},
                {0x05, 0x7E, 2, 0x40},
                {0x06, 0x38, 4, 0x07070707},
                {0x06, 0x3C, 4, 0x33333333},
                {0x01, 0x0D, 4, 0x66663445},
                {0x01, 0x55, 3, 0x924924},
                {0x01, 0x6D, 3, 0x6DB6DB},
                {0x01, 0x3E, 1, 0x6C},
                {0x02, 0x18, 1, 76},  // q = 22 x 27 MHz / (4 MHz x 1) = 148
                {0x02, 0x08, 1, 9},
                {0x02, 0x78, 1, 9},  // receiver 2's mode overwrites its range code
                {0x02, 0x7A, 2, 0x8011}});
    EXPECT_EQ(writesTo(0x02, 0x7F), (std::vector<uint8_t>{14, 15, 13, 15, 11, 15, 7, 15}));
}

TEST_F(InitialLoadTest, EveryChannelGetsItsTimingSyncSourceAndScalerMemory)
{
    load();
    const u32 osyct[8] = {0x0201, 0x1211, 0x1211, 0x1211, 0x0011, 0x0011, 0x0011, 0x0011};
    for (u32 k = 0; k < 8; ++k) {
        EXPECT_EQ(at(0x08, 0x08, 2, k), osyct[k]) << k;
        expectRegs({{0x08, 0x0A, 2, 2198},
                    {0x08, 0x0C, 2, 2248},
                    {0x08, 0x2A, 2, 2096},
                    {0x08, 0x36, 2, 2242},
                    {0x08, 0x40, 2, 176},
                    {0x08, 0x46, 2, 2161},
                    {0x0C, 0x59, 2, 0x3B61},
                    {0x10, 0x49, 1, 8},
                    {0x0E, 0x08, 1, k < 4 ? 10u : 1u},
                    {0x0E, 0x09, 4, 8 + k},
                    {0x0E, 0x17, 1, k < 4 ? 0x80u : 0u}},
                   k);
    }
    EXPECT_EQ(at(0x10, 0x09, 1, 5), 12u);
    EXPECT_EQ(at(0x10, 0x09, 1, 7), 14u);
    // Input channels take their scaler memory; channels 5 and 7 the second half of a pair's.
    for (u32 f = 0; f < 4; ++f) {
        EXPECT_EQ(at(0x16, 0x1C + 4 * f, 4, 0), m->sys.PS_MEM_SC[0][f]);
        EXPECT_EQ(at(0x16, 0x1C + 4 * f, 4, 4), m->sys.PS_MEM_SC[4][f]);
        EXPECT_EQ(at(0x16, 0x1C + 4 * f, 4, 5), m->sys.PS_MEM_SC[4][f] + 7680);
        EXPECT_EQ(at(0x16, 0x1C + 4 * f, 4, 6), m->sys.PS_MEM_SC[5][f]);
        EXPECT_EQ(at(0x16, 0x1C + 4 * f, 4, 7), m->sys.PS_MEM_SC[5][f] + 7680);
    }
    EXPECT_EQ(at(0x16, 0x2C, 4, 0), 0u);  // the fifth field is not written
    EXPECT_EQ(at(0x16, 0x31, 1, 7), 64u);
    EXPECT_EQ(at(0x16, 0x66, 3, 3), 0x043210u);
    EXPECT_EQ(at(0x17, 0x5B, 4, 3), 0x6B913800u);
    EXPECT_EQ(at(0x17, 0x58, 1, 2), 35u);
    EXPECT_EQ(at(0x17, 0x58, 1, 4), 0u);  // only the four processed channels
}

TEST_F(InitialLoadTest, TransmitterModesChangeLanesAndReceiverModeButNotTheRange)
{
    m->sys.PS_VBOTX_MODE = 1;
    load();
    expectRegs({{0x03, 0x2F, 2, 0},
                {0x03, 0x55, 4, 0x76543210},
                {0x02, 0x18, 1, 76} /* q = 297 */,
                {0x02, 0x08, 1, 5},
                {0x02, 0x78, 1, 5}});
    m->sys.PS_VBOTX_MODE = 2;
    load();
    expectRegs({{0x03, 0x55, 4, 0x00010000}, {0x03, 0x5E, 4, 0x76543210}});
}

TEST_F(InitialLoadTest, ThePllRangeCodeFollowsItsThresholds)
{
    // q = reference clock / 4 MHz with PLL words 4 and 5 at 1.
    m->sys.PS_PLL[3] = 1;
    m->sys.PS_PLL[4] = 1;
    const std::pair<u32, u32> cases[] = {{83999999, 68}, {84000000, 72}, {163999999, 72}, {164000000, 76}};
    for (auto [ref, code] : cases) {
        m->sys.PS_CLK_REF = ref;
        load();
        EXPECT_EQ(at(0x02, 0x18, 1), code) << ref;
    }
}

TEST_F(InitialLoadTest, WithoutFullTheClocksMemoryAndReceiversAreLeftOut)
{
    load(0);
    EXPECT_EQ(writesToBank(0xFF), 0u);
    EXPECT_EQ(writesToBank(0x01), 0u);
    EXPECT_EQ(writesToBank(0x02), 0u);
    EXPECT_EQ(at(0x17, 0x5B, 4, 0), 0x65CEA000u);  // the steps before them ran
}

TEST_F(InitialLoadTest, TheUpdateWindowWritesItsModeRowAndClosesAgain)
{
    chip->setReg(0x00, 0x29, 0x80);
    const std::pair<int, std::vector<uint8_t>> rows[] = {
        {0, {0, 0, 0, 0, 0, 0, 0}},
        {1, {0x99, 0x99, 0x21, 0x43, 0x55, 0x77, 0x99}},
        {2, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {3, {0xFF, 0xFF, 0x21, 0x43, 0x55, 0x77, 0xFF}},
        {7, {0x99, 0x99, 0xFF, 0xFF, 0xFF, 0xFF, 0x99}},
        {-1, {0x99, 0x99, 0xFF, 0xFF, 0xFF, 0xFF, 0x99}},
    };
    for (const auto& [mode, row] : rows) {
        chip->clearJournal();
        m->set_rtct(fd, mode);
        for (u32 i = 0; i < 7; ++i)
            EXPECT_EQ(chip->reg(0x00, 0x22 + i), row[i]) << mode << " " << i;
        EXPECT_EQ(writesTo(0x00, 0x29), (std::vector<uint8_t>{0x81, 0x80})) << mode;
    }
}

TEST_F(InitialLoadTest, TheLoadIsWrittenOnlyAndSelectsEachBankOncePerRun)
{
    chip->setTracing(true);
    chip->resetCounters();
    load();
    auto c = chip->counters();
    EXPECT_EQ(c.reads, 0u);
    EXPECT_EQ(c.transfers, c.writes + c.bankSelects);
    // No select repeats the bank already selected.
    int bank = -1, repeats = 0;
    for (const auto& t : chip->trace()) {
        if (!t.bankSelect())
            continue;
        repeats += t.tx[1] == bank;
        bank = t.tx[1];
    }
    EXPECT_EQ(repeats, 0);
}
