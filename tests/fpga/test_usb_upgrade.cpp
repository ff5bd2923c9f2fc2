// The USB upgrade: packages made by the project's builder on a simulated
// stick, installed by the FPGA manager's upgrade steps.
#include "app/config_engine.h"
#include "app/program_update.h"
#include "fpga/usb_package.h"
#include "links/file_deal.h"
#include "platform/sim/sim_uevent.h"
#include "platform/sim/sim_x518.h"
#include "tests/fpga/fpga_test.h"
#include "videochip/x518_manage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

namespace reg = fpga::reg;
using usbpkg::BuildChild;
using usbpkg::BuildSpec;

namespace {

constexpr const char* kStickDir = "/mnt/usb1/KEL-R8/";
const std::string kOldProgram = "old program";
const usbpkg::Version kAppRunning = {25, 2, 26, 11, 2, 0};
const usbpkg::Version kNewer = {25, 6, 1, 11, 3, 0};

std::vector<u8> pattern(size_t n, u8 seed)
{
    std::vector<u8> out(n);
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<u8>(i * 13 + seed + i / 251);
    return out;
}

std::string text(const std::vector<u8>& v)
{
    return std::string(v.begin(), v.end());
}

BuildChild child(u8 type, std::vector<u8> payload, usbpkg::Version v = kNewer)
{
    return BuildChild{type, std::move(payload), v};
}

}  // namespace

class UsbUpgrade : public FpgaTest {
protected:
    void SetUp() override
    {
        FpgaTest::SetUp();
        chip = platform::sim::deviceAs<platform::sim::SimX518>(platform::sim::SimX518::kDevicePath);
        x518 = x518_manage::prepareInstance();
        x518->openChip();
        m = manager();
        g_usb_grade_path = "KEL-R8";
        writeBoxFile(program_update::kProgramFile, kOldProgram);
        chip->clearFlashLog();
    }

    void putPackage(const std::string& name, const std::vector<u8>& bytes)
    {
        writeBoxFile(kStickDir + name, text(bytes));
    }
    void putPackage(const std::string& name, const BuildSpec& spec) { putPackage(name, usbpkg::build(spec)); }
    // One run, pass by pass as the manager's thread takes it; the passes it took.
    int runUpgrade()
    {
        g_usb_grade = 1;
        int n = 0;
        while (g_usb_grade.load() && n < 20) {
            m->usb_upgrade_manage_deal();
            ++n;
        }
        return n;
    }
    bool chipFlashTouched()
    {
        for (const auto& op : chip->flashLog())
            if (op.kind != platform::sim::SimX518Flash::Op::Dma)
                return true;
        return false;
    }
    bool installed() { return readBoxFile(program_update::kProgramFile) != kOldProgram; }

    std::shared_ptr<platform::sim::SimX518> chip;
    x518_manage* x518 = nullptr;
    fpga_manage* m = nullptr;
};

// The bytes at the places the package format gives them.
TEST(UsbPackage, BuilderPlacesEveryFieldWhereTheFormatSaysIt)
{
    BuildSpec spec;
    spec.publishType = usbpkg::kReleasePackage;
    spec.children = {child(usbpkg::kChildApplication, {0xAA, 0xBB}, {1, 2, 3, 4, 5, 6}),
                     child(usbpkg::kChildFpga1, {0xCC}, {7, 8, 9, 10, 11, 12})};
    const std::vector<u8> p = usbpkg::build(spec);
    const size_t fpgaAt = 49 + 2 * 21 + 2;
    ASSERT_EQ(p.size(), fpgaAt + 64 + 1);
    EXPECT_EQ(p[2], 128);
    EXPECT_EQ(p[18], 0x52);
    EXPECT_EQ(p[19], 0x8D);
    EXPECT_EQ(p[47], 2);
    EXPECT_EQ(p[48], 0);
    const std::vector<u8> app(p.begin() + 49, p.begin() + 70);
    EXPECT_EQ(app, (std::vector<u8>{10, 2, 0, 0, 0, 91, 0, 0, 0, 1, 2, 3, 4, 5, 6, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(p[70], 8);
    EXPECT_EQ(p[75], fpgaAt);  // file_offset
    EXPECT_EQ(p[91], 0xAA);
    EXPECT_EQ(p[fpgaAt + 31], 1);  // the image length in the FPGA head
    EXPECT_EQ(p[fpgaAt + 23], 7);  // its version: year, month, day, function
    EXPECT_EQ(p[fpgaAt + 26], 12);
    EXPECT_EQ(p.back(), 0xCC);
}

TEST_F(UsbUpgrade, ListsKelAndKelzkFilesInNameOrderIgnoringCase)
{
    for (const char* name : {"b.KEL", "A.KELZK", "c.kel", "d.Kel", "e.KEL.bak", "C.KEL"})
        writeBoxFile(std::string(kStickDir) + name, "x");
    ASSERT_TRUE(platform::makeDirs(std::string(kStickDir) + "dir.KEL"));
    const QString dir = QString::fromStdString(root_) + kStickDir;
    QFile::link(dir + "b.KEL", dir + "link.KEL");
    writeBoxFile("/mnt/usb1/root.KEL", "x");
    EXPECT_EQ(fpga_manage::usbPackagePaths(255),
              (QStringList{"/mnt/usb1/KEL-R8/A.KELZK", "/mnt/usb1/KEL-R8/b.KEL", "/mnt/usb1/KEL-R8/C.KEL"}));
    EXPECT_EQ(fpga_manage::usbPackagePaths(2).size(), 2);
    g_usb_grade_path = " ";  // the stick's root
    EXPECT_EQ(fpga_manage::usbPackagePaths(255), QStringList{"/mnt/usb1/root.KEL"});
}

// A 40,000-byte program for each FPGA: a 32 KB block and two 4 KB sectors
// erased, a 32 KB and a 7,232-byte chunk written; both FPGAs reset and let
// out again more than 200 ticks later.
TEST_F(UsbUpgrade, FpgaProgramsAreWrittenWholeAndBothFpgasRestart)
{
    const std::vector<u8> image0 = pattern(40000, 1), image1 = pattern(40000, 2);
    withFlash(0, [](auto& f) { f.fill(40960, {0x12, 0x34}); });  // past the last sector erased: left alone
    putPackage("fpga.KEL", BuildSpec{0,
                                     usbpkg::kControllerType,
                                     {child(usbpkg::kChildFpga0, image0), child(usbpkg::kChildFpga1, image1)}});
    EXPECT_EQ(runUpgrade(), 4);
    const std::vector<std::pair<uint8_t, uint32_t>> plan = {{0x52, 0}, {0x20, 0x8000}, {0x20, 0x9000}};
    for (int f = 0; f < 2; ++f) {
        EXPECT_EQ(flashErases(f), plan);
        EXPECT_EQ(flashRead(f, 0, 40000), f ? image1 : image0);
    }
    EXPECT_EQ(flashRead(0, 40960, 2), (std::vector<u8>{0x12, 0x34}));
    EXPECT_EQ(withFlash(0, [](auto& f) { return f.refusedCommands(); }), 0);
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstHold);
    EXPECT_EQ(*m->gpio_rst_fpga1, fpga::kRstHold);
    EXPECT_FALSE(installed());
    EXPECT_EQ(count(SYNC_USB_UPGRADE), 1);

    after(fpga_manage::kResetTicks - 1);
    EXPECT_EQ(*m->gpio_rst_fpga1, fpga::kRstHold);
    after(1);
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstRun);
    EXPECT_EQ(*m->gpio_rst_fpga1, fpga::kRstRun);
    EXPECT_EQ(m->passDueTicks(), 1);  // FPGA 0 powering up again
}

// Release packages skip what already runs: the application of this
// program's version, an FPGA program of the date and function the FPGA reports.
TEST_F(UsbUpgrade, ReleasePackagesSkipWhatAlreadyRuns)
{
    u8* image = m->MCU_REG_func[0];
    image[reg::kVersionYear] = 0x25;
    image[reg::kVersionMonth] = 0x06;
    image[reg::kVersionDay] = 0x01;
    image[reg::kVersion] = 0;
    const usbpkg::Version fpgaRunning = {25, 6, 1, 9, 9, 0};
    struct Case {
        u8 publish;
        u8 type;
        usbpkg::Version version;
        bool written;
    } cases[] = {
        {usbpkg::kReleasePackage, usbpkg::kChildApplication, kAppRunning, false},
        {0, usbpkg::kChildApplication, kAppRunning, true},
        {usbpkg::kReleasePackage, usbpkg::kChildApplication, kNewer, true},
        {usbpkg::kReleasePackage, usbpkg::kChildFpga0, fpgaRunning, false},
        {usbpkg::kReleasePackage, usbpkg::kChildFpga0, {25, 6, 2, 9, 9, 0}, true},
        {usbpkg::kReleasePackage, usbpkg::kChildFpga0, {25, 6, 1, 9, 9, 1}, true},
        {0, usbpkg::kChildFpga0, fpgaRunning, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.publish) << " type " << int(c.type) << " day " << int(c.version[2]));
        writeBoxFile(program_update::kProgramFile, kOldProgram);
        g_app_reset_flag = 0;
        withFlash(0, [](auto& f) { f.fill(0, std::vector<u8>(8, 0)); });
        putPackage("p.KEL", BuildSpec{c.publish, usbpkg::kControllerType, {child(c.type, pattern(8, 3), c.version)}});
        runUpgrade();
        const bool written = c.type == usbpkg::kChildApplication ? installed() : flashRead(0, 0, 8) == pattern(8, 3);
        EXPECT_EQ(written, c.written);
        EXPECT_EQ(g_app_reset_flag.load() != 0, c.written && c.type == usbpkg::kChildApplication);
    }
}

