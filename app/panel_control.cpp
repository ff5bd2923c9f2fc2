#include "app/panel_control.h"

#include "app/mainwindow.h"
#include "app/page_support.h"
#include "app/video_canvas.h"
#include "platform/platform.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QThread>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <vector>

// Qt's entry for input from the window system, which QtGui exports for
// input that comes from no platform plugin (Qt's test library drives its
// windows with them): the event is handled at once, in the calling (GUI)
// thread, as QGuiApplication handles what the board's evdev and tslib
// plugins hand in.
Q_GUI_EXPORT void qt_handleMouseEvent(QWindow* window, const QPointF& local, const QPointF& global,
                                      Qt::MouseButtons state, Qt::MouseButton button, QEvent::Type type,
                                      Qt::KeyboardModifiers mods, int timestamp);
Q_GUI_EXPORT void qt_handleKeyEvent(QWindow* window, QEvent::Type type, int key, Qt::KeyboardModifiers mods,
                                    const QString& text = QString(), bool autorep = false, ushort count = 1);

namespace panel {
namespace {

using Args = std::vector<std::string>;

constexpr auto kGuiAnswerWait = std::chrono::seconds(5);
constexpr const char* kLcdPicture = "/sim/lcd.png";

// ---------------------------------------------------------------- the stacking of the windows

// The program's windows in the order they were last shown or raised.
class WindowStack : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if ((type == QEvent::Show || type == QEvent::ZOrderChange) && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow())
            putOnTop(static_cast<QWidget*>(watched));
        return false;
    }

    // The visible windows, bottom first; windows shown before the watch
    // began lie under the others.
    std::vector<QWidget*> visible() const
    {
        std::vector<QWidget*> out;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && std::find(order_.begin(), order_.end(), w) == order_.end())
                out.push_back(w);
        for (const QPointer<QWidget>& w : order_)
            if (w && w->isVisible())
                out.push_back(w);
        return out;
    }

private:
    void putOnTop(QWidget* w)
    {
        order_.erase(
            std::remove_if(order_.begin(), order_.end(), [w](const QPointer<QWidget>& p) { return !p || p == w; }),
            order_.end());
        order_.emplace_back(w);
    }

    std::vector<QPointer<QWidget>> order_;
};

WindowStack* g_stack = nullptr;

std::vector<QWidget*> windowsBottomFirst()
{
    return g_stack ? g_stack->visible() : WindowStack().visible();
}

// Where a window's top-left corner lies on the LCD.
QPoint lcdPosition(const QWidget* w)
{
    const QPoint origin = g_mainwindow ? g_mainwindow->mapToGlobal(QPoint(0, 0)) : QPoint(0, 0);
    return w->mapToGlobal(QPoint(0, 0)) - origin;
}

// The window the board's screen makes active, and so gives the keys: the
// topmost window or dialog; a popup takes the keys from it through Qt's own
// popup rules.
QWidget* keyWindow()
{
    const std::vector<QWidget*> windows = windowsBottomFirst();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if ((*it)->windowType() == Qt::Window || (*it)->windowType() == Qt::Dialog)
            return *it;
    return nullptr;
}

// The window the board's screen finds under an LCD point for a touch: the
// topmost that covers it, a popup too.
QWidget* touchedWindow(const QPoint& lcdPoint)
{
    const std::vector<QWidget*> windows = windowsBottomFirst();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if (QRect(lcdPosition(*it), (*it)->size()).contains(lcdPoint))
            return *it;
    return nullptr;
}

// ---------------------------------------------------------------- the GUI thread

// Runs `work` in the GUI thread and returns its answer. The work is queued
// behind whatever the GUI thread has to do, so commands act in the order
// they came; a GUI thread that does not answer in time refuses the command.
std::string inGuiThread(std::function<std::string()> work)
{
    if (!qApp)
        return "the program has no GUI yet";
    if (QThread::currentThread() == qApp->thread())
        return work();
    auto answer = std::make_shared<std::promise<std::string>>();
    std::future<std::string> result = answer->get_future();
    QMetaObject::invokeMethod(
        qApp, [answer, work] { answer->set_value(work()); }, Qt::QueuedConnection);
    if (result.wait_for(kGuiAnswerWait) != std::future_status::ready)
        return "the GUI thread did not answer within 5 s";
    try {
        return result.get();
    } catch (const std::future_error&) {
        return "the GUI thread has ended";
    }
}

// ---------------------------------------------------------------- the commands

struct KeyName {
    const char* name;
    int qtKey;  // the key the front panel sends
};
constexpr KeyName kKeys[] = {
    {"left", Qt::Key_F4}, {"right", Qt::Key_F5}, {"ok", Qt::Key_F6}, {"back", Qt::Key_PowerOff}, {"mode", Qt::Key_Stop},
};

// Queues `deliver` into the GUI thread, behind what waits there already
// (the commands written before). Each event of a key or a tap goes on its
// own, so that the press has been handled, and any page it opened is up,
// when the release comes; a release that opens a modal page runs that
// page's loop, and what is queued after it is delivered inside.
void queueInput(std::function<void()> deliver)
{
    QMetaObject::invokeMethod(qApp, std::move(deliver), Qt::QueuedConnection);
}

