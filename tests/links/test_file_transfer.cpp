// File transfers, served by the handlers of two links: where every tag
// goes, interrupted transfers, one transfer at a time across the links and
// the USB upgrade, and every refusal leaving the old file or image as it was.
#include "links/file_deal.h"
#include "platform/sim/sim_mtd.h"
#include "tests/links/file_test.h"
#include "tests/links/handler_test.h"

#include <QSignalSpy>

using namespace filetest;
using platform::sim::SimMtd;

namespace {

std::vector<u8> head(const std::vector<u8>& v, size_t n)
{
    return std::vector<u8>(v.begin(), v.begin() + long(n));
}

// A whole box file, or the first `n` bytes of a flash partition ("/dev/mtd...").
std::vector<u8> stored(const std::string& where, size_t n)
{
    if (where.rfind("/dev/mtd", 0) == 0)
        return head(platform::sim::deviceAs<SimMtd>(where)->contents(), n);
    std::string data;
    platform::readFile(where, data);
    return bytesOf(data);
}

std::vector<u8> signalCodes(const QSignalSpy& spy)
{
    std::vector<u8> out;
    for (const auto& args : spy)
        out.push_back(static_cast<u8>(args.at(0).toInt()));
    return out;
}

}  // namespace

// The handlers of two links.
class FileHandler : public HandlerTest {
protected:
    u8 send(message_deal& h, const std::vector<CTRL_FRAME>& frames)
    {
        return sendAll(frames, [&](const CTRL_FRAME& req) { return std::optional<CTRL_FRAME>(reply(h, req)); });
    }
    u8 send(const std::vector<CTRL_FRAME>& frames) { return send(handler, frames); }

    message_deal& tcp = handler;
    message_deal udp{message_deal::LINK_UDP};
};

// ---------------------------------------------------------------- what a transfer leaves behind

TEST_F(FileHandler, EveryTagArrivesWhereItBelongs)
{
    const struct {
        const char* tag;
        const char* name;
        u8 kind;
        size_t size;
        const char* where;
    } cases[] = {
        {"OSDS", "", 0, 6000, "/data/configs/omenu.json"},
        {"MO01", "", 0, 300, "/data/modes/MO01.json"},
        {"MO0a", "", 0, 100, "/data/modes/MO0a.json"},  // user mode 10
        {"MO10", "", 0, 100, "/data/modes/MO10.json"},  // user mode 16
        {"ALIS", "", 0, 200, "/data/configs/alias.json"},
        {"LOGO", "", 0, file_deal::kLogoSize, "/dev/mtd8"},
        {"FKRN", "", 0, 8193, "/dev/mtd10"},
        {"SMAP", "s1", 13, 4097, "/data/smartmapping/s1"},
        {"RCVR", "r1", 0, 4096, "/data/rcvrecovery/r1"},
    };
    u8 seed = 20;
    for (const auto& c : cases) {
        const bool json = std::string(c.where).find(".json") != std::string::npos;
        const auto file = json ? jsonFile(c.size, seed++) : pattern(c.size, seed++);
        ASSERT_EQ(send(transferFrames(c.tag, file, c.name, c.kind)), 0) << c.tag;
        EXPECT_EQ(stored(c.where, c.size), file) << c.tag;
        EXPECT_EQ(file_deal::owner(), file_deal::kOwnerNone) << c.tag;
        EXPECT_EQ(g_update_flag.load(), 0) << c.tag;
    }
    // An image erases its whole partition first: nothing of an older one is left.
    auto kernel = platform::sim::deviceAs<SimMtd>("/dev/mtd10");
    EXPECT_EQ(kernel->eraseOffsets().size(), size_t(0x500000 / 0x10000));
    EXPECT_EQ(kernel->contents()[8193], 0xFF);
}

