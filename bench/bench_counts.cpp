// The board's work counted in instructions: the same on any machine and
// from run to run, where a time is not. Runs under qemu-arm with the
// counting plugin (bench/counting/count_plugin.cpp); bench/count-arm builds
// both and runs every part of it from one command:
//
//   bench_counts codec          the upload path and a read's reply: a 4 KB
//                               piece's decoding and its copy with the
//                               CRC-32 into the transfer buffer, and the
//                               encoding of a 4 KB read's reply, for four
//                               kinds of data
//   bench_counts route NAME     the keys of one page route
//                               (bench/page_routes.h), each counted on the
//                               GUI thread from its posting until the GUI
//                               thread has nothing left to do, as
//                               bench_pages times them; one table row
//   bench_counts routes         the routes' names
//   bench_counts warm LANGUAGE  start-up's warming of the fonts and the
//                               pictures in one language (zh, en, ru, vn,
//                               tw); one table row
//
// A key's count leaves out the 10 ms tick: the tick timer stands still from
// the key's posting until the GUI thread is idle, so that what the key
// made the GUI thread do is counted and nothing that time brought. With
// KEL_COUNT_PROFILE set (bench/count-arm --profile) every key's blocks go
// to the plugin's profile file after the key, and the program's mappings
// to KEL_COUNT_PROFILE.maps at the end, for bench/counting/count_profile.py.
#include "app/global.h"
#include "app/kelrampara.h"
#include "app/main.h"
#include "app/page_support.h"
#include "app/utils.h"
#include "bench/counting/instruction_count.h"
#include "bench/page_routes.h"
#include "links/message_deal.h"
#include "links/protocol_phy.h"
#include "platform/platform.h"
#include "platform/sim/sim.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using counting::Counter;

// The board's assumed rate (bench/README.md): one instruction a nanosecond.
constexpr double kInstructionsPerUs = 1000;
// The box's Ethernet: bits per microsecond.
constexpr double kWireBitsPerUs = 100;

