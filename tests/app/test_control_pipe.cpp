// A running box driven through its control pipe only, as a person does:
// front-panel keys, the LCD's picture, video inputs, and commands the box
// refuses.
#include "app/kelrampara.h"
#include "app/mainwindow.h"
#include "platform/sim/sim_receiver.h"
#include "tests/app/running_box.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <chrono>
#include <thread>

namespace {

const SOURCE_STATUS& inputStatus(int source)
{
    return KelRamPara::p_kelrampara_config->ram_para.source_status[source];
}

bool inputShows(int source, u16 width, u16 height, u16 rate)
{
    const SOURCE_STATUS& s = inputStatus(source);
    return s.width == width && s.height == height && s.rate == rate;
}

QImage lcdPicture()
{
    return QImage(QString::fromStdString(platform::path("/sim/lcd.png")));
}

// `look` in the GUI thread, behind what is queued there (the input of the
// commands written before), from a thread of the test's own.
template <class F>
auto inGui(F look)
{
    decltype(look()) seen{};
    QMetaObject::invokeMethod(
        qApp, [&] { seen = look(); }, Qt::BlockingQueuedConnection);
    return seen;
}

bool listOpen()
{
    return inGui([] { return QApplication::activePopupWidget() != nullptr; });
}

// The LCD point of entry `row` of the open list.
std::string entryPoint(int row)
{
    return inGui([row] {
        const auto* list = qobject_cast<QAbstractItemView*>(QApplication::focusWidget());
        if (!list || !g_mainwindow)
            return std::string("touch 0 0");
        const QPoint at = list->viewport()->mapToGlobal(list->visualRect(list->model()->index(row, 0)).center()) -
                          g_mainwindow->mapToGlobal(QPoint(0, 0));
        return "touch " + std::to_string(at.x()) + " " + std::to_string(at.y());
    });
}

u16 seamless()
{
    return inGui([] { return KelRamPara::p_kelrampara_config->ram_para.seamless; });
}

}  // namespace

TEST_F(RunningBox, KeysMoveTheFocusAndTheLcdPictureFollows)
{
    runBox([this] {
        EXPECT_EQ(control("lcd"), "ok lcd");
        const QImage home = lcdPicture();
        EXPECT_EQ(home.size(), QSize(320, 240));
        // OK leaves the home page for the main menu; RIGHT moves its focus.
        EXPECT_EQ(control("key ok"), "ok key ok");
        EXPECT_TRUE(waitUntil([] { return g_page_focus.load() == PAGE_MAIN_MENU; }));
        EXPECT_EQ(control("key right"), "ok key right");
        EXPECT_TRUE(waitUntil([] { return g_mainwindow->selected() == 1; }));
        EXPECT_EQ(control("lcd"), "ok lcd");
        const QImage menu = lcdPicture();
        EXPECT_EQ(menu.size(), QSize(320, 240));
        EXPECT_NE(menu, home);
        // The LED canvas, cut as the block publishes it, once the chip runs.
        EXPECT_TRUE(waitUntil([this] { return control("canvas") == "ok canvas"; }, 30000));
        EXPECT_EQ(QImage(QString::fromStdString(platform::path("/sim/canvas.png"))).size(), QSize(1920, 1080));
        // The FPGAs' registers: FPGA 0's program version among them.
        EXPECT_EQ(control("fpga"), "ok fpga");
        EXPECT_NE(readBoxFile("/sim/fpga.txt").find("0:1C 11\n"), std::string::npos);
        // The chip's SPI counters: it was brought up, nothing malformed.
        EXPECT_EQ(control("chip counters"), "ok chip counters");
        const std::string counted = readBoxFile("/sim/chip-counters.txt");
        EXPECT_EQ(counted.find("transfers 0\n"), std::string::npos) << counted;
        EXPECT_NE(counted.find("\nrejected 0\n"), std::string::npos) << counted;
        QApplication::exit(0);
    });
}