TEST_F(FileHandler, AnApplicationIsWrittenWholeVerifiedRenamedAndTheBoxRestarts)
{
    writeBoxFile("/data/app/kelR54N", "old program");
    G_timeTicks = 700;
    const auto program = pattern(20000, 7);
    ASSERT_EQ(send(transferFrames("FMCU", program)), 0);
    EXPECT_EQ(bytesOf(readBoxFile("/data/app/kelR54N")), program);
    EXPECT_FALSE(platform::exists("/data/app/kelR54N2"));
    const auto journal = platform::sim::shellJournal();
    const auto mv = std::find(journal.begin(), journal.end(), "mv /data/app/kelR54N2 /data/app/kelR54N");
    ASSERT_NE(mv, journal.end());
    EXPECT_NE(std::find(journal.begin(), mv, "sync"), mv) << "synced before the rename";
    EXPECT_EQ(g_app_reset_flag.load(), 1);
    EXPECT_EQ(G_reboot_tickTicks.load(), 700u);
    // The start record names the program (it did not at start-up here).
    QSettings record(platform::qpath("/data/configs/led_load_config.ini"), QSettings::IniFormat);
    EXPECT_EQ(record.value("app-1/app_path").toString(), "/data/app/kelR54N -platform linuxfb");
}

TEST_F(FileHandler, AnApplicationThatCannotBeWrittenLeavesTheOldProgram)
{
    writeBoxFile("/data/app/kelR54N", "old program");
    ASSERT_TRUE(platform::makeDirs("/data/app/kelR54N2/blocker"));  // the new file cannot take this name
    EXPECT_EQ(send(transferFrames("FMCU", pattern(3000, 8))), message_deal::ST_BUSY);
    EXPECT_EQ(readBoxFile("/data/app/kelR54N"), "old program");
    EXPECT_TRUE(journalWith("mv ").empty());
    EXPECT_EQ(g_app_reset_flag.load(), 0);
    EXPECT_EQ(file_deal::owner(), file_deal::kOwnerNone);
}

TEST_F(FileHandler, ChangeCodesAndTheUpdateFlagFrameATransfer)
{
    QSignalSpy spy(store, SIGNAL(sig_update_para(int)));
    const auto alias = jsonFile(100, 1);
    auto frames = transferFrames("ALIS", alias);
    ASSERT_EQ(status(frames[0]), 0);
    EXPECT_EQ(g_update_flag.load(), 1);
    EXPECT_EQ(file_deal::current().tag[0], 'A');
    ASSERT_EQ(status(frames[1]), 0);
    ASSERT_EQ(status(frames[2]), 0);
    EXPECT_EQ(g_update_flag.load(), 0);
    EXPECT_EQ(signalCodes(spy), (std::vector<u8>{105, 103, 106}));
    // Only the alias file announces itself with 103.
    spy.clear();
    ASSERT_EQ(send(transferFrames("OSDS", alias)), 0);
    EXPECT_EQ(signalCodes(spy), (std::vector<u8>{105, 106}));
}

// ---------------------------------------------------------------- interrupted transfers

TEST_F(FileHandler, ANewStartBeginsAfresh)
{
    writeBoxFile("/data/configs/omenu.json", "old overlay");
    const auto first = jsonFile(9000, 40), second = jsonFile(6000, 41);
    const auto frames = transferFrames("OSDS", first);
    ASSERT_EQ(send({frames[0], frames[1]}), 0);
    EXPECT_EQ(readBoxFile("/data/configs/omenu.json"), "old overlay");
    // Nothing of the first, longer file is left.
    ASSERT_EQ(send(transferFrames("OSDS", second)), 0);
    EXPECT_EQ(bytesOf(readBoxFile("/data/configs/omenu.json")), second);
}

TEST_F(FileHandler, AnAbandonedTransferBlocksOthersOnlyUntilItIsIdle)
{
    G_timeTicks = 100;
    auto a = transferFrames("OSDS", pattern(10000, 11));
    ASSERT_EQ(status(tcp, a[0]), 0);
    ASSERT_EQ(status(tcp, a[1]), 0);
    const auto b = transferFrames("ALIS", bytesOf("{\"namelist\":{}}"));
    G_timeTicks = 100 + file_deal::kIdleTicks;
    EXPECT_EQ(status(udp, b[0]), message_deal::ST_BUSY);
    G_timeTicks = 101 + file_deal::kIdleTicks;
    ASSERT_EQ(send(udp, b), 0);
    EXPECT_EQ(readBoxFile("/data/configs/alias.json"), "{\"namelist\":{}}");
    EXPECT_EQ(status(tcp, a[2]), message_deal::ST_REFUSED);  // the old transfer is gone
    EXPECT_FALSE(platform::exists("/data/configs/omenu.json"));
}