// A key's press or release enters where the board's keyboard plugin hands
// it in: to the window system's side of Qt, for the active window, which
// is looked for when the event is delivered. Qt passes it to an open
// popup, holds it from a window a modal box covers, and gives it to the
// window's focus widget.
void deliverKey(QEvent::Type type, int qtKey)
{
    QWidget* window = keyWindow();
    if (QWindow* handle = window ? window->windowHandle() : nullptr)
        qt_handleKeyEvent(handle, type, qtKey, Qt::NoModifier);
}

// Each tap stands alone, as a person at the pipe taps: its time lies
// further from the last one than any double click spans.
constexpr u32 kTapApartMs = 60000;
constexpr int kTapHeldMs = 100;
constexpr u32 kTapTimeWrap = 1u << 30;  // a time Qt takes as an int
u32 g_tap_time = boxstate::startValue(g_tap_time, u32(0));

// A touch's press or release enters as the board's touch plugin hands it
// in: the point on the screen, for the window under it. Qt sends it to an
// open popup wherever it lies (a press outside the popup closes it), drops
// it on a window a modal box covers, and gives it to the widget under the
// point.
void deliverTouch(const QPoint& lcdPoint, QEvent::Type type, int time)
{
    QWidget* window = touchedWindow(lcdPoint);
    QWindow* handle = window ? window->windowHandle() : nullptr;
    if (!handle)
        return;
    const QPointF global(lcdPoint + (g_mainwindow ? g_mainwindow->mapToGlobal(QPoint(0, 0)) : QPoint(0, 0)));
    const QPointF local = global - QPointF(window->mapToGlobal(QPoint(0, 0)));
    const bool press = type == QEvent::MouseButtonPress;
    qt_handleMouseEvent(handle, local, global, press ? Qt::LeftButton : Qt::NoButton, Qt::LeftButton, type,
                        Qt::NoModifier, time);
}

std::string keyCommand(const Args& a)
{
    const KeyName* key = nullptr;
    for (const KeyName& k : kKeys)
        if (a[0] == k.name)
            key = &k;
    if (!key)
        return "no key " + a[0] + " (left, right, ok, back, mode)";
    const int qtKey = key->qtKey;
    return inGuiThread([qtKey]() -> std::string {
        if (!keyWindow())
            return "no window takes keys";
        queueInput([qtKey] { deliverKey(QEvent::KeyPress, qtKey); });
        queueInput([qtKey] { deliverKey(QEvent::KeyRelease, qtKey); });
        return std::string();
    });
}

std::string touchCommand(const Args& a)
{
    long x = 0, y = 0;
    if (!platform::controlNumber(a[0], 0, pages::kLcdWidth - 1, x) ||
        !platform::controlNumber(a[1], 0, pages::kLcdHeight - 1, y))
        return "the LCD's points are 0-319, 0-239";
    const QPoint point{static_cast<int>(x), static_cast<int>(y)};
    return inGuiThread([point]() -> std::string {
        if (!touchedWindow(point))
            return "no window at this point";
        g_tap_time = (g_tap_time + kTapApartMs) % kTapTimeWrap;
        const int time = static_cast<int>(g_tap_time);
        queueInput([point, time] { deliverTouch(point, QEvent::MouseButtonPress, time); });
        queueInput([point, time] { deliverTouch(point, QEvent::MouseButtonRelease, time + kTapHeldMs); });
        return std::string();
    });
}

std::string lcdCommand(const Args&)
{
    return inGuiThread([]() -> std::string {
        QByteArray png;
        QBuffer out(&png);
        out.open(QIODevice::WriteOnly);
        if (!lcdPicture().save(&out, "PNG"))
            return "the picture could not be encoded";
        return platform::writeFileAtomic(kLcdPicture, png.constData(), size_t(png.size()))
                   ? std::string()
                   : std::string("cannot write ") + kLcdPicture;
    });
}

// The commands that act on the program's own parts. A new one is a line
// here and a paragraph in docs/simulated-box.md.
const platform::ControlCommand kPanelCommands[] = {
    {"key", "left|right|ok|back|mode", 1, 1, keyCommand},
    {"touch", "X Y", 2, 2, touchCommand},
    {"lcd", "", 0, 0, lcdCommand},
    {"canvas", "", 0, 0, [](const Args&) { return videocanvas::write(); }},
};

}  // namespace

void installControl()
{
    // Only a simulated box reads commands; the board's windows go unwatched.
    if (g_stack || platform::backend() != platform::Backend::Host)
        return;
    g_stack = new WindowStack;
    boxstate::made(g_stack);
    qApp->installEventFilter(g_stack);
    for (const platform::ControlCommand& c : kPanelCommands)
        platform::addControlCommand(c);
}

QImage lcdPicture()
{
    QImage lcd(pages::kLcdWidth, pages::kLcdHeight, QImage::Format_RGB32);
    lcd.fill(Qt::black);
    QPainter painter(&lcd);
    for (QWidget* w : windowsBottomFirst())
        painter.drawPixmap(lcdPosition(w), w->grab());
    return lcd;
}

}  // namespace panel
