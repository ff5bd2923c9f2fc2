// A PC talks to a whole simulated box, the program itself started in a box
// root and on a loopback address of its own, over TCP, UDP and the RS-485
// pseudo-terminal, the way a client written from docs/protocol.md would.
#include "app/ram_para.h"
#include "tests/links/file_test.h"
#include "tests/links/link_client.h"
#include "tests/links/protocol_page.h"
#include "tests/support/box_test.h"
#include "tests/support/program_process.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <map>
#include <optional>
#include <fcntl.h>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

constexpr u32 kBrightness = offsetof(KEL_RAM_PARA, brightness);
constexpr u32 kOsdEnable = offsetof(KEL_RAM_PARA, osd_enable);
constexpr u8 kRegMcuFlag = 11, kReloadOverlay = 0x08;
constexpr uint16_t kTcpPort = 5005, kUdpPort = 5008;  // the box's own: its address tells it from others
constexpr int kFileMarker = 2;   // the parameter file holds block offsets from 768 on after its marker
constexpr int kStartMs = 30000;  // a loaded machine starts a box slowly

template <class F>
auto retry(F f, int ms) -> decltype(f())
{
    for (int waited = 0;; waited += 100) {
        auto r = f();
        if (r || waited >= ms)
            return r;
        QThread::msleep(100);
    }
}

}  // namespace