TEST_F(FileHandler, AnIdleTransferEndsOnItsLinkAndTheDialogGoes)
{
    G_timeTicks = 10;
    ASSERT_EQ(status(startFrame("OSDS", 10)), 0);
    EXPECT_EQ(message_deal::pollTimeoutMs(message_deal::LINK_TCP), message_deal::kTransferPollMs);
    message_deal::expirePending(message_deal::LINK_TCP);
    EXPECT_TRUE(file_deal::running(message_deal::LINK_TCP));
    G_timeTicks = 11 + file_deal::kIdleTicks;
    message_deal::expirePending(message_deal::LINK_TCP);
    EXPECT_FALSE(file_deal::running(message_deal::LINK_TCP));
    EXPECT_EQ(g_update_flag.load(), 0);
    EXPECT_EQ(message_deal::pollTimeoutMs(message_deal::LINK_TCP), -1);
}

// ---------------------------------------------------------------- one transfer at a time

TEST_F(FileHandler, OneTransferAtATimeAcrossTheLinksAndTheUsbUpgrade)
{
    const auto file = jsonFile(5000, 12);
    auto a = transferFrames("OSDS", file);
    ASSERT_EQ(status(tcp, a[0]), 0);
    EXPECT_EQ(status(udp, startFrame("ALIS", 10)), message_deal::ST_BUSY);
    EXPECT_EQ(status(udp, a[1]), message_deal::ST_REFUSED);  // data for a transfer the link does not run
    EXPECT_EQ(status(udp, endFrame(0)), message_deal::ST_REFUSED);
    EXPECT_FALSE(file_deal::acquire(file_deal::kOwnerUsbUpgrade));
    ASSERT_EQ(send(tcp, {a.begin() + 1, a.end()}), 0);
    EXPECT_EQ(bytesOf(readBoxFile("/data/configs/omenu.json")), file);

    // The USB upgrade holds the buffer: no link may start.
    ASSERT_TRUE(file_deal::acquire(file_deal::kOwnerUsbUpgrade));
    ASSERT_NE(file_deal::buffer(file_deal::kOwnerUsbUpgrade), nullptr);
    EXPECT_EQ(file_deal::buffer(message_deal::LINK_TCP), nullptr);
    G_timeTicks = 10 * file_deal::kIdleTicks;  // however long it runs
    EXPECT_EQ(status(tcp, startFrame("OSDS", 10)), message_deal::ST_BUSY);
    file_deal::release(file_deal::kOwnerUsbUpgrade);
    EXPECT_EQ(status(tcp, startFrame("OSDS", 10)), 0);
}

// ---------------------------------------------------------------- refusals keep the old file

TEST_F(FileHandler, RefusedStartsChangeNothing)
{
    writeBoxFile("/data/configs/omenu.json", "old overlay");
    const struct {
        CTRL_FRAME frame;
        u8 status;
    } cases[] = {
        {startFrame("OSDS", file_deal::kBufferSize + 1), message_deal::ST_REFUSED},
        {startFrame("OSDS", 0), message_deal::ST_REFUSED},
        {startFrame("LOGO", file_deal::kLogoSize + 1), message_deal::ST_REFUSED},
        {startFrame("FKRN", file_deal::kKernelSize + 1), message_deal::ST_REFUSED},
        {startFrame("MO00", 10), message_deal::ST_REFUSED},
        {startFrame("MO11", 10), message_deal::ST_REFUSED},
        {startFrame("MOzz", 10), message_deal::ST_REFUSED},
        {startFrame("XXXX", 10), message_deal::ST_REFUSED},
        {startFrame("SMAP", 10, "", 13), message_deal::ST_REFUSED},
        {startFrame("SMAP", 10, "../escape", 13), message_deal::ST_REFUSED},
        {startFrame("SMAP", 10, "a/b", 13), message_deal::ST_REFUSED},
        {startFrame("RCVR", 10, ".."), message_deal::ST_REFUSED},
        {startFrame("RCVR", 10, "x..y"), message_deal::ST_REFUSED},
        {startFrame("RCVR", 10, std::string(file_deal::kMaxName + 1, 'n')), message_deal::ST_REFUSED},
        {startFrame("SMAP", 10, "hall.ztfile.new", 13), message_deal::ST_REFUSED},
        {startFrame("RCVR", 10, "r1.new"), message_deal::ST_REFUSED},
        {startFrame("OSDS", 10, "/etc/passwd"), message_deal::ST_REFUSED},
        {pcRequest(0x20, bytesOf("OSDS")), message_deal::ST_BAD_LENGTH},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(status(c.frame), c.status);
        EXPECT_EQ(file_deal::owner(), file_deal::kOwnerNone);
    }
    EXPECT_EQ(readBoxFile("/data/configs/omenu.json"), "old overlay");
    EXPECT_FALSE(platform::exists("/escape"));
    EXPECT_TRUE(platform::sim::deviceAs<SimMtd>("/dev/mtd8")->eraseOffsets().empty());
    EXPECT_EQ(g_update_flag.load(), 0);
}