// Each font goes where its encoding and height say, from a package for any
// controller (one for another controller installs its fonts and nothing
// else); with all four fonts in the chip's flash, font children are skipped.
TEST_F(UsbUpgrade, FontsGoToTheAddressTheirHeadSelects)
{
    struct Case {
        u8 encoding, height;
        u32 address;
        u8 presentBit;  // of register 43, once the finish read the heads again
    } cases[] = {
        {0, 32, 0x10000, 0x02}, {0, 64, 0x450000, 0x08}, {0, 16, 0x0, 0}, {1, 32, 0x0, 0x01}, {1, 64, 0x410000, 0x04}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.encoding) << "/" << int(c.height));
        const std::vector<u8> font = usbpkg::fontImage(c.encoding, c.height, pattern(5000, c.height));
        putPackage("font.KEL",
                   BuildSpec{0,
                             0x1234,
                             {child(usbpkg::kChildApplication, pattern(100, 5)),
                              child(usbpkg::kChildFpga0, pattern(100, 6)), child(usbpkg::kChildFont, font)}});
        store->reg_image.font_flags = 0;
        runUpgrade();
        EXPECT_EQ(chip->flash(c.address, font.size()), font);
        EXPECT_EQ(store->reg_image.font_flags & c.presentBit, c.presentBit);
    }
    EXPECT_FALSE(installed());
    EXPECT_TRUE(flashErases(0).empty());
    chip->clearFlashLog();
    store->reg_image.font_flags = 0x3F;
    runUpgrade();
    EXPECT_FALSE(chipFlashTouched());
}

// Two application children: the last one taken decides. A newer one after
// a newer one installs the second; a current one after a newer one installs
// nothing and leaves no new program file behind. With a reboot already
// pending, a new program stays beside the old one, nothing is recorded and
// no FPGA is restarted.
TEST_F(UsbUpgrade, ApplicationChildrenAndAPendingReboot)
{
    auto twoChildren = [&](const usbpkg::Version& second) {
        putPackage("a.KEL", BuildSpec{usbpkg::kReleasePackage,
                                      usbpkg::kControllerType,
                                      {child(usbpkg::kChildApplication, pattern(3000, 7)),
                                       child(usbpkg::kChildApplication, pattern(2000, 8), second),
                                       child(usbpkg::kChildFpga0, pattern(500, 9))}});
        runUpgrade();
    };
    twoChildren(kNewer);
    EXPECT_EQ(readBoxFile(program_update::kProgramFile), text(pattern(2000, 8)));
    EXPECT_EQ(journalWith("mv "), (std::vector<std::string>{"mv /data/app/kelR54N2  /data/app/kelR54N"}));
    EXPECT_TRUE(platform::exists(ConfigEngine::kStartRecordFile));
    EXPECT_EQ(g_app_reset_flag.load(), 1);
    EXPECT_EQ(G_reboot_tickTicks.load(), G_timeTicks.load());
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstRun);

    writeBoxFile(program_update::kProgramFile, kOldProgram);
    twoChildren(kNewer);  // the reboot is still pending
    EXPECT_FALSE(installed());
    EXPECT_EQ(readBoxFile(program_update::kNewProgramFile), text(pattern(2000, 8)));
    EXPECT_EQ(journalWith("mv ").size(), 1u);
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstRun);

    g_app_reset_flag = 0;
    twoChildren(kAppRunning);
    EXPECT_FALSE(installed());
    EXPECT_FALSE(platform::exists(program_update::kNewProgramFile));
    EXPECT_EQ(g_app_reset_flag.load(), 0);
}

// A malformed package changes nothing: not the program (a stale new program
// file is removed, never installed), not the FPGA flashes, not the fonts.
TEST_F(UsbUpgrade, MalformedPackagesChangeNothing)
{
    const BuildSpec good{0,
                         usbpkg::kControllerType,
                         {child(usbpkg::kChildApplication, pattern(1000, 1)),
                          child(usbpkg::kChildFpga0, pattern(1000, 2)),
                          child(usbpkg::kChildFont, usbpkg::fontImage(1, 32, pattern(1000, 3)))}};
    const std::vector<u8> base = usbpkg::build(good);
    const size_t app = 49, fpga = 49 + 21, font = 49 + 42;
    const u32 fpgaHead = base[fpga + 5] | base[fpga + 6] << 8;
    const u32 fontAt = base[font + 5] | base[font + 6] << 8;
    auto put32 = [](std::vector<u8>& p, size_t at, u32 v) {
        for (int i = 0; i < 4; ++i)
            p[at + i] = static_cast<u8>(v >> (8 * i));
    };
    struct Case {
        const char* what;
        std::function<void(std::vector<u8>&)> spoil;
    } cases[] = {
        {"shorter than its head", [](std::vector<u8>& p) { p.resize(40); }},
        {"child count past the end", [](std::vector<u8>& p) { p[47] = 200; }},
        {"empty application", [&](std::vector<u8>& p) { put32(p, app + 1, 0); }},
        {"application past the end", [&](std::vector<u8>& p) { put32(p, app + 1, 1001 + u32(p.size())); }},
        {"application larger than the buffer", [&](std::vector<u8>& p) { put32(p, app + 1, 5242881); }},
        {"empty FPGA program", [&](std::vector<u8>& p) { put32(p, fpgaHead + 31, 0); }},
        {"FPGA program past the end", [&](std::vector<u8>& p) { put32(p, fpgaHead + 31, 100000); }},
        {"FPGA program larger than its flash", [&](std::vector<u8>& p) { put32(p, fpgaHead + 31, 0x800001); }},
        {"FPGA head past the end", [&](std::vector<u8>& p) { put32(p, fpga + 5, u32(p.size()) - 10); }},
        {"font past the end", [&](std::vector<u8>& p) { put32(p, font + 1, 2000); }},
        {"font shorter than its head", [&](std::vector<u8>& p) { put32(p, font + 1, 20); }},
        {"font without its head", [&](std::vector<u8>& p) { p[fontAt] = 0; }},
        {"font of an unknown encoding", [&](std::vector<u8>& p) { p[fontAt + 5] = 2; }},
        {"font larger than its area",
         [&](std::vector<u8>& p) {
             p.resize(fontAt + 0x10001);
             put32(p, font + 1, 0x10001);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<u8> bytes = base;
        c.spoil(bytes);
        putPackage("bad.KEL", bytes);
        writeBoxFile(program_update::kNewProgramFile, "stale");
        runUpgrade();
        EXPECT_EQ(g_usb_grade.load(), 0u);
        EXPECT_FALSE(installed());
        EXPECT_FALSE(platform::exists(program_update::kNewProgramFile));
        EXPECT_EQ(g_app_reset_flag.load(), 0);
        EXPECT_TRUE(flashErases(0).empty());
        EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstRun);
        EXPECT_FALSE(chipFlashTouched());
    }
    // The unspoilt package installs all three.
    putPackage("bad.KEL", base);
    runUpgrade();
    EXPECT_TRUE(installed());
    EXPECT_FALSE(flashErases(0).empty());
    EXPECT_TRUE(chipFlashTouched());
}

// An FPGA program whose flash does not take it after the erase is not
// started, and the run names that FPGA as incomplete.
TEST_F(UsbUpgrade, FpgaWhoseFlashFailedIsNotResetAndIsReportedIncomplete)
{
    withFlash(1, [](auto& f) { f.setBusyReads(100000, 2); });  // every page program stays busy
    putPackage("f.KEL",
               BuildSpec{0,
                         usbpkg::kControllerType,
                         {child(usbpkg::kChildFpga0, pattern(300, 1)), child(usbpkg::kChildFpga1, pattern(300, 2))}});
    runUpgrade();
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstHold);
    EXPECT_EQ(*m->gpio_rst_fpga1, fpga::kRstRun);
    EXPECT_EQ(m->downing_txc2, fpga_manage::kProgramIncomplete);
    EXPECT_EQ(m->incomplete_fpgas.load(), 0x02);
    EXPECT_EQ(count(SYNC_USB_UPGRADE), 1);
}