// Thousands separated: 1234567 as 1,234,567.
std::string grouped(int64_t n)
{
    std::string digits = std::to_string(n < 0 ? -n : n);
    for (int at = int(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(size_t(at), ",");
    return (n < 0 ? "-" : "") + digits;
}

// ---------------------------------------------------------------- the codec

constexpr size_t kPiece = 4096;
constexpr size_t kOffsetBytes = 4;  // a data frame's payload: the piece's offset, then the piece

bool special(u8 b)
{
    return b == ctrl::kFrameStart || b == ctrl::kFrameEnd || b == ctrl::kEscape;
}

// The kinds of data: random bytes (3 in 256 need escaping), zeros, one
// byte in 16 special (the rest random and plain), every byte special.
enum class Data { Random, Zeros, OneIn16, AllSpecial };
struct DataKind {
    Data data;
    const char* name;
};
const DataKind kKinds[] = {
    {Data::Random, "random"},
    {Data::Zeros, "zeros"},
    {Data::OneIn16, "one special byte in 16"},
    {Data::AllSpecial, "all special (0xAA)"},
};

std::vector<u8> makeData(Data kind, size_t n)
{
    std::mt19937 random(79);  // the standard fixes its sequence: the same bytes everywhere
    std::vector<u8> v(n);
    const u8 specials[] = {ctrl::kFrameStart, ctrl::kFrameEnd, ctrl::kEscape};
    for (size_t i = 0; i < n; ++i) {
        u8 b = static_cast<u8>(random());
        switch (kind) {
        case Data::Random: break;
        case Data::Zeros: b = 0; break;
        case Data::OneIn16:
            if (i % 16 == 15)
                b = specials[(i / 16) % 3];
            else if (special(b))
                b = static_cast<u8>(b + 1);
            break;
        case Data::AllSpecial: b = ctrl::kEscape; break;
        }
        v[i] = b;
    }
    return v;
}

std::vector<u8> wireFrame(u8 source, u8 target, u8 command, const std::vector<u8>& payload)
{
    CTRL_FRAME f;
    f.source = source;
    f.target = target;
    f.command = command;
    f.append(payload.data(), payload.size());
    std::vector<u8> wire;
    protocol_phy::encode(f, wire);
    return wire;
}

struct CodecRow {
    size_t wireBytes;
    int64_t decode, copyCrc, encode;
};

// Each piece of work is done once before it is counted, so that what a
// first call does alone (a table made, a page touched) is not in the count.
bool countCodec(Counter& counter, Data kind, CodecRow& row)
{
    const std::vector<u8> piece = makeData(kind, kPiece);
    std::vector<u8> payload(kOffsetBytes, 0);
    payload.insert(payload.end(), piece.begin(), piece.end());
    const std::vector<u8> wire = wireFrame(ctrl::kAddrPc, ctrl::kAddrBox, message_deal::CMD_FILE_DATA, payload);
    row.wireBytes = wire.size();

    static protocol_phy codec;
    const CTRL_FRAME* frame = nullptr;
    const auto decode = [&] {
        const u8* at = wire.data();
        frame = codec.next(at, wire.data() + wire.size());
    };
    decode();
    row.decode = counter.count(decode);
    if (!frame || frame->length != payload.size() || std::memcmp(frame->payload.data(), payload.data(), payload.size()))
        return false;

    static std::vector<u8> buffer(kPiece);
    u32 crc = 0;
    const auto copy = [&] { crc = Utils::copyCRC32(0, buffer.data(), frame->payload.data() + kOffsetBytes, kPiece); };
    copy();
    row.copyCrc = counter.count(copy);
    if (crc != Utils::calcCRC32(piece.data(), kPiece) || buffer != piece)
        return false;

    // A 4 KB read's reply: the status, the address and the count, the bytes.
    CTRL_FRAME reply;
    reply.source = ctrl::kAddrBox;
    reply.target = ctrl::kAddrPc;
    reply.command = message_deal::CMD_READ_RAM;
    reply.appendU8(0);
    reply.appendU32(0);
    reply.appendU16(static_cast<u16>(kPiece));
    reply.append(piece.data(), piece.size());
    static std::vector<u8> out(ctrl::kMaxWireFrame);
    size_t written = 0;
    const auto encode = [&] { written = protocol_phy::encode(reply, out.data()); };
    encode();
    row.encode = counter.count(encode);
    CTRL_FRAME back;
    return protocol_phy::decodeOne(out.data(), written, back) && back.length == reply.length &&
           std::memcmp(back.payload.data(), reply.payload.data(), reply.length) == 0;
}

int runCodec(Counter& counter)
{
    std::printf("| 4 KB of data | wire bytes | wire time | decode a data frame | copy with the CRC-32 | "
                "decode and copy | of the wire time | encode a 4 KB read's reply |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    for (const DataKind& k : kKinds) {
        CodecRow row{};
        if (!countCodec(counter, k.data, row)) {
            std::printf("| %s | the codec or the copy gave other bytes back |\n", k.name);
            return 1;
        }
        const double wireUs = double(row.wireBytes) * 8 / kWireBitsPerUs;
        const int64_t piece = row.decode + row.copyCrc;
        std::printf("| %s | %zu | %.0f us | %s | %s | %s | %.1f%% | %s |\n", k.name, row.wireBytes, wireUs,
                    grouped(row.decode).c_str(), grouped(row.copyCrc).c_str(), grouped(piece).c_str(),
                    100.0 * double(piece) / kInstructionsPerUs / wireUs, grouped(row.encode).c_str());
    }
    return 0;
}

// ---------------------------------------------------------------- the pages

constexpr int kStartSettleMs = 2000;  // after the event loop starts, before the first key
constexpr int kKeySettleMs = 500;     // after a key is done, before the next (the emulator is slow)

// Counts a key on the GUI thread: from just after its posting to the first
// moment the event loop has nothing left to do once its release was
// delivered, with the tick standing still meanwhile.
class KeyCount {
public:
    explicit KeyCount(Counter& counter) : counter_(counter) {}
    // Posts the key and starts counting; `done` gets the count.
    bool press(const char* key, std::function<void(int64_t)> done)
    {
        g_timer->stop();
        const std::string outcome = platform::runControlLine(std::string("key ") + key);
        if (outcome.rfind("ok", 0) != 0) {
            std::fprintf(stderr, "%s\n", outcome.c_str());
            return false;
        }
        done_ = std::move(done);
        end_.arm();
        counter_.begin();
        return true;
    }

private:
    void ended()
    {
        const int64_t n = counter_.end();
        if (std::getenv("KEL_COUNT_PROFILE"))
            counting::mark(counting::kMarkDump);
        g_timer->start();
        QTimer::singleShot(kKeySettleMs, [this, n] { done_(n); });
    }
    Counter& counter_;
    std::function<void(int64_t)> done_;
    page_routes::KeyEnd end_{[this] { ended(); }};
};

struct RouteRun {
    const page_routes::Route* route;
    Counter* counter;
    std::vector<const char*> keys = page_routes::runKeys(*route);
    std::vector<int64_t> counts{};
    KeyCount* keyCount = nullptr;

    void next()
    {
        if (counts.size() == keys.size()) {
            finish();
            return;
        }
        const size_t at = counts.size();
        if (!keyCount->press(keys[at], [this, at](int64_t n) {
                counts.push_back(n);
                const bool opened = at == page_routes::firstOpening(*route) || at == page_routes::secondOpening(*route);
                if (opened && g_page_focus != route->page) {
                    std::fprintf(stderr, "%s: key %zu leaves page %d, not %d\n", route->name, at, int(g_page_focus),
                                 int(route->page));
                    std::fflush(stdout);
                    ::_exit(1);
                }
                next();
            }))
            ::_exit(1);
    }

    // One table row: the first and the second opening, each key inside
    // the page, the most of any key; then every key of the run.
    void finish()
    {
        const size_t first = page_routes::firstOpening(*route), second = page_routes::secondOpening(*route);
        std::string inside;
        for (size_t i = second + 1; i < keys.size(); ++i)
            inside += (inside.empty() ? "" : " / ") + grouped(counts[i]);
        size_t most = 0;
        for (size_t i = 0; i < counts.size(); ++i)
            if (counts[i] > counts[most])
                most = i;
        std::printf("| %s | %s | %s | %s | %s (%s, key %zu) |\n", route->name, grouped(counts[first]).c_str(),
                    grouped(counts[second]).c_str(), inside.c_str(), grouped(counts[most]).c_str(), keys[most],
                    most + 1);
        std::string all;
        for (size_t i = 0; i < counts.size(); ++i)
            all += std::string(i ? ", " : "") + keys[i] + " " + grouped(counts[i]);
        std::printf("<!-- %s: %s -->\n", route->name, all.c_str());
        std::fflush(stdout);
        if (const char* profile = std::getenv("KEL_COUNT_PROFILE")) {
            std::ifstream maps("/proc/self/maps");
            std::ofstream(std::string(profile) + ".maps") << maps.rdbuf();
        }
        ::_exit(0);  // the box's threads go with the process
    }
};

[[noreturn]] void runRoute(const page_routes::Route& route, Counter& counter)
{
    char dir[] = "/tmp/kel-bench-counts-XXXXXX";
    if (!::mkdtemp(dir)) {
        std::fprintf(stderr, "no box root\n");
        ::_exit(1);
    }
    static const std::string root = dir;
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    });
    static RouteRun run{&route, &counter};
    page_routes::runRouteBox(root, [] {
        run.keyCount = new KeyCount(*run.counter);
        QTimer::singleShot(kStartSettleMs, [] { run.next(); });
    });
}