// Names the start's cleanup of unfinished writes would remove are refused
// at the start frame; every name taken survives that cleanup.
TEST_F(FileHandler, ANameTheStartCleanupWouldRemoveIsNeverStored)
{
    const auto file = pattern(100, 9);
    for (const char* name : {"r.new", "a.rcv.new", "x y.new"})
        EXPECT_EQ(status(startFrame("RCVR", 100, name)), message_deal::ST_REFUSED) << name;
    for (const char* name : {"r.new.rcv", ".new", "r.NEW", "renew"})
        ASSERT_EQ(send(transferFrames("RCVR", file, name)), 0) << name;
    ASSERT_EQ(send(transferFrames("SMAP", file, "s.new2", 13)), 0);
    platform::removeStaleWrites("/data", true);
    for (const char* name : {"r.new.rcv", ".new", "r.NEW", "renew"})
        EXPECT_EQ(stored(std::string("/data/rcvrecovery/") + name, file.size()), file) << name;
    EXPECT_EQ(stored("/data/smartmapping/s.new2", file.size()), file);
}

// A whole file with the right CRC whose content the box would refuse to
// read is not stored: the PC hears status 1 and the old file stays.
TEST_F(FileHandler, AnOverlayOrAliasFileTheReaderWouldRefuseIsNotStored)
{
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const struct {
        const char* tag;
        const char* where;
        std::string content;
    } cases[] = {
        {"ALIS", "/data/configs/alias.json", "source,1,on,Camera\n"},     // not JSON
        {"ALIS", "/data/configs/alias.json", R"({"names":[{"id":1}]})"},  // no name lists
        {"ALIS", "/data/configs/alias.json", deep},
        {"ALIS", "/data/configs/alias.json", R"({"namelist":[]})"},
        {"ALIS", "/data/configs/alias.json", R"({"namelist":7})"},
        {"ALIS", "/data/configs/alias.json", R"({"namelist":"source"})"},
        {"ALIS", "/data/configs/alias.json", R"({"namelist":null})"},
        {"ALIS", "/data/configs/alias.json", R"({"namelist":{"win":[{"id":"first","valid":"on","name":"A"}]}})"},
        {"OSDS", "/data/configs/omenu.json", deep},
        {"OSDS", "/data/configs/omenu.json", R"({"name":"x","osdcount":1,"oactcount":1,"menu":[]})"},
        {"MO01", "/data/modes/MO01.json", R"({"name":"x","osdcount":1})"},  // a key missing
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.tag) + " " + c.content.substr(0, 30));
        const auto old = jsonFile(200, 3);
        writeBoxFile(c.where, std::string(old.begin(), old.end()));
        EXPECT_EQ(send(transferFrames(c.tag, bytesOf(c.content))), message_deal::ST_REFUSED);
        EXPECT_EQ(bytesOf(readBoxFile(c.where)), old);
        EXPECT_EQ(file_deal::owner(), file_deal::kOwnerNone);
        EXPECT_EQ(g_update_flag.load(), 0);
    }
}