// The stick pulled at the first erase of FPGA 0's flash: its program was
// already read whole and is written whole; FPGA 1's program can no longer
// be read, so its flash is never erased and it is not restarted.
TEST_F(UsbUpgrade, AStickPulledDuringAnFpgaProgramLeavesNoFlashTorn)
{
    const std::vector<u8> image0 = pattern(100000, 1), old1 = pattern(4096, 9);
    withFlash(1, [&](auto& f) { f.fill(0, old1); });
    writeBoxFile("/sim/stick/KEL-R8/f.KEL",
                 text(usbpkg::build(
                     BuildSpec{0,
                               usbpkg::kControllerType,
                               {child(usbpkg::kChildFpga0, image0), child(usbpkg::kChildFpga1, pattern(50000, 2))}})));
    ASSERT_TRUE(platform::sim::usbStickInsert("/sim/stick"));
    withFlash(0, [](auto& f) { f.setEraseHook([] { platform::sim::usbStickRemove(); }); });
    runUpgrade();
    withFlash(0, [](auto& f) { f.setEraseHook(nullptr); });
    EXPECT_FALSE(platform::sim::usbStickInserted());
    EXPECT_EQ(flashRead(0, 0, 100000), image0);
    EXPECT_TRUE(flashErases(1).empty());
    EXPECT_EQ(flashRead(1, 0, 4096), old1);
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstHold);
    EXPECT_EQ(*m->gpio_rst_fpga1, fpga::kRstRun);
    EXPECT_EQ(m->incomplete_fpgas.load(), 0);
}

// The upgrade directory comes from the settings: one that climbs off the
// stick names nothing.
TEST_F(UsbUpgrade, AnUpgradeDirectoryThatLeavesTheStickIsRefused)
{
    writeBoxFile("/data/app/x.KEL", "x");
    writeBoxFile("/mnt/usb1/KEL-R8/sub/y.KEL", "y");
    g_usb_grade_path = "../../data/app";
    EXPECT_TRUE(fpga_manage::usbPackagePaths(255).isEmpty());
    g_usb_grade_path = "KEL-R8/../KEL-R8/sub";
    EXPECT_EQ(fpga_manage::usbPackagePaths(255), QStringList{"/mnt/usb1/KEL-R8/../KEL-R8/sub/y.KEL"});
}

// A run always starts at step 0 whatever a card job left in the step byte,
// and a step no run takes ends it.
TEST_F(UsbUpgrade, StepByteOfACardJobNeitherSkipsNorFreezesARun)
{
    putPackage("a.KEL", BuildSpec{0, usbpkg::kControllerType, {child(usbpkg::kChildApplication, pattern(10, 1))}});
    g_send_para.step = 2;
    EXPECT_EQ(runUpgrade(), 4);
    EXPECT_TRUE(installed());
    EXPECT_EQ(g_send_para.step.load(), 0);

    g_usb_grade = 1;
    m->usb_upgrade_manage_deal();
    g_send_para.step = 9;
    m->usb_upgrade_manage_deal();
    EXPECT_EQ(g_usb_grade.load(), 0u);
    EXPECT_EQ(g_send_para.step.load(), 0);
    EXPECT_EQ(g_update_flag.load(), 0);
    EXPECT_EQ(file_deal::owner(), file_deal::kOwnerNone);
}

// The upgrade and the link transfers share one buffer, one owner at a time.
TEST_F(UsbUpgrade, UpgradeWaitsForALinkTransferAndHoldsTheBufferWhileItRuns)
{
    putPackage("a.KEL", BuildSpec{0, usbpkg::kControllerType, {child(usbpkg::kChildApplication, pattern(10, 1))}});
    const u8 link = 1;
    ASSERT_TRUE(file_deal::acquire(link));
    KEL_FILE_DEAL_PARA transfer;
    transfer.link = link;
    transfer.stamp = G_timeTicks.load();
    ASSERT_TRUE(file_deal::begin(transfer));
    g_usb_grade = 1;
    for (int i = 0; i < 5; ++i)
        m->usb_upgrade_manage_deal();
    EXPECT_EQ(g_update_flag.load(), 0);
    EXPECT_EQ(file_deal::owner(), link);

    file_deal::release(link);
    m->usb_upgrade_manage_deal();
    EXPECT_EQ(file_deal::owner(), file_deal::kOwnerUsbUpgrade);
    EXPECT_FALSE(file_deal::acquire(link));
    EXPECT_EQ(runUpgrade(), 3);
    EXPECT_TRUE(installed());
    EXPECT_TRUE(file_deal::acquire(link));
}

// The whole road on the running manager: a stick inserted with a package,
// the upgrade requested; the application, both FPGA programs and a font
// land byte-exact, and the reboot is requested (stamp before flag).
TEST_F(UsbUpgrade, RunningManagerInstallsAPackageFromTheStick)
{
    const std::vector<u8> program = pattern(70000, 1), fpga0 = pattern(50000, 2), fpga1 = pattern(9000, 3);
    const std::vector<u8> font = usbpkg::fontImage(usbpkg::kFontChinese, 64, pattern(20000, 4));
    writeBoxFile(
        "/sim/stick/KEL-R8/all.KEL",
        text(usbpkg::build(BuildSpec{0,
                                     usbpkg::kControllerType,
                                     {child(usbpkg::kChildApplication, program), child(usbpkg::kChildFpga0, fpga0),
                                      child(usbpkg::kChildFpga1, fpga1), child(usbpkg::kChildFont, font)}})));
    ASSERT_TRUE(platform::sim::usbStickInsert("/sim/stick"));
    m->initialize_start();
    g_usb_grade = 1;
    m->wake();
    ASSERT_TRUE(waitUntil([] { return g_usb_grade.load() == 0; }, 20000));
    EXPECT_EQ(readBoxFile(program_update::kProgramFile), text(program));
    EXPECT_EQ(flashRead(0, 0, 50000), fpga0);
    EXPECT_EQ(flashRead(1, 0, 9000), fpga1);
    EXPECT_EQ(chip->flash(0x450000, font.size()), font);
    EXPECT_EQ(g_app_reset_flag.load(), 1);
    ASSERT_TRUE(waitUntil([this] { return count(SYNC_USB_UPGRADE) == 1; }));
    EXPECT_EQ(m->usb_grade_msg.count(QStringLiteral("    ")), 1);
}

// ---- what a flash that does not take a payload leaves, and what is told

namespace {

// The flash behind FPGA 0 as it must hold a program once `erased` bytes
// from 0 were erased over `old`.
std::vector<u8> erasedOver(const std::vector<u8>& old, size_t erased)
{
    std::vector<u8> out = old;
    std::fill(out.begin(), out.begin() + static_cast<long>(std::min(erased, out.size())), 0xFF);
    return out;
}

}  // namespace