// ---------------------------------------------------------------- start-up

// What start-up's warming costs in one language (`pages::warmFonts` and
// `pages::warmPictures`, as start-up calls them within the settle wait),
// each in a process of its own, as a box starts in one language.
[[noreturn]] void runWarm(Counter& counter, const char* language)
{
    static const char* const kNames[pages::kLanguages] = {"zh", "en", "ru", "vn", "tw"};
    int lang = 0;
    while (lang < pages::kLanguages && std::strcmp(kNames[lang], language) != 0)
        ++lang;
    if (lang == pages::kLanguages) {
        std::fprintf(stderr, "bench_counts: no language %s (zh, en, ru, vn, tw)\n", language);
        ::_exit(2);
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int argc = 1;
    char name[] = "kelR54N";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    pages::initPictures();
    g_language = static_cast<u8>(lang);
    g_lcd_lang_valid = (1u << pages::kLanguages) - 1;
    const int64_t fonts = counter.count([] { pages::warmFonts(); });
    const int64_t pictures = counter.count([] { pages::warmPictures(); });
    std::printf("| %s | %s | %s | %s |\n", language, grouped(fonts).c_str(), grouped(pictures).c_str(),
                grouped(fonts + pictures).c_str());
    std::fflush(stdout);
    ::_exit(0);
}

int usage()
{
    std::fprintf(stderr, "usage: bench_counts codec | route NAME | routes | warm LANGUAGE (under bench/count-arm)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "routes") == 0) {
        for (const page_routes::Route& r : page_routes::kRoutes)
            std::printf("%s\n", r.name);
        return 0;
    }
    Counter counter;
    std::string why;
    if (argc < 2 || !counter.open(why)) {
        if (!why.empty())
            std::fprintf(stderr, "bench_counts: %s\n", why.c_str());
        return usage();
    }
    if (argc == 2 && std::strcmp(argv[1], "codec") == 0)
        return runCodec(counter);
    if (argc == 3 && std::strcmp(argv[1], "warm") == 0)
        runWarm(counter, argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "route") == 0) {
        for (const page_routes::Route& r : page_routes::kRoutes)
            if (std::strcmp(r.name, argv[2]) == 0)
                runRoute(r, counter);
        std::fprintf(stderr, "bench_counts: no route %s (bench_counts routes lists them)\n", argv[2]);
        return 2;
    }
    return usage();
}