TEST_F(FileHandler, AWrongCrcStoresNothing)
{
    writeBoxFile("/data/configs/omenu.json", "old overlay");
    writeBoxFile("/data/app/kelR54N", "old program");
    const auto logoBefore = stored("/dev/mtd8", 0x60000);
    const auto file = pattern(7000, 13);
    for (const char* tag : {"OSDS", "LOGO", "FMCU"})
        EXPECT_EQ(send(transferFrames(tag, file, crcOf(file) ^ 1)), message_deal::ST_REFUSED) << tag;
    EXPECT_EQ(readBoxFile("/data/configs/omenu.json"), "old overlay");
    EXPECT_EQ(readBoxFile("/data/app/kelR54N"), "old program");
    EXPECT_EQ(stored("/dev/mtd8", 0x60000), logoBefore);
    EXPECT_TRUE(platform::sim::deviceAs<SimMtd>("/dev/mtd8")->eraseOffsets().empty());
    EXPECT_TRUE(journalWith("mv ").empty());
    EXPECT_EQ(g_app_reset_flag.load(), 0);
    EXPECT_EQ(file_deal::owner(), file_deal::kOwnerNone);
}

TEST_F(FileHandler, BadPiecesAreRefusedAndAnIncompleteFileIsNotStored)
{
    writeBoxFile("/data/configs/omenu.json", "old overlay");
    const auto file = pattern(5000, 14);
    ASSERT_EQ(status(startFrame("OSDS", 5000)), 0);
    EXPECT_EQ(status(dataFrame(1, file, 1, 100)), message_deal::ST_REFUSED);     // a gap before it
    EXPECT_EQ(status(pcRequest(0x21, {0, 0, 0})), message_deal::ST_BAD_LENGTH);  // no offset
    EXPECT_EQ(status(pcRequest(0x21, le32(0))), message_deal::ST_BAD_LENGTH);    // no data
    EXPECT_EQ(status(pcRequest(0x21, cat({le32(0), std::vector<u8>(4097, 1)}))), message_deal::ST_BAD_LENGTH);
    ASSERT_EQ(status(dataFrame(0, file, 0, 4096)), 0);
    ASSERT_EQ(status(dataFrame(0, file, 0, 4096)), 0);                                                // sent again
    EXPECT_EQ(status(dataFrame(4096, std::vector<u8>(1000, 0), 0, 1000)), message_deal::ST_REFUSED);  // past the end
    EXPECT_EQ(status(pcRequest(0x22, {1, 2, 3})), message_deal::ST_BAD_LENGTH);
    EXPECT_EQ(status(endFrame(crcOf(head(file, 4096)))), message_deal::ST_REFUSED);  // 904 bytes missing
    EXPECT_EQ(readBoxFile("/data/configs/omenu.json"), "old overlay");
    EXPECT_EQ(file_deal::owner(), file_deal::kOwnerNone);
}

TEST_F(FileHandler, APieceSentAgainWithOtherBytesIsCheckedAndStoredAsLastSent)
{
    // The CRC the box keeps as pieces come in order must not stand for
    // bytes a piece sent again replaced.
    const auto first = pattern(9000, 15), last = pattern(9000, 16);
    std::vector<u8> file = first;
    std::copy(last.begin() + 4096, last.begin() + 8192, file.begin() + 4096);  // what the box ends with
    for (const bool rightCrc : {false, true}) {
        writeBoxFile("/data/smartmapping/again.bin", "old");
        ASSERT_EQ(status(startFrame("SMAP", 9000, "again.bin")), 0);
        for (size_t at = 0; at < 9000; at += 4096)
            ASSERT_EQ(status(dataFrame(u32(at), first, at, std::min<size_t>(4096, 9000 - at))), 0);
        ASSERT_EQ(status(dataFrame(4096, last, 4096, 4096)), 0);  // the middle piece again, other bytes
        EXPECT_EQ(status(endFrame(crcOf(rightCrc ? file : first))), rightCrc ? 0 : message_deal::ST_REFUSED);
        EXPECT_EQ(stored("/data/smartmapping/again.bin", 0), rightCrc ? file : bytesOf("old"));
    }
}

// ---------------------------------------------------------------- deletion