// Program A installed, then program B while the flash refuses: the flash
// still holds A, the run says A was kept, and FPGA 0 is not restarted. B
// torn (the flash's programs stick) is marked incomplete; the mark stays
// over a run that does not touch FPGA 0 and goes once B is written whole.
TEST_F(UsbUpgrade, AProgramTheFlashRefusesKeepsTheOldOneAndATornOneStaysMarked)
{
    const std::vector<u8> a = pattern(100000, 1), b = pattern(90000, 2);
    auto install = [&](const std::vector<u8>& image) {
        putPackage("p.KEL", BuildSpec{0, usbpkg::kControllerType, {child(usbpkg::kChildFpga0, image)}});
        *m->gpio_rst_fpga0 = fpga::kRstRun;
        runUpgrade();
    };
    install(a);
    ASSERT_EQ(flashRead(0, 0, 100000), a);
    EXPECT_EQ(m->downing_txc1, fpga_manage::kProgramWritten);

    withFlash(0, [](auto& f) { f.setWriteProtected(true); });
    install(b);
    EXPECT_EQ(flashRead(0, 0, 100000), a);
    EXPECT_GT(withFlash(0, [](auto& f) { return f.refusedCommands(); }), 0);
    EXPECT_EQ(m->downing_txc1, fpga_manage::kProgramKept);
    EXPECT_EQ(m->kept_fpgas.load(), 0x01);
    EXPECT_EQ(m->incomplete_fpgas.load(), 0);
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstRun);
    EXPECT_EQ(count(SYNC_USB_UPGRADE), 2);

    withFlash(0, [](auto& f) {
        f.setWriteProtected(false);
        f.setBusyReads(100000, 2);
    });
    install(b);
    withFlash(0, [](auto& f) {
        f.setBusyReads(0, 0);  // the stuck program ends
        f.setBusyReads(1, 2);
    });
    EXPECT_EQ(m->downing_txc1, fpga_manage::kProgramIncomplete);
    EXPECT_EQ(m->incomplete_fpgas.load(), 0x01);
    EXPECT_EQ(m->kept_fpgas.load(), 0);
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstRun);
    putPackage("p.KEL", BuildSpec{0, usbpkg::kControllerType, {child(usbpkg::kChildFpga1, pattern(500, 3))}});
    runUpgrade();
    EXPECT_EQ(m->incomplete_fpgas.load(), 0x01);
    install(b);
    EXPECT_EQ(flashRead(0, 0, 90000), b);
    EXPECT_EQ(m->incomplete_fpgas.load(), 0);
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstHold);
}

// A then B in one run, the flash refusing from a point of B's erase on
// (A's first blocks gone, nothing of B written). Whatever the flash holds,
// B is incomplete and FPGA 0 is not restarted, although A was written
// whole before it.
TEST_F(UsbUpgrade, AFlashThatStartsRefusingDuringTheNextEraseTearsThatProgram)
{
    const std::vector<u8> a = pattern(100000, 4), b = pattern(100000, 5);
    // A's erase: three 32 KB blocks and a 4 KB sector; then B's.
    const struct {
        int erasesTaken;
        size_t bytesErasedOfA;
    } cases[] = {{5, 0x8000}, {7, 0x18000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.erasesTaken);
        putPackage("a.KEL", BuildSpec{0, usbpkg::kControllerType, {child(usbpkg::kChildFpga0, a)}});
        putPackage("b.KEL", BuildSpec{0, usbpkg::kControllerType, {child(usbpkg::kChildFpga0, b)}});
        int erases = 0;
        withFlash(0, [&](auto& f) {
            f.setWriteProtected(false);
            f.setEraseHook([&erases, &f, &c] {
                if (++erases == c.erasesTaken)
                    f.setWriteProtected(true);
            });
        });
        *m->gpio_rst_fpga0 = fpga::kRstRun;
        runUpgrade();
        withFlash(0, [](auto& f) {
            f.setEraseHook(nullptr);
            f.setWriteProtected(false);
        });
        EXPECT_EQ(flashRead(0, 0, 100000), erasedOver(a, c.bytesErasedOfA));
        EXPECT_EQ(m->downing_txc1, fpga_manage::kProgramIncomplete);
        EXPECT_EQ(m->incomplete_fpgas.load(), 0x01);
        EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstRun);
    }
}

// A font whose place in the chip's flash does not take it, from its start
// (a write-protected flash, switched on through the control pipe) or part
// way (the flash or the chip's SPI failing after some pages): it is
// incomplete, its head is never written, so it counts as absent and the
// next run writes it again, whole.
TEST_F(UsbUpgrade, AFontTheChipsFlashDoesNotTakeIsIncompleteWithoutItsHead)
{
    const std::vector<u8> font = usbpkg::fontImage(usbpkg::kFontChinese, 32, pattern(20000, 6));
    const std::vector<u8> oldFont = usbpkg::fontImage(usbpkg::kFontChinese, 32, pattern(20000, 7));
    putPackage("font.KEL", BuildSpec{0, usbpkg::kControllerType, {child(usbpkg::kChildFont, font)}});
    const u32 at = 0x10000;
    const u8 chinese32 = 0x02;  // register 43
    constexpr size_t kPagesTaken = 16;
    size_t bytesSent = 0;
    std::function<void()> fail;
    chip->setTransferHook([&](const platform::sim::SimX518::Transfer& t) {
        if (t.write() && t.bank == 4 && t.address() == 0x52 && ++bytesSent == kPagesTaken * 256 && fail)
            fail();
    });
    const struct {
        const char* what;
        std::function<void()> on, off;
        bool oldFontStays;
    } cases[] = {
        {"flash refusing", [&] { ASSERT_EQ(control("fault chip flash on"), "ok fault chip flash on"); },
         [&] { ASSERT_EQ(control("fault chip flash off"), "ok fault chip flash off"); }, true},
        {"flash refusing part way", nullptr, [&] { chip->setFlashWriteProtected(false); }, false},
        {"SPI failing part way", nullptr, [&] { chip->failTransfers(0); }, false},
    };
    const std::function<void()> partWay[] = {nullptr, [&] { chip->setFlashWriteProtected(true); },
                                             [&] { chip->failTransfers(INT_MAX); }};
    for (size_t k = 0; k < 3; ++k) {
        const auto& c = cases[k];
        SCOPED_TRACE(c.what);
        chip->loadFlash(at, oldFont);
        store->reg_image.font_flags = 0x3D;  // all but this one
        bytesSent = 0;
        fail = partWay[k];
        if (c.on)
            c.on();
        runUpgrade();
        c.off();
        fail = nullptr;
        EXPECT_EQ(m->downing_osd, fpga_manage::kProgramIncomplete);
        EXPECT_EQ(m->incomplete_fonts.load(), 0x02);
        if (c.oldFontStays)
            EXPECT_EQ(chip->flash(at, oldFont.size()), oldFont);
        else
            EXPECT_EQ(chip->flash(at, 1), std::vector<u8>{0xFF});
        EXPECT_NE(chip->flash(at, font.size()), font);

        x518->read_x518_font(x518->spi_fd);
        EXPECT_EQ(store->reg_image.font_flags & chinese32, c.oldFontStays ? chinese32 : 0);
        store->reg_image.font_flags = 0x3D;
        runUpgrade();
        EXPECT_EQ(chip->flash(at, font.size()), font);
        EXPECT_EQ(m->downing_osd, fpga_manage::kProgramWritten);
        EXPECT_EQ(m->incomplete_fonts.load(), 0);
        EXPECT_EQ(store->reg_image.font_flags & chinese32, chinese32);
    }
    chip->setTransferHook(nullptr);
}

// An application that cannot be written whole (the disk full) is not
// installed: the old program stays, no reboot, and the run says so until a
// later run writes one.
TEST_F(UsbUpgrade, AnApplicationThatCannotBeWrittenIsToldAndTheOldOneStays)
{
    putPackage("a.KEL", BuildSpec{0, usbpkg::kControllerType, {child(usbpkg::kChildApplication, pattern(3000, 8))}});
    platform::sim::setDiskFault(platform::sim::DiskFault::kFull);
    runUpgrade();
    platform::sim::setDiskFault(platform::sim::DiskFault::kNone);
    EXPECT_FALSE(installed());
    EXPECT_FALSE(platform::exists(program_update::kNewProgramFile));
    EXPECT_EQ(g_app_reset_flag.load(), 0);
    EXPECT_TRUE(m->application_failed.load());
    runUpgrade();
    EXPECT_TRUE(installed());
    EXPECT_FALSE(m->application_failed.load());
}