TEST_F(RunningBox, PlugAndPullReachTheInputStatusAndRefusedCommandsChangeNothing)
{
    runBox([this] {
        EXPECT_EQ(control("plug 0 1280x720@60"), "ok plug 0 1280x720@60");
        EXPECT_TRUE(waitUntil([] { return inputShows(0, 1280, 720, 60); }, 30000));
        EXPECT_EQ(control("pull 0"), "ok pull 0");
        EXPECT_TRUE(waitUntil([] { return inputShows(0, 0, 0, 0); }, 30000));

        const std::pair<const char*, const char*> refused[] = {
            {"plug 4 1920x1080@60", "no input 4 (inputs 0-3)"},
            {"plug 2 1920x1080", "the signal is WIDTHxHEIGHT@HZ, as 1920x1080@60"},
            {"plug 2 5000x1080@60", "5000x1080@60 is out of range (sides 1-4095, 2-240 Hz)"},
            {"pull 2", "nothing is plugged into input 2"},
            {"key", "usage: key left|right|ok|back|mode"},
            {"key up", "no key up (left, right, ok, back, mode)"},
            {"touch 320 0", "the LCD's points are 0-319, 0-239"},
            {"port 16 down", "no sending port 16 (ports 0-15)"},
            {"cards 1 -1", "a chain holds 0-256 cards"},
            {"flash fpga0 8388600 9", "ADDR and LEN (decimal) lie inside the flash's 8388608 bytes"},
            {"chip registers", "chip takes no word but counters"},
        };
        for (const auto& r : refused)
            EXPECT_EQ(control(r.first), std::string("error ") + r.first + ": " + r.second);
        EXPECT_EQ(control("eject"), "error eject: unknown command (commands: canvas, card, cards, chip, fault, "
                                    "flash, fpga, key, lcd, memory, osd, plug, port, pull, touch, usb)");
        // Nothing moved: the home page keeps the focus, the inputs their signals.
        EXPECT_EQ(g_page_focus.load(), PAGE_HOME);
        EXPECT_TRUE(platform::sim::receiver(1)->signal());
        EXPECT_FALSE(platform::sim::receiver(2)->signal());
        EXPECT_TRUE(inputShows(2, 0, 0, 0));
        QApplication::exit(0);
    });
}

// A list that a tap opens on a page is Qt's popup, as on the box: BACK
// closes it, and so do a second tap on its box and a tap outside it; a tap
// on an entry picks it and the page takes it, and the keys move in the list
// and pick. A person at the pipe, on a thread of its own: the pages open
// modally in the box's GUI thread.
TEST_F(RunningBox, AListOpenedByATapClosesAndPicksByTouchAndKeys)
{
    const auto walk = [this] {
        ASSERT_TRUE(waitUntil([this] { return control("lcd") == "ok lcd"; }, 30000));
        // The other settings: Settings, the advanced menu, Other.
        for (const char* line : {"touch 160 120", "touch 218 172", "key right", "key right", "key right", "key right",
                                 "key right", "key right", "key right", "key ok", "touch 160 87"})
            EXPECT_EQ(control(line), std::string("ok ") + line);
        ASSERT_EQ(inGui([] { return int(g_page_focus.load()); }), PAGE_OTHER_SETTINGS);
        // Qt takes no tap on a list within a double click's time of its
        // opening (it would be the opening tap's own release), on the box
        // as here: a person's next tap comes later.
        const auto openList = [this] {
            control("touch 250 98");  // the switch mode's box
            std::this_thread::sleep_for(std::chrono::milliseconds(QApplication::doubleClickInterval() + 100));
        };

        openList();
        EXPECT_TRUE(listOpen());
        control("key back");
        EXPECT_FALSE(listOpen());
        openList();
        control("touch 250 98");
        EXPECT_FALSE(listOpen());
        openList();
        control("touch 10 230");
        EXPECT_FALSE(listOpen());
        EXPECT_EQ(inGui([] { return int(g_page_focus.load()); }), PAGE_OTHER_SETTINGS);

        openList();
        control(entryPoint(1));  // Fade
        EXPECT_FALSE(listOpen());
        EXPECT_EQ(seamless(), 1);
        openList();
        control("key left");
        EXPECT_TRUE(listOpen());
        control("key ok");
        EXPECT_FALSE(listOpen());
        EXPECT_EQ(seamless(), 0);

        for (int i = 0; i < 16; ++i)
            control("key back");
        EXPECT_EQ(inGui([] { return int(g_page_focus.load()); }), PAGE_HOME);
    };
    std::thread person;
    runBox([&] {
        person = std::thread([&walk] {
            walk();
            QMetaObject::invokeMethod(
                qApp, [] { QApplication::exit(0); }, Qt::QueuedConnection);
        });
    });
    person.join();
}
