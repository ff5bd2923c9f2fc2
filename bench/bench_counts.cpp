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
//   bench_counts route NAME [PLATFORM [LANGUAGE]]
//                               the keys of one page route
//                               (bench/page_routes.h), each counted on the
//                               GUI thread from its posting until the GUI
//                               thread has nothing left to do, as
//                               bench_pages times them; one table row. Drawn
//                               on Qt's platform PLATFORM: offscreen (the
//                               default), or as the board draws,
//                               linuxfb:fb=/dev/fb0 with the stand-in frame
//                               buffer preloaded (bench/counting/fb_stand_in.cpp);
//                               with LANGUAGE (zh, en, ru, vn, tw), after the
//                               box has changed to it at run time
//   bench_counts routes         the routes' names
//   bench_counts warm LANGUAGE  start-up's warming of the fonts and the
//                               pictures in one language (zh, en, ru, vn,
//                               tw); one table row
//   bench_counts change LANGUAGE
//                               the warming of a language the box changes
//                               to at run time, from Chinese: in all, and
//                               its largest turn of the event loop; one
//                               table row
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
#include <QEventLoop>
#include <QMap>
#include <QPaintEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
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
    size_t wireBytes, replyWireBytes;
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
    row.replyWireBytes = written;
    CTRL_FRAME back;
    return protocol_phy::decodeOne(out.data(), written, back) && back.length == reply.length &&
           std::memcmp(back.payload.data(), reply.payload.data(), reply.length) == 0;
}

int runCodec(Counter& counter)
{
    std::printf("| 4 KB of data | wire bytes | wire time | decode a data frame | copy with the CRC-32 | "
                "decode and copy | of the wire time | encode a 4 KB read's reply | of the reply's wire time |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|\n");
    for (const DataKind& k : kKinds) {
        CodecRow row{};
        if (!countCodec(counter, k.data, row)) {
            std::printf("| %s | the codec or the copy gave other bytes back |\n", k.name);
            return 1;
        }
        const double wireUs = double(row.wireBytes) * 8 / kWireBitsPerUs;
        const double replyWireUs = double(row.replyWireBytes) * 8 / kWireBitsPerUs;
        const int64_t piece = row.decode + row.copyCrc;
        std::printf("| %s | %s | %.0f us | %s | %s | %s | %.1f%% | %s | %.1f%% |\n", k.name,
                    grouped(int64_t(row.wireBytes)).c_str(), wireUs, grouped(row.decode).c_str(),
                    grouped(row.copyCrc).c_str(), grouped(piece).c_str(),
                    100.0 * double(piece) / kInstructionsPerUs / wireUs, grouped(row.encode).c_str(),
                    100.0 * double(row.encode) / kInstructionsPerUs / replyWireUs);
    }
    return 0;
}

// ---------------------------------------------------------------- the pages

// The language warming after start-up and after a change of language
// (app/page_warming.h); none in a build without it (the tree before a
// change), which then has nothing to wait for.
bool warming()
{
#ifdef KEL_PAGE_ROUTES_WARMING
    return pages::warmingLanguage();
#else
    return false;
#endif
}
void warmLanguageShown()
{
#ifdef KEL_PAGE_ROUTES_WARMING
    pages::warmLanguageShown();
#endif
}

// The languages by their field value (0-4), as bench/count-arm names them.
const char* const kLanguageNames[pages::kLanguages] = {"zh", "en", "ru", "vn", "tw"};

// The field value of language `name`, or -1.
int languageNamed(const char* name)
{
    for (int lang = 0; lang < pages::kLanguages; ++lang)
        if (std::strcmp(kLanguageNames[lang], name) == 0)
            return lang;
    return -1;
}

constexpr int kStartSettleMs = 2000;  // after the event loop starts, before the first key
constexpr int kKeySettleMs = 500;     // after a key is done, before the next (the emulator is slow)