// A disk that takes no file (full or read-only) cannot keep the mark that
// tells a torn program after a power cut: no FPGA program and no font is
// erased then. Each flash keeps what it held, the run says so, and a box
// started again (as after a power cut) lets FPGA 0 out of reset. Once the
// disk takes files again the same package is installed.
TEST_F(UsbUpgrade, WhileTheMarkCannotBeStoredNoFlashIsErased)
{
    const std::vector<u8> a = pattern(40000, 21), b = pattern(40000, 22);
    const std::vector<u8> oldFont = usbpkg::fontImage(usbpkg::kFontEnglish, 64, pattern(3000, 23));
    const std::vector<u8> font = usbpkg::fontImage(usbpkg::kFontEnglish, 64, pattern(3000, 24));
    const u32 fontAt = 0x410000;
    for (const auto fault : {platform::sim::DiskFault::kFull, platform::sim::DiskFault::kReadOnly}) {
        SCOPED_TRACE(static_cast<int>(fault));
        withFlash(0, [&](auto& f) { f.fill(0, a); });
        chip->loadFlash(fontAt, oldFont);
        chip->clearFlashLog();
        store->reg_image.font_flags = 0x2B;  // all but the 64-dot English font
        putPackage(
            "p.KEL",
            BuildSpec{0, usbpkg::kControllerType, {child(usbpkg::kChildFpga0, b), child(usbpkg::kChildFont, font)}});
        const size_t erases = flashErases(0).size();
        *m->gpio_rst_fpga0 = fpga::kRstRun;
        platform::sim::setDiskFault(fault);
        runUpgrade();
        platform::sim::setDiskFault(platform::sim::DiskFault::kNone);
        EXPECT_EQ(flashErases(0).size(), erases);
        EXPECT_EQ(flashRead(0, 0, 40000), a);
        EXPECT_FALSE(chipFlashTouched());
        EXPECT_EQ(chip->flash(fontAt, oldFont.size()), oldFont);
        EXPECT_EQ(m->downing_txc1, fpga_manage::kProgramUnrecorded);
        EXPECT_EQ(m->downing_osd, fpga_manage::kProgramUnrecorded);
        EXPECT_EQ(m->unrecorded_fpgas.load(), 0x01);
        EXPECT_EQ(m->unrecorded_fonts.load(), 0x04);
        EXPECT_EQ(m->incomplete_fpgas.load() | m->incomplete_fonts.load() | m->kept_fpgas.load(), 0);
        EXPECT_FALSE(platform::exists(incomplete_record::kFile));
        EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstRun);

        // The start after a power cut: nothing marked, FPGA 0 comes up.
        m->initialize_start();
        m->stop();
        EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstRun);

        runUpgrade();
        EXPECT_EQ(flashRead(0, 0, 40000), b);
        EXPECT_EQ(chip->flash(fontAt, font.size()), font);
        EXPECT_EQ(m->unrecorded_fpgas.load() | m->unrecorded_fonts.load(), 0);
    }
}

// The disk turns read-only once the mark of FPGA 0's program is stored,
// at its first erase: the program is written whole and read back, but the
// record cannot let go of the mark. The run does not count as complete:
// the record is behind (and so says the console), the application is not
// installed (a restart would keep FPGA 0 in reset), and FPGA 0, no longer
// marked, restarts onto its new program. A power cut then would keep it in
// reset; once the disk takes files again the box brings the record up to
// date within a second, tells the page (change code 1), and a power cut
// after that lets FPGA 0 out.
TEST_F(UsbUpgrade, AMarkTheDiskKeepsAfterAWholeProgramIsToldAndGoesOnceTheDiskTakesFiles)
{
    const std::vector<u8> program = pattern(40000, 31);
    putPackage("p.KEL",
               BuildSpec{0,
                         usbpkg::kControllerType,
                         {child(usbpkg::kChildApplication, pattern(3000, 32)), child(usbpkg::kChildFpga0, program)}});
    std::string recordAtErase;
    withFlash(0, [&](auto& f) {
        f.setEraseHook([&] {
            if (recordAtErase.empty())
                recordAtErase = readBoxFile(incomplete_record::kFile);
            platform::sim::setDiskFault(platform::sim::DiskFault::kReadOnly);
        });
    });
    runUpgrade();
    withFlash(0, [](auto& f) { f.setEraseHook(nullptr); });
    EXPECT_EQ(recordAtErase, "fpgas=1\nfonts=0\n");
    EXPECT_EQ(flashRead(0, 0, 40000), program);
    EXPECT_EQ(m->downing_txc1, fpga_manage::kProgramWritten);
    EXPECT_EQ(m->incomplete_fpgas.load(), 0);
    EXPECT_EQ(m->stale_fpgas.load(), 0x01);
    EXPECT_EQ(m->stale_fonts.load(), 0);
    EXPECT_TRUE(m->recordBehind());
    EXPECT_EQ(readBoxFile(incomplete_record::kFile), "fpgas=1\nfonts=0\n");
    EXPECT_TRUE(m->application_failed.load());
    EXPECT_FALSE(installed());
    EXPECT_EQ(g_app_reset_flag.load(), 0);
    EXPECT_EQ(count(SYNC_USB_UPGRADE), 1);
    // Not marked in memory: FPGA 0 restarts onto the program it holds whole.
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstHold);
    after(fpga_manage::kResetTicks + 1);
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstRun);
    ASSERT_TRUE(bringUp());

    // While the disk stays read-only, tries a second apart change nothing.
    codes.clear();
    after(fpga_manage::kRecordRetryTicks);
    after(fpga_manage::kRecordRetryTicks);
    EXPECT_EQ(readBoxFile(incomplete_record::kFile), "fpgas=1\nfonts=0\n");
    EXPECT_TRUE(m->recordBehind());
    EXPECT_EQ(count(SYNC_PARA_CHANGED), 0);

    platform::sim::setDiskFault(platform::sim::DiskFault::kNone);
    after(fpga_manage::kRecordRetryTicks);
    EXPECT_FALSE(platform::exists(incomplete_record::kFile));
    EXPECT_FALSE(m->recordBehind());
    EXPECT_EQ(count(SYNC_PARA_CHANGED), 1);
    after(fpga_manage::kRecordRetryTicks);
    EXPECT_EQ(count(SYNC_PARA_CHANGED), 1);
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstRun);

    // A power cut now: nothing marked, FPGA 0 comes up on its new program.
    m->initialize_start();
    m->stop();
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstRun);
}

// The same mark kept, and the power cut comes first: the start holds FPGA 0
// in reset, as the record marks it, until a run writes its program whole
// again; the page would say so at its opening. A full disk still takes the
// record's removal: a mark of one FPGA alone is never left behind by it, but
// a record that must keep another FPGA's mark cannot be rewritten either.
TEST_F(UsbUpgrade, AMarkTheDiskKeptHoldsItsFpgaInResetAfterAPowerCut)
{
    const std::vector<u8> program = pattern(40000, 33);
    putPackage("p.KEL", BuildSpec{0, usbpkg::kControllerType, {child(usbpkg::kChildFpga0, program)}});
    auto diskAtErase = [&](platform::sim::DiskFault fault) {
        withFlash(0, [fault](auto& f) { f.setEraseHook([fault] { platform::sim::setDiskFault(fault); }); });
    };
    diskAtErase(platform::sim::DiskFault::kReadOnly);
    runUpgrade();
    ASSERT_EQ(m->stale_fpgas.load(), 0x01);
    platform::sim::setDiskFault(platform::sim::DiskFault::kNone);  // the power cut ends the fault too
    m->initialize_start();
    m->stop();
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstHold);
    EXPECT_EQ(m->incomplete_fpgas.load(), 0x01);
    EXPECT_FALSE(m->recordBehind());
    m->holdFpgaReset(0);
    after(fpga_manage::kResetTicks + 1);
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstHold);

    // Written whole again with the disk full under it: the removal lands.
    diskAtErase(platform::sim::DiskFault::kFull);
    runUpgrade();
    platform::sim::setDiskFault(platform::sim::DiskFault::kNone);
    EXPECT_EQ(m->incomplete_fpgas.load(), 0);
    EXPECT_FALSE(m->recordBehind());
    EXPECT_FALSE(platform::exists(incomplete_record::kFile));
    after(fpga_manage::kResetTicks + 1);
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstRun);

    // FPGA 1 marked (torn earlier): the full disk cannot drop FPGA 0's mark
    // from a record that keeps FPGA 1's.
    writeBoxFile(incomplete_record::kFile, "fpgas=2\nfonts=0\n");
    m->loadIncompleteMarks();
    runUpgrade();
    withFlash(0, [](auto& f) { f.setEraseHook(nullptr); });
    platform::sim::setDiskFault(platform::sim::DiskFault::kNone);
    EXPECT_EQ(m->incomplete_fpgas.load(), 0x02);
    EXPECT_EQ(m->stale_fpgas.load(), 0x01);
    EXPECT_EQ(readBoxFile(incomplete_record::kFile), "fpgas=3\nfonts=0\n");
    after(fpga_manage::kRecordRetryTicks);
    EXPECT_EQ(readBoxFile(incomplete_record::kFile), "fpgas=2\nfonts=0\n");
    EXPECT_FALSE(m->recordBehind());
}