TEST_F(FileHandler, DeleteRemovesEverySmartMappingAndRecoveryFile)
{
    writeBoxFile("/data/smartmapping/a.ztfile", "a");
    writeBoxFile("/data/smartmapping/b.ztfile", "b");
    writeBoxFile("/data/rcvrecovery/c.rcv", "c");
    writeBoxFile("/data/configs/alias.json", "{}");
    EXPECT_EQ(status(pcRequest(0x23, {1})), message_deal::ST_BAD_LENGTH);
    EXPECT_EQ(status(pcRequest(0x23, {})), 0);
    EXPECT_FALSE(platform::exists("/data/smartmapping/a.ztfile"));
    EXPECT_FALSE(platform::exists("/data/smartmapping/b.ztfile"));
    EXPECT_FALSE(platform::exists("/data/rcvrecovery/c.rcv"));
    EXPECT_TRUE(platform::isDir("/data/smartmapping"));
    EXPECT_EQ(readBoxFile("/data/configs/alias.json"), "{}");
    EXPECT_EQ(status(pcRequest(0x23, {})), 0);  // nothing left: still done
}

// A read-only disk keeps the files: not done while one is still there.
TEST_F(FileHandler, DeleteOnAReadOnlyDiskIsBusyWhileAFileIsLeft)
{
    writeBoxFile("/data/rcvrecovery/c.rcv", "c");
    platform::sim::setDiskFault(platform::sim::DiskFault::kReadOnly);
    EXPECT_EQ(status(pcRequest(0x23, {})), message_deal::ST_BUSY);
    EXPECT_EQ(readBoxFile("/data/rcvrecovery/c.rcv"), "c");
    platform::sim::setDiskFault(platform::sim::DiskFault::kNone);
    EXPECT_EQ(status(pcRequest(0x23, {})), message_deal::ST_DONE);
    EXPECT_FALSE(platform::exists("/data/rcvrecovery/c.rcv"));
}

// A logo or kernel image the flash partition does not take (an erase that
// fails, or erases and writes answered as done that change nothing) is
// found out by its read-back: status 3, as for an application that cannot
// be written.
TEST_F(FileHandler, AnImageThePartitionDoesNotTakeIsAnsweredBusy)
{
    using Image = std::pair<const char*, const char*>;
    for (const auto& [tag, device] : {Image{"LOGO", "/dev/mtd8"}, Image{"FKRN", "/dev/mtd10"}}) {
        SCOPED_TRACE(tag);
        auto mtd = platform::sim::deviceAs<SimMtd>(device);
        const std::vector<u8> old = pattern(5000, 1), image = pattern(5000, 2);
        ASSERT_EQ(send(transferFrames(tag, old)), message_deal::ST_DONE);
        mtd->setWriteProtected(true);
        EXPECT_EQ(send(transferFrames(tag, image)), message_deal::ST_BUSY);
        EXPECT_EQ(stored(device, 5000), old);
        mtd->setWriteProtected(false);
        mtd->failEraseAfter(1);
        EXPECT_EQ(send(transferFrames(tag, image)), message_deal::ST_BUSY);
        EXPECT_EQ(send(transferFrames(tag, image)), message_deal::ST_DONE);
        EXPECT_EQ(stored(device, 5000), image);
        EXPECT_EQ(file_deal::owner(), file_deal::kOwnerNone);
    }
}

// A partition that takes nothing and holds a longer image that begins with
// the one sent reads the new image back at its start: the rest of it, not
// erased, tells that the image was not stored.
TEST_F(FileHandler, AnImageThatIsThePrefixOfTheOneHeldIsBusyOnARefusingPartition)
{
    auto mtd = platform::sim::deviceAs<SimMtd>("/dev/mtd8");
    const std::vector<u8> held = pattern(9000, 3), prefix = head(held, 5000);
    ASSERT_EQ(send(transferFrames("LOGO", held)), message_deal::ST_DONE);
    mtd->setWriteProtected(true);
    EXPECT_EQ(send(transferFrames("LOGO", prefix)), message_deal::ST_BUSY);
    EXPECT_EQ(stored("/dev/mtd8", 9000), held);
    mtd->setWriteProtected(false);
    EXPECT_EQ(send(transferFrames("LOGO", prefix)), message_deal::ST_DONE);
    const std::vector<u8> after = stored("/dev/mtd8", 9000);
    EXPECT_EQ(head(after, 5000), prefix);
    EXPECT_EQ(std::vector<u8>(after.begin() + 5000, after.end()), std::vector<u8>(4000, 0xFF));
}