// With KEL_COUNT_PAINTS set, what each key painted goes to the standard
// error after the key: per top-level window, each pass of its painting
// (the part of the window it repainted), the widgets painted in all, and
// the window's expose events, so that a page painted twice for one key
// shows. The watching costs instructions of its own: the counts of such a
// run are not the key's.
class PaintTrace : public QObject {
public:
    PaintTrace() { qApp->installEventFilter(this); }
    bool eventFilter(QObject* target, QEvent* e) override
    {
        if (e->type() == QEvent::Paint) {
            if (auto* w = qobject_cast<QWidget*>(target)) {
                Window& at = windows_[nameOf(w->window())];
                ++at.widgets;
                if (w->isWindow()) {
                    const QRect r = static_cast<QPaintEvent*>(e)->rect();
                    at.passes += QString::asprintf("%s%dx%d+%d+%d", at.passes.isEmpty() ? "" : ", ", r.width(),
                                                   r.height(), r.x(), r.y());
                }
            }
        } else if (e->type() == QEvent::Expose) {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->windowHandle() == target)
                    ++windows_[nameOf(w)].exposes;
        } else if (e->type() == QEvent::UpdateRequest && target->inherits("QFbScreen")) {
            ++screenRedraws_;  // linuxfb composes the windows into the screen's image
        }
        return false;
    }
    // What was painted before a key is not the key's.
    void clear()
    {
        windows_.clear();
        screenRedraws_ = 0;
    }
    void report(const char* key)
    {
        for (auto it = windows_.cbegin(); it != windows_.cend(); ++it)
            std::fprintf(stderr, "paints after %s: %s: passes [%s], %d widgets, %d exposes\n", key,
                         qPrintable(it.key()), qPrintable(it->passes), it->widgets, it->exposes);
        if (screenRedraws_ > 0)
            std::fprintf(stderr, "paints after %s: the screen composed %d times\n", key, screenRedraws_);
        clear();
    }

private:
    struct Window {
        QString passes;
        int widgets = 0, exposes = 0;
    };
    static QString nameOf(const QWidget* w) { return QString::fromLatin1(w->metaObject()->className()); }
    QMap<QString, Window> windows_;
    int screenRedraws_ = 0;
};

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
        if (trace_)
            trace_->clear();
        const std::string outcome = platform::runControlLine(std::string("key ") + key);
        if (outcome.rfind("ok", 0) != 0) {
            std::fprintf(stderr, "%s\n", outcome.c_str());
            return false;
        }
        done_ = std::move(done);
        key_ = key;
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
        if (trace_)
            trace_->report(key_);
        g_timer->start();
        QTimer::singleShot(kKeySettleMs, [this, n] { done_(n); });
    }
    Counter& counter_;
    std::function<void(int64_t)> done_;
    const char* key_ = "";
    PaintTrace* trace_ = std::getenv("KEL_COUNT_PAINTS") ? new PaintTrace : nullptr;
    page_routes::KeyEnd end_{[this] { ended(); }};
};

constexpr int kRootRemovalTries = 5;

[[noreturn]] void endRoute(int status);

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
                    endRoute(1);
                }
                next();
            }))
            endRoute(1);
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
        endRoute(0);
    }
};

// The box root of the route run, removed before the process ends with Qt's
// runtime folder beside it: the run ends with _exit, which leaves what
// atexit would do undone.
std::string routeRoot;

// Ends the route's process; the box's threads go with it.
[[noreturn]] void endRoute(int status)
{
    std::fflush(stdout);
    // The box's threads may still be writing into its root: a few tries.
    std::error_code ec;
    for (int tries = 0; tries < kRootRemovalTries && !routeRoot.empty(); ++tries) {
        std::filesystem::remove_all(routeRoot, ec);
        if (!ec)
            break;
    }
    if (!routeRoot.empty())
        std::filesystem::remove_all(page_routes::runtimeFolder(routeRoot), ec);
    ::_exit(status);
}

// The keys begin once the box has started and warmed what start-up leaves
// to the event loop (page_routes::afterStartWarming); with a language
// given, once the box, started in Chinese as a new box is, has then
// changed to it as a PC's write of the language field changes it, and has
// warmed it, looked at every kWarmingPollMs, for at most kWarmingWaitMs.
constexpr int kWarmingPollMs = 500;
constexpr int kWarmingWaitMs = 120000;

// Calls `then` once the box shows language `lang` and has warmed it.
void afterWarming(int lang, int waitedMs, void (*then)())
{
    if (pages::textLanguage() == lang && !warming()) {
        then();
        return;
    }
    if (waitedMs >= kWarmingWaitMs) {
        std::fprintf(stderr, "the box did not warm language %s\n", kLanguageNames[lang]);
        endRoute(1);
    }
    QTimer::singleShot(kWarmingPollMs, [lang, waitedMs, then] { afterWarming(lang, waitedMs + kWarmingPollMs, then); });
}