// ---- what a flash holds, told; a torn program over a restart

// Program A in place, then B with the flash refusing every erase and
// program, reads failing, or page programs sticking: the run tells what
// the flash holds (A kept, B unverified, or torn), only a torn one is
// marked incomplete (and kept in the file of the marks), and FPGA 0 runs
// on whatever it loaded.
TEST_F(UsbUpgrade, WhatTheFlashHoldsIsWhatTheRunTells)
{
    const std::vector<u8> a = pattern(50000, 11), b = pattern(45000, 12);
    using Flash = platform::sim::SimNorFlash;
    const struct {
        const char* what;
        void (*fault)(Flash&, bool);
        fpga_manage::ProgramWrite outcome;
        const std::vector<u8>* holds;  // null: neither A nor B whole
        u8 kept, unverified, incomplete;
    } cases[] = {
        {"refusing", [](Flash& f, bool on) { f.setWriteProtected(on); }, fpga_manage::kProgramKept, &a, 1, 0, 0},
        {"reads failing", [](Flash& f, bool on) { f.setReadsFail(on); }, fpga_manage::kProgramUnverified, &b, 0, 1, 0},
        {"sticking", [](Flash& f, bool on) { f.setBusyReads(on ? 100000 : 0, on ? 2 : 0); },
         fpga_manage::kProgramIncomplete, nullptr, 0, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        putPackage("p.KEL", BuildSpec{0, usbpkg::kControllerType, {child(usbpkg::kChildFpga0, a)}});
        runUpgrade();
        ASSERT_EQ(flashRead(0, 0, 50000), a);
        *m->gpio_rst_fpga0 = fpga::kRstRun;
        putPackage("p.KEL", BuildSpec{0, usbpkg::kControllerType, {child(usbpkg::kChildFpga0, b)}});
        withFlash(0, [&](Flash& f) { c.fault(f, true); });
        runUpgrade();
        withFlash(0, [&](Flash& f) { c.fault(f, false); });
        EXPECT_EQ(m->downing_txc1, c.outcome);
        if (c.holds)
            EXPECT_EQ(flashRead(0, 0, static_cast<u32>(c.holds->size())), *c.holds);
        else
            EXPECT_TRUE(flashRead(0, 0, 45000) != b && flashRead(0, 0, 50000) != a);
        EXPECT_EQ(m->kept_fpgas.load(), c.kept);
        EXPECT_EQ(m->unverified_fpgas.load(), c.unverified);
        EXPECT_EQ(m->incomplete_fpgas.load(), c.incomplete);
        EXPECT_EQ(incomplete_record::read().fpgas, c.incomplete);
        EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstRun);
    }
}

// A run with an application whose FPGA program the flash tears neither
// installs the application nor restarts the box: FPGA 0 runs on. The mark
// outlives the restart: the FPGA stays in reset from the start, whatever
// resets it, until a run writes its program whole; that run installs the
// application and restarts, and the next start lets the FPGA out.
TEST_F(UsbUpgrade, ATornProgramOutlivesARestartAndItsFpgaStaysInResetUntilWrittenWhole)
{
    const BuildSpec both{
        0,
        usbpkg::kControllerType,
        {child(usbpkg::kChildApplication, pattern(3000, 13)), child(usbpkg::kChildFpga0, pattern(40000, 14))}};
    putPackage("p.KEL", both);
    withFlash(0, [](auto& f) { f.setBusyReads(100000, 2); });
    runUpgrade();
    withFlash(0, [](auto& f) { f.setBusyReads(0, 0); });  // the stuck program ends
    EXPECT_FALSE(installed());
    EXPECT_FALSE(platform::exists(program_update::kNewProgramFile));
    EXPECT_EQ(g_app_reset_flag.load(), 0);
    EXPECT_TRUE(m->application_failed.load());
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstRun);
    EXPECT_EQ(readBoxFile(incomplete_record::kFile), "fpgas=1\nfonts=0\n");

    // The start after a reboot: the marks come from the file alone.
    m->incomplete_fpgas = 0;
    m->initialize_start();
    m->stop();
    EXPECT_EQ(m->incomplete_fpgas.load(), 0x01);
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstHold);
    EXPECT_EQ(*m->gpio_rst_fpga1, fpga::kRstRun);
    m->holdFpgaReset(0);
    after(fpga_manage::kResetTicks + 1);
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstHold);
    EXPECT_EQ(m->get_fpga_status(), 0);

    runUpgrade();
    EXPECT_TRUE(installed());
    EXPECT_EQ(g_app_reset_flag.load(), 1);
    EXPECT_EQ(m->incomplete_fpgas.load(), 0);
    EXPECT_FALSE(platform::exists(incomplete_record::kFile));
    m->initialize_start();
    m->stop();
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstRun);
    g_app_reset_flag = 0;
}

// The file of the marks comes from outside: only what the box writes is
// read, and anything else marks nothing, so both FPGAs come up.
TEST_F(UsbUpgrade, ARecordOfMarksThatIsNotTheBoxsOwnMarksNothing)
{
    const struct {
        std::string text;
        bool read;
        u8 fpgas, fonts;
    } cases[] = {
        {"fpgas=1\nfonts=0\n", true, 1, 0},
        {"fpgas=3\nfonts=15\n", true, 3, 15},
        {"fpgas=0\nfonts=8\n", true, 0, 8},
        {"fpgas=4\nfonts=0\n", false, 0, 0},   // no FPGA 3
        {"fpgas=1\nfonts=16\n", false, 0, 0},  // no fifth font place
        {"fpgas=1\nfonts=0", false, 0, 0},     // cut short
        {"fpgas=1\r\nfonts=0\r\n", false, 0, 0},
        {"fonts=0\nfpgas=1\n", false, 0, 0},
        {"fpgas=1\nfonts=0\nfpgas=1\n", false, 0, 0},
        {"fpgas=-1\nfonts=0\n", false, 0, 0},
        {"fpgas=0x1\nfonts=0\n", false, 0, 0},
        {"fpgas=0001\nfonts=0\n", false, 0, 0},
        {"fpgas=\nfonts=0\n", false, 0, 0},
        {"", false, 0, 0},
        {std::string("fpgas=1\0\nfonts=0\n", 17), false, 0, 0},
        {"fpgas=1\nfonts=0\n" + std::string(incomplete_record::kMostBytes, '\n'), false, 0, 0},  // too large
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        writeBoxFile(incomplete_record::kFile, c.text);
        const incomplete_record::Marks marks = incomplete_record::read();
        EXPECT_EQ(marks.fpgas, c.fpgas);
        EXPECT_EQ(marks.fonts, c.fonts);
        if (c.read) {
            EXPECT_EQ(incomplete_record::format(marks), c.text);
        }
    }
    writeBoxFile(incomplete_record::kFile, "fpgas=3\nfonts=99\n");
    m->initialize_start();
    m->stop();
    EXPECT_EQ(*m->gpio_rst_fpga0, fpga::kRstRun);
    EXPECT_EQ(*m->gpio_rst_fpga1, fpga::kRstRun);
    EXPECT_EQ(m->incomplete_fpgas.load(), 0);
}

// A run that finds no package on the stick does not tell an earlier run's
// failed application again.
TEST_F(UsbUpgrade, ARunWithoutPackagesDoesNotRepeatAnEarlierFailure)
{
    putPackage("a.KEL", BuildSpec{0, usbpkg::kControllerType, {child(usbpkg::kChildApplication, pattern(3000, 8))}});
    platform::sim::setDiskFault(platform::sim::DiskFault::kFull);
    runUpgrade();
    platform::sim::setDiskFault(platform::sim::DiskFault::kNone);
    ASSERT_TRUE(m->application_failed.load());
    ASSERT_TRUE(platform::removeFile(kStickDir + std::string("a.KEL")));
    runUpgrade();
    EXPECT_FALSE(m->application_failed.load());
    EXPECT_FALSE(installed());
}

// ---- fault 1 and 2 of issue 64: what a run leaves out is told