class WholeBox : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!canStartPrograms())
            GTEST_SKIP() << "no program can be started here";
        ASSERT_TRUE(dir.isValid());
        root = dir.path() + "/box-root";
        prepareRoot();
        ASSERT_TRUE(box.start({"--box-root", root.toStdString(), "--address", address}, dir.path().toStdString(),
                              consoleFile().toStdString()))
            << box.error();
    }
    void TearDown() override { box.kill(); }
    // Files the box finds when it starts.
    virtual void prepareRoot() {}
    // Where the box's console (its standard output) goes.
    virtual QString consoleFile() { return QStringLiteral("/dev/null"); }
    void putBoxFile(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(root + path).path());
        QFile f(root + path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    // Once TCP answers, UDP and RS-485 are up too: the box starts them first.
    std::unique_ptr<LinkClient> tcpClient()
    {
        std::unique_ptr<LinkClient> c;
        retry(
            [&] {
                c = LinkClient::tcp(kTcpPort, address);
                return c->ok();
            },
            kStartMs);
        return c;
    }
    // The first `n` bytes of a file under the box root (empty when it is missing).
    QByteArray boxFile(const QString& path, int n = 1 << 20)
    {
        QFile f(root + path);
        return f.open(QIODevice::ReadOnly) ? f.read(n) : QByteArray();
    }
    u16 fileBrightness()
    {
        const QByteArray b = boxFile("/data/ram_device_info");
        const int at = kFileMarker + static_cast<int>(kBrightness) - ram::kSavedStart;
        return b.size() < at + 2 ? 0 : ram::loadU16(reinterpret_cast<const u8*>(b.constData()) + at);
    }

    // Runs a control-pipe command on the box; true once it answered "ok".
    bool command(const std::string& line)
    {
        const QByteArray ok = QByteArray::fromStdString("ok " + line + "\n");
        const int logged = boxFile("/sim/control.log").count(ok);
        const std::string text = line + "\n";
        const int fd = ::open(QFile::encodeName(root + "/sim/control").constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        const bool sent = fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        if (fd >= 0)
            ::close(fd);
        return sent && retry([&] { return boxFile("/sim/control.log").count(ok) > logged; }, 10000);
    }

    // Sends a request docs/protocol.md prints, as printed, and gives the
    // replies that come. A pass-through answered busy (the FPGA coming up,
    // the last one's second still open) is asked again every 100 ms, as the
    // page tells a client to, and its replies are taken until its answer
    // window has closed; any other request has one reply.
    std::vector<std::vector<u8>> answersTo(LinkClient& pc, const DocumentedExchange& e)
    {
        constexpr u8 kBusy = 3;
        constexpr int kTries = 100, kRetryMs = 100, kReplyMs = 3000, kAnswerWindowMs = 1500;
        const bool passThrough = passThroughFrame(e.request);
        std::optional<CTRL_FRAME> reply;
        for (int t = 0; t < kTries && (!reply || (passThrough && statusOf(*reply) == kBusy)); ++t) {
            if (reply)
                QThread::msleep(kRetryMs);
            if (!pc.sendRaw(e.request))
                return {};
            reply = pc.receive(kReplyMs);
        }
        std::vector<std::vector<u8>> got;
        while (reply) {
            got.push_back(encodedFrame(*reply));
            if (!passThrough)
                break;
            // After the last printed reply, the rest of the answer window.
            reply = pc.receive(got.size() < e.replies.size() ? kReplyMs : kAnswerWindowMs);
        }
        return got;
    }

    QTemporaryDir dir;
    QString root;
    const std::string address = freshBoxAddress();
    ProgramProcess box;
};

// PCs on TCP, UDP and RS-485 reach the same box: what one writes the others
// read, and the parameter file follows a write once the chip manager has
// applied the change and announced it.
TEST_F(WholeBox, EveryLinkReachesTheSameBoxAndTheParameterFileFollows)
{
    auto pc = tcpClient();
    ASSERT_TRUE(pc->ok());
    // A bar code of our own tells this box from any other on the machine.
    const std::string mark = "WHOLE-" + std::to_string(::getpid());
    ASSERT_EQ(pc->ask(pcRequest(0x05, std::vector<u8>(mark.begin(), mark.end()))), 0);
    ASSERT_EQ(pc->ask(pcRequest(0x11, cat({le32(kBrightness), le16(73)}))), 0);
    auto barcodeOf = [](const std::optional<CTRL_FRAME>& r) {
        return r && statusOf(*r) == 0 && r->length > 32 ? std::string(reinterpret_cast<const char*>(&r->payload[1]), 32)
                                                        : std::string();
    };
    const std::string expected = mark + std::string(32 - mark.size(), ' ');

    auto udp = LinkClient::udp(kUdpPort, address);
    EXPECT_EQ(barcodeOf(udp->request(pcRequest(0x01, {}))), expected);
    auto reply = udp->request(pcRequest(0x10, cat({le32(kBrightness), le16(2)})));
    ASSERT_TRUE(reply);
    EXPECT_EQ(replyData(*reply), cat({le32(kBrightness), le16(2), le16(73)}));

    // RS-485: the box publishes its end of the line under its root.
    auto serial = LinkClient::serial((root + "/dev/ttyS2").toStdString());
    ASSERT_TRUE(serial->ok());
    EXPECT_EQ(barcodeOf(serial->request(pcRequest(0x01, {}))), expected);
    EXPECT_EQ(serial->ask(pcRequest(0x13, {30, 0x5A})), 0);
    reply = pc->request(pcRequest(0x12, {30, 1}));
    ASSERT_TRUE(reply);
    EXPECT_EQ(replyData(*reply), std::vector<u8>{0x5A});

    EXPECT_TRUE(retry([&] { return fileBrightness() == 73; }, 30000)) << "file brightness " << fileBrightness();
}

// The video chip's SPI fails while the PC restarts the chip: the box keeps
// answering and says the chip is not running (register 37 bit 4); once the
// SPI answers again the chip is brought up and holds the live block, a
// contrast written meanwhile included.
TEST_F(WholeBox, AChipThatStopsAnsweringIsToldAndBroughtBackWithTheLiveBlock)
{
    constexpr u8 kRegChipFlags = 37, kChipRunning = 0x10, kRegChipService = 0xA2, kRestartChip = 0x40;
    constexpr u32 kContrast = offsetof(KEL_RAM_PARA, contrast);
    auto pc = tcpClient();
    ASSERT_TRUE(pc->ok());
    auto chipRunning = [&]() -> std::optional<bool> {
        auto r = pc->request(pcRequest(0x12, {kRegChipFlags, 1}));
        if (!r || statusOf(*r) != 0 || replyData(*r).size() != 1)
            return std::nullopt;
        return (replyData(*r)[0] & kChipRunning) != 0;
    };
    ASSERT_TRUE(retry([&] { return chipRunning() == true; }, kStartMs));

    ASSERT_TRUE(command("fault chip spi after 300"));
    ASSERT_EQ(pc->ask(pcRequest(0x13, {kRegChipService, kRestartChip})), 0);
    EXPECT_TRUE(retry([&] { return chipRunning() == false; }, 30000));
    ASSERT_EQ(pc->ask(pcRequest(0x11, cat({le32(kContrast), le16(77)}))), 0);
    EXPECT_EQ(chipRunning(), false);

    ASSERT_TRUE(command("fault chip spi off"));
    EXPECT_TRUE(retry([&] { return chipRunning() == true; }, 30000));
    // Contrast 77 is 787 (77 x 1023 / 100) on every output channel (0C:28 + 16k, two bytes).
    auto contrastHeld = [&] {
        if (!command("chip"))
            return false;
        const QByteArray regs = boxFile("/sim/chip.txt");
        return regs.contains("\n0C:28 13\n0C:29 03\n") && regs.contains("\n7C:28 13\n7C:29 03\n");
    };
    EXPECT_TRUE(retry(contrastHeld, 30000)) << boxFile("/sim/chip.txt").left(200).toStdString();
}

// PCs that each open a connection (TCP, then UDP, in turn) and search the
// cards of port 0 the moment the last search's answer window has closed,
// when the box's own card search goes out again: each counts exactly the
// four cards that answer, never a reply to the box's own search or to an
// earlier request. (A test of the links with the manager run pass by pass
// does a thousand such searches at every moment of the box's own search.)
TEST_F(WholeBox, EachSearchOnAFreshConnectionCountsExactlyTheCardsThatAnswer)
{
    constexpr int kSearches = 6, kTries = 3000;
    constexpr u8 kBusy = 3, kPort0 = 0x10;
    const CTRL_FRAME search = pcRequest(0x30, cat({{0xFF, 0x01}, le32(0), le16(0)}), 0, kPort0);
    ASSERT_TRUE(tcpClient()->ok());
    for (int i = 0; i < kSearches; ++i) {
        SCOPED_TRACE(i % 2 ? "UDP" : "TCP");
        const auto pc = i % 2 ? LinkClient::udp(kUdpPort, address) : LinkClient::tcp(kTcpPort, address);
        ASSERT_TRUE(pc->ok());
        // Busy while the last window is open (and while the FPGA comes up):
        // asked again at once, so the search goes out as the window closes.
        std::optional<CTRL_FRAME> reply;
        for (int t = 0; t < kTries && (!reply || statusOf(*reply) == kBusy); ++t) {
            if (reply)
                QThread::msleep(5);
            reply = pc->request(search);
        }
        std::vector<u8> cards;
        while (reply) {
            EXPECT_EQ(statusOf(*reply), 0);
            EXPECT_EQ(reply->source, kPort0);
            cards.push_back(reply->length > 1 ? reply->payload[1] : 0xEE);
            reply = pc->receive(cards.size() < 4 ? 5000 : 300);
        }
        EXPECT_EQ(cards, (std::vector<u8>{0, 1, 2, 3})) << "search " << i;
    }
}

// The pass-through exchanges docs/protocol.md prints, sent as printed to a
// new box: its cards answer each with the replies printed, in their order,
// and nothing else comes before the next request.
TEST_F(WholeBox, ThePassThroughsOfTheProtocolPageAreAnsweredAsPrinted)
{
    const std::vector<DocumentedExchange> exchanges = documentedExchanges(passThroughFrame);
    ASSERT_GE(exchanges.size(), 2u) << "the page's pass-throughs were not found";
    auto pc = tcpClient();
    ASSERT_TRUE(pc->ok());
    for (const DocumentedExchange& e : exchanges)
        EXPECT_EQ(answersTo(*pc, e), e.replies)
            << "the page's replies to " << ::testing::PrintToString(e.request) << " differ from the box's";
}

// Every request docs/protocol.md prints, sent in the page's order to a new
// box once it has started (as "Status after start" says), each a moment
// after the last one's replies, the way a client replays the page: each
// gets the reply printed after it, or status 0 where none is printed. A
// canvas change holds up pass-throughs and writes into FPGA 0's memory for
// about 2 s once the box has begun to apply it, so the page prints its one
// canvas change after them. The flash examples need faults switched between
// them (test_flash_commands.cpp replays them).
TEST_F(WholeBox, ThePagesRequestsSentInItsOrderAreAnsweredAsPrinted)
{
    constexpr u8 kRegReceivers = 37, kEveryReceiver = 0x0F, kEdidsHeld = 0x1F;
    constexpr unsigned long kSettleMs = 1000, kBetweenRequestsMs = 100;
    const std::vector<DocumentedExchange> exchanges =
        documentedExchanges([](const std::vector<u8>& bytes) { return !flashFrame(bytes); });
    ASSERT_GE(exchanges.size(), 20u) << "the page's requests were not found";
    auto pc = tcpClient();
    ASSERT_TRUE(pc->ok());
    auto started = [&] {
        auto r = pc->request(pcRequest(0x12, {kRegReceivers, 2}));
        const std::vector<u8> regs = r && statusOf(*r) == 0 ? replyData(*r) : std::vector<u8>{};
        return regs.size() == 2 && (regs[0] & kEveryReceiver) == kEveryReceiver && regs[1] == kEdidsHeld;
    };
    ASSERT_TRUE(retry(started, kStartMs));
    QThread::msleep(kSettleMs);
    for (const DocumentedExchange& e : exchanges) {
        const std::string shown = ::testing::PrintToString(e.request);
        QThread::msleep(kBetweenRequestsMs);
        const std::vector<std::vector<u8>> got = answersTo(*pc, e);
        if (!e.replies.empty()) {
            EXPECT_EQ(got, e.replies) << "the page's replies to " << shown << " differ from the box's";
            continue;
        }
        ASSERT_EQ(got.size(), 1u) << shown;
        EXPECT_EQ(statusOf(decodedFrame(got[0])), 0) << shown;
    }
}

// A PC uploads an overlay, a logo and a new application to the box; each is
// checked on arrival and stored, the overlay is drawn by the video chip once
// the PC turns it on and asks for a reload (a malformed one changes nothing
// on the chip), and the application update renames the new program over the
// old one and restarts the box.
TEST_F(WholeBox, APcUploadsAnOverlayALogoAndAnApplication)
{
    auto pc = tcpClient();
    ASSERT_TRUE(pc->ok());
    auto upload = [&](const char* tag, const std::vector<u8>& file) {
        return filetest::sendAll(filetest::transferFrames(tag, file), [&](auto& f) { return pc->request(f); }) == 0;
    };
    auto bytes = [](const std::vector<u8>& v) {
        return QByteArray(reinterpret_cast<const char*>(v.data()), int(v.size()));
    };
    auto reload = [&] { return pc->ask(pcRequest(0x13, {kRegMcuFlag, kReloadOverlay})) == 0; };
    // What the video chip's OSD engine drew, as the control pipe's "osd" writes it.
    auto drawn = [&] {
        const int logged = boxFile("/sim/control.log").count("ok osd");
        const int fd = ::open(QFile::encodeName(root + "/sim/control").constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        const bool sent = fd >= 0 && ::write(fd, "osd\n", 4) == 4;
        if (fd >= 0)
            ::close(fd);
        if (!sent || !retry([&] { return boxFile("/sim/control.log").count("ok osd") > logged; }, 10000))
            return QByteArray();
        return boxFile("/sim/osd.txt");
    };
    const std::vector<u8> overlay = filetest::bytesOf(
        R"({"name":"box","osdcount":1,"oactcount":1,"menu":[{"type":0,"status":"on",)"
        R"("pos":{"x":0,"y":0,"w":640,"h":64},"act":{"effect":0,"speed":1,"staytime":0},)"
        R"("backpara":{"enable":"on","color":"000080"},"fontpara":{"startx":0,"starty":0,"fontw":32,"fonth":32,)"
        R"("wordspace":0,"verticalspace":0,"color":"FFFFFF"},"texts":["WHOLE BOX"]}]})");
    const auto logo = filetest::pattern(0x20000, 1), program = filetest::pattern(70000, 2);

    ASSERT_EQ(pc->ask(pcRequest(0x11, cat({le32(kOsdEnable), le16(1)}))), 0);
    ASSERT_TRUE(upload("OSDS", overlay));
    EXPECT_EQ(boxFile("/data/configs/omenu.json"), bytes(overlay));
    ASSERT_TRUE(reload());
    // The text, then the plane copied four times into the display plane.
    auto redrawn = [&] {
        const QByteArray log = drawn();
        const int at = log.indexOf("chars=9 \"WHOLE BOX\"");
        return at >= 0 && log.mid(at).count("\ncopy ") == 4;
    };
    EXPECT_TRUE(retry(redrawn, 30000)) << drawn().toStdString();
    // A file the box could not read is refused and the overlay stays.
    EXPECT_FALSE(upload("OSDS", filetest::bytesOf("{\"name\":\"broken\"")));
    ASSERT_TRUE(reload());
    EXPECT_EQ(boxFile("/data/configs/omenu.json"), bytes(overlay));
    EXPECT_TRUE(retry(redrawn, 30000)) << drawn().toStdString();
    ASSERT_TRUE(upload("LOGO", logo));
    EXPECT_EQ(boxFile("/dev/mtd8", int(logo.size())), bytes(logo));
    ASSERT_TRUE(upload("FMCU", program));
    EXPECT_EQ(boxFile("/data/app/kelR54N"), bytes(program));

    // The box restarts about 3 s later: a host box ends with status 3.
    ASSERT_TRUE(box.waitFinished(60000));
    EXPECT_TRUE(box.exitedNormally());
    EXPECT_EQ(box.exitCode(), 3);
    const QStringList lines = QString::fromLatin1(boxFile("/sim/shell.log")).split('\n');
    const int mv = lines.indexOf("mv /data/app/kelR54N2 /data/app/kelR54N");
    ASSERT_GE(mv, 0);
    EXPECT_GT(lines.indexOf("reboot", mv), mv);
}

// A box root as a hostile PC or a box switched off mid-write leaves it: an
// alias file nested 100,000 deep (it used to overflow the stack while the
// home page was built, at every start) and a torn "<name>.new".
class WholeBoxWithHostileFiles : public WholeBox {
protected:
    void prepareRoot() override
    {
        putBoxFile("/data/configs/alias.json", QByteArray(100000, '[') + QByteArray(100000, ']'));
        putBoxFile("/data/configs/omenu.json.new", "torn");
        putBoxFile("/data/fpga0_memory", "torn");
    }
};

// The box comes up and answers on TCP and UDP with the refused file gone;
// uploads nested too deep or not JSON are refused with status 1 and leave
// the stored names and overlay, and an overlay reload after them is harmless.
TEST_F(WholeBoxWithHostileFiles, StartsAnswersAndRefusesFilesItCannotRead)
{
    auto pc = tcpClient();
    ASSERT_TRUE(pc->ok());
    auto udp = LinkClient::udp(kUdpPort, address);
    const auto info = udp->request(pcRequest(0x01, {}));
    ASSERT_TRUE(info);
    EXPECT_EQ(statusOf(*info), 0);
    EXPECT_TRUE(retry([&] { return !QFile::exists(root + "/data/configs/alias.json"); }, 30000));
    EXPECT_FALSE(QFile::exists(root + "/data/configs/omenu.json.new"));
    // FPGA 0 keeps what it holds: port 0's half of the canvas.
    const auto area = pc->request(pcRequest(0x10, cat({le32(0x11008), le16(8)})));
    ASSERT_TRUE(area);
    EXPECT_EQ(replyData(*area), cat({le32(0x11008), le16(8), le16(0), le16(0), le16(1920), le16(540)}));
    EXPECT_EQ(boxFile("/data/fpga0_memory"), QByteArray("torn"));

    auto upload = [&](const char* tag, const std::string& file) {
        return filetest::sendAll(filetest::transferFrames(tag, filetest::bytesOf(file)),
                                 [&](auto& f) { return pc->request(f); });
    };
    const std::string names = R"({"namelist":{"source":[{"id":1,"valid":"on","name":"Stage"}]}})";
    const std::string overlay = R"({"name":"none","osdcount":0,"oactcount":0})";
    ASSERT_EQ(upload("ALIS", names), 0);
    ASSERT_EQ(upload("OSDS", overlay), 0);
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    std::string deepObjects;
    for (int i = 0; i < 100000; ++i)
        deepObjects += "{\"a\":";
    EXPECT_EQ(upload("ALIS", "source,1,on,Stage\n"), 1);
    EXPECT_EQ(upload("ALIS", deep), 1);
    EXPECT_EQ(upload("OSDS", deepObjects), 1);
    ASSERT_EQ(pc->ask(pcRequest(0x11, cat({le32(kOsdEnable), le16(1)}))), 0);
    ASSERT_EQ(pc->ask(pcRequest(0x13, {kRegMcuFlag, kReloadOverlay})), 0);
    EXPECT_EQ(boxFile("/data/configs/alias.json").toStdString(), names);
    EXPECT_EQ(boxFile("/data/configs/omenu.json").toStdString(), overlay);
    const auto again = udp->request(pcRequest(0x01, {}));
    ASSERT_TRUE(again);
    EXPECT_EQ(statusOf(*again), 0);
    EXPECT_TRUE(box.running());
}

// Files read at start in odd shapes, each with the console line that
// refuses it: FIFOs (opening one blocks until someone writes it), a folder,
// symbolic links that loop, lead nowhere or lead out of the box root (to a
// valid user mode), and files larger than their readers take (sparse: their
// size set, never written), where the box keeps its settings, parameters,
// modes, marks, names and FPGA memories.
namespace {

enum class Odd { Fifo, Folder, Link, Size };
struct OddFile {
    const char* path;
    Odd kind;
    const char* link;  // Link: where it leads ("@" stands for a folder outside the root)
    off_t size;        // Size: how large
    const char* said;
};
constexpr off_t kHugeFile = off_t(3) << 30;
const OddFile kOddFiles[] = {
    {"/data/configs/upgrade_incomplete.txt", Odd::Fifo, "", 0, "upgrade_incomplete.txt is a FIFO"},
    {"/data/configs/tcpip.ini", Odd::Fifo, "", 0, "/data/configs/tcpip.ini is a FIFO"},
    {"/data/modes/custom_mode1", Odd::Fifo, "", 0, "/data/modes/custom_mode1 is a FIFO"},
    {"/data/configs/alias.json", Odd::Folder, "", 0, "/data/configs/alias.json is a folder"},
    {"/data/ram_device_info", Odd::Link, "ram_device_info", 0, "/data/ram_device_info is a symbolic link that loops"},
    {"/data/modes/custom_mode2", Odd::Link, "nowhere", 0,
     "/data/modes/custom_mode2 is a symbolic link that leads nowhere"},
    {"/data/modes/custom_mode3", Odd::Size, "", kHugeFile,
     "/data/modes/custom_mode3 is 3221225472 bytes, more than the 4096 it may have: refused"},
    {"/data/modes/custom_mode4", Odd::Size, "", off_t(200) << 20,
     "/data/modes/custom_mode4 is 209715200 bytes, more than the 4096 it may have: refused"},
    {"/data/modes/custom_mode5", Odd::Link, "@/custom_mode5", 0,
     "/data/modes/custom_mode5 is a file outside the box root, reached through a symbolic link: refused"},
    {"/data/fpga1_memory", Odd::Link, "fpga1_memory", 0, "/data/fpga1_memory is a symbolic link that loops"},
    {"/data/configs/led_load_config.ini", Odd::Size, "", kHugeFile,
     "/data/configs/led_load_config.ini is 3221225472 bytes, more than the 16384 it may have: refused"},
    // What stands at a kept file's temporary name goes at start, told.
    {"/data/ram_device_info.new", Odd::Fifo, "", 0, "[files] /data/ram_device_info.new is a FIFO: removed"},
    {"/data/fpga0_memory.new", Odd::Fifo, "", 0, "[files] /data/fpga0_memory.new is a FIFO: removed"},
    {"/data/configs/upgrade_incomplete.txt.new", Odd::Fifo, "", 0,
     "[files] /data/configs/upgrade_incomplete.txt.new is a FIFO: removed"},
    {"/data/modes/custom_mode1.new", Odd::Link, "@/custom_mode1", 0,
     "[files] /data/modes/custom_mode1.new is a symbolic link: removed"},
    {"/data/configs/alias.json.new", Odd::Link, "nowhere", 0,
     "[files] /data/configs/alias.json.new is a symbolic link: removed"},
    // The simulator's own files: a flash partition, an EDID EEPROM and the
    // journals are neither waited on nor written through a link ("@/absent"
    // leads nowhere outside the root, and stays so).
    {"/dev/mtd8", Odd::Fifo, "", 0, "[files] /dev/mtd8 is a FIFO, not a plain file: refused"},
    {"/dev/mtd10", Odd::Link, "@/mtd10", 0,
     "[files] /dev/mtd10 is a file outside the box root, reached through a symbolic link: refused"},
    {"/sim/edid-eeprom0.bin", Odd::Fifo, "", 0, "[files] /sim/edid-eeprom0.bin is a FIFO, not a plain file: refused"},
    {"/sim/edid-eeprom1.bin", Odd::Link, "@/edid-eeprom1.bin", 0,
     "[files] /sim/edid-eeprom1.bin is a file outside the box root, reached through a symbolic link: refused"},
    {"/sim/edid-eeprom2.bin", Odd::Link, "@/absent", 0,
     "[files] /sim/edid-eeprom2.bin is a symbolic link that leads nowhere, not a plain file: refused"},
    {"/sim/edid-eeprom3.bin", Odd::Folder, "", 0,
     "[files] /sim/edid-eeprom3.bin is a folder, not a plain file: refused"},
    {"/sim/shell.log", Odd::Fifo, "", 0, "[files] /sim/shell.log is a FIFO, not a plain file: refused"},
    {"/sim/control.log", Odd::Link, "@/absent.log", 0,
     "[files] /sim/control.log is a symbolic link that leads nowhere, not a plain file: refused"},
};

// What lies beside the box root: names and bytes (a folder's are empty).
std::map<QString, QByteArray> besideTheRoot(const QString& dir)
{
    std::map<QString, QByteArray> found;
    for (const QFileInfo& f : QDir(dir).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)) {
        QFile file(f.filePath());
        if (f.fileName() != "box-root" && f.fileName() != "console.txt")
            found[f.fileName()] = f.isFile() && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    return found;
}

}  // namespace

class WholeBoxWithOddFiles : public WholeBox {
protected:
    void prepareRoot() override
    {
        ASSERT_TRUE(QDir().mkpath(root + "/data/modes"));
        ASSERT_TRUE(QDir().mkpath(root + "/data/configs"));
        // A valid user mode outside the root.
        QByteArray mode(4096, '\0');
        mode[0] = mode[1] = '\xAA';
        QFile outside(dir.path() + "/custom_mode5");
        ASSERT_TRUE(outside.open(QIODevice::WriteOnly));
        ASSERT_EQ(outside.write(mode), mode.size());
        outside.close();
        for (const char* name : {"/mtd10", "/edid-eeprom1.bin"}) {
            QFile other(dir.path() + name);
            ASSERT_TRUE(other.open(QIODevice::WriteOnly));
            ASSERT_EQ(other.write("kept outside the box root"), 25);
        }
        ASSERT_TRUE(QDir().mkpath(root + "/dev"));
        ASSERT_TRUE(QDir().mkpath(root + "/sim"));
        for (const OddFile& f : kOddFiles) {
            const QByteArray at = QFile::encodeName(root + f.path);
            switch (f.kind) {
            case Odd::Fifo: ASSERT_EQ(::mkfifo(at.constData(), 0644), 0) << f.path; break;
            case Odd::Folder: ASSERT_TRUE(QDir().mkpath(root + f.path)); break;
            case Odd::Link:
                ASSERT_TRUE(QFile::link(QString::fromLatin1(f.link).replace("@", dir.path()), root + f.path));
                break;
            case Odd::Size:
                putBoxFile(f.path, mode);
                ASSERT_EQ(::truncate(at.constData(), f.size), 0) << f.path;
                break;
            }
        }
        outsideBefore = besideTheRoot(dir.path());
    }
    QString consoleFile() override { return dir.path() + "/console.txt"; }
    std::map<QString, QByteArray> outsideBefore;
};

// The box comes up and answers; each odd file is refused with a line on
// the console, and the settings run on their defaults. The user mode
// outside the root is not taken: its slot is empty.
TEST_F(WholeBoxWithOddFiles, StartsAndSaysWhatItRefused)
{
    auto pc = tcpClient();
    ASSERT_TRUE(pc->ok());
    const auto info = pc->request(pcRequest(0x02, {}));
    ASSERT_TRUE(info);
    EXPECT_EQ(statusOf(*info), 0);
    EXPECT_EQ(ctrl::getU16(&replyData(*info)[12]), kTcpPort);
    const auto slot5 = pc->request(pcRequest(0x10, cat({le32(0x5000), le16(2)})));
    ASSERT_TRUE(slot5);
    EXPECT_EQ(replyData(*slot5), cat({le32(0x5000), le16(2), {0xFF, 0xFF}}));
    // A command's outcome goes to the control log.
    const int pipe = ::open(QFile::encodeName(root + "/sim/control").constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(pipe, 0);
    ASSERT_EQ(::write(pipe, "chip counters\n", 14), 14);
    ::close(pipe);
    QByteArray console;
    retry(
        [&] {
            QFile f(consoleFile());
            console = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            return std::all_of(std::begin(kOddFiles), std::end(kOddFiles),
                               [&](const OddFile& o) { return console.contains(o.said); });
        },
        kStartMs);
    for (const OddFile& f : kOddFiles)
        EXPECT_TRUE(console.contains(f.said)) << f.said;
    for (const OddFile& f : kOddFiles)
        EXPECT_EQ(console.count(f.said), 1) << f.said;
    // A FIFO put at the parameter file's temporary name while the box runs
    // neither holds the save nor stays: the file follows the write.
    ASSERT_EQ(::mkfifo(QFile::encodeName(root + "/data/ram_device_info.new").constData(), 0644), 0);
    ASSERT_EQ(pc->ask(pcRequest(0x11, cat({le32(kBrightness), le16(73)}))), 0);
    EXPECT_TRUE(retry([&] { return fileBrightness() == 73; }, 30000)) << "file brightness " << fileBrightness();
    EXPECT_FALSE(QFileInfo::exists(root + "/data/ram_device_info.new"));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/custom_mode1"));
    EXPECT_TRUE(box.running());
    // Nothing was written, made or removed outside the root.
    EXPECT_EQ(besideTheRoot(dir.path()), outsideBefore);
}