[[noreturn]] void runRoute(const page_routes::Route& route, Counter& counter, const char* qpa, int language)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kel-bench-counts-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::fprintf(stderr, "no box root\n");
        ::_exit(1);
    }
    routeRoot = pattern;
    static RouteRun run{&route, &counter};
    static int changeTo = language;
    page_routes::runRouteBox(
        routeRoot,
        [] {
            run.keyCount = new KeyCount(*run.counter);
            QTimer::singleShot(kStartSettleMs, [] {
                page_routes::afterStartWarming([] {
                    if (changeTo < 0) {
                        run.next();
                        return;
                    }
                    KelRamPara::editBlock(
                        [](KEL_RAM_PARA& b) { ram::setLowByte(b.language, static_cast<u8>(changeTo)); });
                    afterWarming(changeTo, 0, [] { run.next(); });
                });
            });
        },
        qpa);
}

// ---------------------------------------------------------------- start-up

// What start-up's warming costs in one language (`pages::warmFonts` and
// `pages::warmPictures`, as start-up calls them within the settle wait),
// each in a process of its own, as a box starts in one language.
// The application a warming is counted in, the language field set to `lang`.
void warmingApplication(int lang)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "kelR54N";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
    pages::initPictures();
    g_language = static_cast<u8>(lang);
    g_lcd_lang_valid = (1u << pages::kLanguages) - 1;
}

int languageArgument(const char* language)
{
    const int lang = languageNamed(language);
    if (lang < 0) {
        std::fprintf(stderr, "bench_counts: no language %s (zh, en, ru, vn, tw)\n", language);
        ::_exit(2);
    }
    return lang;
}

// Counts the event loop's turns until the language's warming is done: in
// all, the turns, and the largest.
struct Turns {
    int64_t all = 0, largest = 0;
    int turns = 0;
};
Turns countWarmingTurns(Counter& counter)
{
    Turns t;
    while (warming()) {
        const int64_t turn = counter.count([] { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); });
        t.all += turn;
        t.largest = std::max(t.largest, turn);
        ++t.turns;
    }
    return t;
}

[[noreturn]] void runWarm(Counter& counter, const char* language)
{
    warmingApplication(languageArgument(language));
    const int64_t fonts = counter.count([] { pages::warmFonts(); });
    const int64_t pictures = counter.count([] { pages::warmPictures(); });
    const Turns after = countWarmingTurns(counter);
    std::printf("| %s | %s | %s | %s | %s in %d turns, %s at most |\n", language, grouped(fonts).c_str(),
                grouped(pictures).c_str(), grouped(fonts + pictures).c_str(), grouped(after.all).c_str(), after.turns,
                grouped(after.largest).c_str());
    std::fflush(stdout);
    ::_exit(0);
}

// What a change of the language shown to `language` costs, from a box
// that started in Chinese (pages::warmLanguageShown, as the change notifier
// calls it): in all, and the largest turn of the event loop it takes.
[[noreturn]] void runLanguageChange(Counter& counter, const char* language)
{
    const int lang = languageArgument(language);
    warmingApplication(pages::ZH);
    pages::warmFonts();
    pages::warmPictures();
    while (warming())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    g_language = static_cast<u8>(lang);
    const int64_t asked = counter.count([] { warmLanguageShown(); });
    const Turns t = countWarmingTurns(counter);
    std::printf("| %s | %s | %d | %s |\n", language, grouped(asked + t.all).c_str(), t.turns,
                grouped(t.largest).c_str());
    std::fflush(stdout);
    ::_exit(0);
}

int usage()
{
    std::fprintf(stderr, "usage: bench_counts codec | route NAME [PLATFORM [LANGUAGE]] | routes | warm LANGUAGE"
                         " | change LANGUAGE (under bench/count-arm)\n");
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
    if (argc == 3 && std::strcmp(argv[1], "change") == 0)
        runLanguageChange(counter, argv[2]);
    if (argc >= 3 && argc <= 5 && std::strcmp(argv[1], "route") == 0) {
        const int language = argc == 5 ? languageNamed(argv[4]) : -1;
        if (argc == 5 && language < 0)
            return usage();
        for (const page_routes::Route& r : page_routes::kRoutes)
            if (std::strcmp(r.name, argv[2]) == 0)
                runRoute(r, counter, argc >= 4 ? argv[3] : "offscreen", language);
        std::fprintf(stderr, "bench_counts: no route %s (bench_counts routes lists them)\n", argv[2]);
        return 2;
    }
    return usage();
}