namespace {

// The stick the table's runs read, and its upgrade folder.
constexpr const char* kPullStick = "/sim/stick64";
const std::string kPullDir = std::string(kPullStick) + "/KEL-R8/";

// A second stick, in the first one's folder (so it goes with it).
constexpr const char* kOtherStick = "/sim/stick64/other";

// A package of another product (its fonts are taken all the same).
constexpr u16 kOtherController = 0x8D53;

}  // namespace

// Hostile packages and sticks pulled during a run, as one table: nothing
// is torn or installed that was not read whole, the box restarts into no
// new application while parts of the run were left out, and the worker
// keeps, for the page, what was not installed and why: no package found,
// packages refused (damaged, a head only), packages and parts the stick
// did not give, parts of another product. The last row, a whole package
// on a stick left in, ends as a complete run: installed, restarting.
TEST_F(UsbUpgrade, HostilePackagesAndStickPullsTellWhatWasNotInstalledAndWhy)
{
    const std::vector<u8> app = pattern(3000, 21), fpga0 = pattern(40000, 22), fpga1 = pattern(9000, 23);
    const std::vector<u8> font = usbpkg::fontImage(usbpkg::kFontEnglish, 32, pattern(4000, 24));
    auto spec = [&](std::vector<u8> types, u16 controller = usbpkg::kControllerType) {
        BuildSpec s{0, controller, {}};
        for (u8 t : types)
            s.children.push_back(t == usbpkg::kChildApplication ? child(t, app)
                                 : t == usbpkg::kChildFpga0     ? child(t, fpga0)
                                 : t == usbpkg::kChildFpga1     ? child(t, fpga1)
                                                                : child(t, font));
        return usbpkg::build(s);
    };
    const std::vector<u8> whole =
        spec({usbpkg::kChildApplication, usbpkg::kChildFpga0, usbpkg::kChildFpga1, usbpkg::kChildFont});
    auto put = [this](const std::string& name, const std::vector<u8>& bytes) {
        writeBoxFile(kPullDir + name, text(bytes));
    };
    auto put32 = [](std::vector<u8>& p, size_t at, u32 v) {
        for (int i = 0; i < 4; ++i)
            p[at + i] = static_cast<u8>(v >> (8 * i));
    };
    // The stick pulled as the flash behind FPGA `n` is first erased.
    auto pullAt = [this](int n) {
        withFlash(n, [](auto& f) {
            f.setEraseHook([&f] {
                f.setEraseHook(nullptr);
                platform::sim::usbStickRemove();
            });
        });
    };
    QTemporaryDir outside;
    using P = fpga_manage::RunPart;
    const u8 kApp = P::kPartApplication, kF0 = P::kPartFpga0, kF1 = P::kPartFpga1, kFont = P::kPartFont;
    const struct Row {
        const char* what;
        std::function<void()> put;
        bool noPackage;
        u16 refused, unreadPackages;
        u8 unreadParts, foreignParts;
        bool applicationFailed;  // written, and not installed
        u8 written;              // parts written whole: the FPGAs restart onto theirs
        bool restarts;           // the new application installed, the box restarting
    } rows[] = {
        {"0 bytes", [&] { put("a.KEL", {}); }, false, 1, 0, 0, 0, false, 0, false},
        {"truncated",
         [&] {
             std::vector<u8> p = whole;
             p.resize(p.size() / 2);
             put("a.KEL", p);
         },
         false, 1, 0, 0, 0, false, 0, false},
        {"a lying size",
         [&] {
             std::vector<u8> p = whole;
             put32(p, 49 + 1, 3000 + u32(p.size()));
             put("a.KEL", p);
         },
         false, 1, 0, 0, 0, false, 0, false},
        {"an offset near 4 GiB",
         [&] {
             std::vector<u8> p = whole;
             put32(p, 49 + 21 + 5, 0xFFFFFF00u);
             put("a.KEL", p);
         },
         false, 1, 0, 0, 0, false, 0, false},
        {"a font of an unknown encoding",
         [&] {
             std::vector<u8> p = whole;
             const size_t fontAt = p.size() - font.size();
             p[fontAt + usbpkg::kFontEncodingByte] = 7;
             put("a.KEL", p);
         },
         false, 1, 0, 0, 0, false, 0, false},
        {"a head only", [&] { put("a.KEL", spec({})); }, false, 1, 0, 0, 0, false, 0, false},
        {"2 GiB of zeros",
         [&] {
             writeBoxFile(kPullDir + "a.KEL", "");
             QFile f(QString::fromStdString(root_) + kPullStick + "/KEL-R8/a.KEL");
             ASSERT_TRUE(f.resize(qint64(2) << 30));  // sparse: no room taken
         },
         false, 1, 0, 0, 0, false, 0, false},
        {"no package", [] { platform::makeDirs(kPullDir); }, true, 0, 0, 0, 0, false, 0, false},
        {"another product's package",
         [&] {
             put("a.KEL", spec({usbpkg::kChildApplication, usbpkg::kChildFpga0, usbpkg::kChildFont}, kOtherController));
         },
         false, 0, 0, 0, kApp | kF0, false, kFont, false},
        {"pulled at FPGA 1's erase, the application last",
         [&] {
             put("a.KEL",
                 spec({usbpkg::kChildFpga0, usbpkg::kChildFpga1, usbpkg::kChildFont, usbpkg::kChildApplication}));
             pullAt(0);
         },
         false, 0, 0, kF1 | kFont | kApp, 0, false, kF0, false},
        {"pulled at FPGA 1's erase, the application first",
         [&] {
             put("a.KEL", whole);
             pullAt(0);
         },
         false, 0, 0, kF1 | kFont, 0, true, kF0, false},
        {"pulled at FPGA 2's erase",
         [&] {
             put("a.KEL", whole);
             pullAt(1);
         },
         false, 0, 0, kFont, 0, true, kF0 | kF1, false},
        {"pulled at FPGA 1's erase, a package after",
         [&] {
             put("a.KEL", spec({usbpkg::kChildApplication, usbpkg::kChildFpga0}));
             put("b.KEL", spec({usbpkg::kChildFpga1}));
             pullAt(0);
         },
         false, 0, 1, 0, 0, true, kF0, false},
        {"pulled at FPGA 1's erase, a font after",
         [&] {
             put("a.KEL", spec({usbpkg::kChildFpga0, usbpkg::kChildFont}));
             pullAt(0);
         },
         false, 0, 0, kFont, 0, false, kF0, false},
        // Another stick in its place within a moment: its a.KEL is not the
        // package that was checked, and not a byte of it is installed.
        {"swapped at FPGA 1's erase for another stick",
         [&] {
             put("a.KEL", spec({usbpkg::kChildFpga0, usbpkg::kChildApplication}));
             const std::vector<u8> other = usbpkg::build(
                 BuildSpec{0,
                           usbpkg::kControllerType,
                           {child(usbpkg::kChildApplication, pattern(100000, 31)), child(usbpkg::kChildFpga0, fpga0)}});
             writeBoxFile(kOtherStick + std::string("/KEL-R8/a.KEL"), text(other));
             withFlash(0, [](auto& f) {
                 f.setEraseHook([&f] {
                     f.setEraseHook(nullptr);
                     platform::sim::usbStickRemove();
                     platform::sim::usbStickInsert(kOtherStick);
                 });
             });
         },
         false, 0, 0, kApp, 0, false, kF0, false},
        // The same stick back: the pull was seen (the USB watcher counts
        // it), and the run takes nothing more from it.
        {"pulled at FPGA 1's erase, the same stick back",
         [&] {
             put("a.KEL", spec({usbpkg::kChildFpga0, usbpkg::kChildFpga1, usbpkg::kChildApplication}));
             withFlash(0, [](auto& f) {
                 f.setEraseHook([&f] {
                     f.setEraseHook(nullptr);
                     platform::sim::usbStickRemove();
                     ++g_usb_stick_pulls;
                     platform::sim::usbStickInsert(kPullStick);
                 });
             });
         },
         false, 0, 0, kF1 | kApp, 0, false, kF0, false},
        // An upgrade folder that is a symbolic link out of the box root is
        // refused: no package is found there.
        {"the upgrade folder linked out of the box root",
         [&] {
             ASSERT_TRUE(outside.isValid());
             QFile out(outside.path() + "/a.KEL");
             ASSERT_TRUE(out.open(QIODevice::WriteOnly));
             out.write(reinterpret_cast<const char*>(whole.data()), qint64(whole.size()));
             out.close();
             platform::makeDirs(kPullStick);
             ASSERT_TRUE(QFile::link(outside.path(), platform::qpath(QString::fromStdString(kPullDir)).chopped(1)));
         },
         true, 0, 0, 0, 0, false, 0, false},
        {"a whole package, the stick left in", [&] { put("a.KEL", whole); }, false, 0, 0, 0, 0, false,
         kF0 | kF1 | kFont, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        QDir(platform::qpath(kPullStick)).removeRecursively();
        r.put();
        ASSERT_TRUE(platform::sim::usbStickInsert(kPullStick));
        for (int n = 0; n < 2; ++n)
            withFlash(n, [](auto& f) {
                f.clearCounters();
                f.fill(0, std::vector<u8>(4096, 0x3C));  // an old program
            });
        chip->clearFlashLog();
        store->reg_image.font_flags = 0;
        *m->gpio_rst_fpga0 = *m->gpio_rst_fpga1 = fpga::kRstRun;
        codes.clear();
        runUpgrade();
        withFlash(0, [](auto& f) { f.setEraseHook(nullptr); });
        withFlash(1, [](auto& f) { f.setEraseHook(nullptr); });
        if (platform::sim::usbStickInserted())
            platform::sim::usbStickRemove();

        EXPECT_EQ(m->no_package.load(), r.noPackage);
        EXPECT_EQ(m->refused_packages.load(), r.refused);
        EXPECT_EQ(m->unread_packages.load(), r.unreadPackages);
        EXPECT_EQ(m->unread_parts.load(), r.unreadParts);
        EXPECT_EQ(m->foreign_parts.load(), r.foreignParts);
        EXPECT_EQ(m->application_failed.load(), r.applicationFailed);
        EXPECT_EQ(m->skipped_packages.load(), 0);
        // Nothing torn: each flash holds the new program whole or the old one.
        EXPECT_EQ(m->incomplete_fpgas.load(), 0);
        EXPECT_EQ(m->incomplete_fonts.load(), 0);
        EXPECT_EQ(flashRead(0, 0, 4096), (r.written & kF0) ? pattern(4096, 22) : std::vector<u8>(4096, 0x3C));
        if (r.written & kF0)
            EXPECT_EQ(flashRead(0, 0, 40000), fpga0);
        else
            EXPECT_TRUE(flashErases(0).empty());
        if (r.written & kF1)
            EXPECT_EQ(flashRead(1, 0, 9000), fpga1);
        else
            EXPECT_TRUE(flashErases(1).empty());
        if (r.written & kFont)
            EXPECT_EQ(chip->flash(0, font.size()), font);
        else
            EXPECT_FALSE(chipFlashTouched());
        // An FPGA restarts onto a program written whole, and only then,
        // while the box does not restart.
        EXPECT_EQ(*m->gpio_rst_fpga0, (r.written & kF0) && !r.restarts ? fpga::kRstHold : fpga::kRstRun);
        EXPECT_EQ(*m->gpio_rst_fpga1, (r.written & kF1) && !r.restarts ? fpga::kRstHold : fpga::kRstRun);
        EXPECT_EQ(installed(), r.restarts);
        EXPECT_EQ(g_app_reset_flag.load(), r.restarts ? 1 : 0);
        EXPECT_FALSE(platform::exists(program_update::kNewProgramFile));
        EXPECT_EQ(count(SYNC_USB_UPGRADE), 1);  // the page is told once, at the end
        g_app_reset_flag = 0;
        writeBoxFile(program_update::kProgramFile, kOldProgram);
    }
}

// 7, the limit: a run installs at most 255 packages, the first in name
// order; the rest are told, each by name, and counted for the page. A
// dot-file is no package: not listed, not installed, not counted.
TEST_F(UsbUpgrade, PackagesBeyondARunsMostAreToldAndDotFilesAreNotTaken)
{
    const std::vector<u8> empty = usbpkg::build(BuildSpec{0, usbpkg::kControllerType, {}});
    for (int i = 0; i < 300; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "p%03d.KEL", i);
        putPackage(name, empty);
    }
    putPackage(".hidden.KEL",
               BuildSpec{0, usbpkg::kControllerType, {child(usbpkg::kChildApplication, pattern(10, 1))}});
    putPackage("._p000.KEL", std::vector<u8>(4096, 0));
    const fpga_manage::PackageListing listing = fpga_manage::listPackages(fpga_manage::kMaxPackages);
    ASSERT_EQ(listing.packages.size(), 255);
    EXPECT_EQ(listing.packages.front(), QStringLiteral("/mnt/usb1/KEL-R8/p000.KEL"));
    EXPECT_EQ(listing.packages.back(), QStringLiteral("/mnt/usb1/KEL-R8/p254.KEL"));
    ASSERT_EQ(listing.beyondLimit.size(), 45);
    EXPECT_EQ(listing.beyondLimit.front(), QStringLiteral("/mnt/usb1/KEL-R8/p255.KEL"));
    EXPECT_EQ(listing.dotFiles, (QStringList{"/mnt/usb1/KEL-R8/._p000.KEL", "/mnt/usb1/KEL-R8/.hidden.KEL"}));
    runUpgrade();
    EXPECT_EQ(m->usb_file_count, 255);
    EXPECT_EQ(m->skipped_packages.load(), 45);
    EXPECT_EQ(m->refused_packages.load(), 255);  // heads only
    EXPECT_FALSE(installed());                   // the dot-file's application is not taken
    EXPECT_FALSE(m->no_package.load());
}

// A font child while the video chip does not answer (its SPI failing, or
// no chip brought up): its flash is not touched, nothing is marked, and
// the run keeps that the font was not installed, so it does not end as
// complete. With the chip back the same package installs it.
TEST_F(UsbUpgrade, AFontWhileTheVideoChipDoesNotAnswerIsNotInstalledAndSaysSo)
{
    const std::vector<u8> font = usbpkg::fontImage(usbpkg::kFontEnglish, 32, pattern(5000, 9));
    putPackage("font.KEL", BuildSpec{0, usbpkg::kControllerType, {child(usbpkg::kChildFont, font)}});
    const int fd = x518->spi_fd;
    const struct {
        const char* what;
        std::function<void()> on, off;
    } cases[] = {
        {"SPI failing", [&] { ASSERT_EQ(control("fault chip spi on"), "ok fault chip spi on"); },
         [&] { ASSERT_EQ(control("fault chip spi off"), "ok fault chip spi off"); }},
        {"no chip brought up", [&] { x518->spi_fd = -1; }, [&] { x518->spi_fd = fd; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        store->reg_image.font_flags = 0;
        chip->clearFlashLog();
        c.on();
        runUpgrade();
        c.off();
        EXPECT_TRUE(m->font_chip_silent.load());
        EXPECT_EQ(m->downing_osd, fpga_manage::kProgramNoChip);
        EXPECT_EQ(m->incomplete_fonts.load(), 0);
        EXPECT_FALSE(chipFlashTouched());
        EXPECT_FALSE(platform::exists(incomplete_record::kFile));

        runUpgrade();
        EXPECT_FALSE(m->font_chip_silent.load());
        EXPECT_EQ(m->downing_osd, fpga_manage::kProgramWritten);
        EXPECT_EQ(chip->flash(0, font.size()), font);
    }
}

// A package whose name is not valid UTF-8 cannot be named as text: it is
// not taken, and the console says so, naming its bytes.
TEST_F(UsbUpgrade, APackageNameThatIsNotUtf8IsToldOnTheConsole)
{
    putPackage("ok.KEL", BuildSpec{0, usbpkg::kControllerType, {child(usbpkg::kChildApplication, pattern(10, 1))}});
    putPackage(std::string("caf\xE9") + ".KEL",
               BuildSpec{0, usbpkg::kControllerType, {child(usbpkg::kChildApplication, pattern(10, 2))}});
    const fpga_manage::PackageListing listing = fpga_manage::listPackages(fpga_manage::kMaxPackages);
    EXPECT_EQ(listing.packages, QStringList{"/mnt/usb1/KEL-R8/ok.KEL"});
    EXPECT_EQ(listing.undecodable, QStringList{"/mnt/usb1/KEL-R8/caf\\xe9.KEL"});
    testing::internal::CaptureStdout();
    runUpgrade();
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_NE(console.find("/mnt/usb1/KEL-R8/caf\\xe9.KEL: a name that is not valid UTF-8; not taken"),
              std::string::npos)
        << console;
    EXPECT_EQ(readBoxFile(program_update::kProgramFile), text(pattern(10, 1)));
}
