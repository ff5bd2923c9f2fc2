#include "app/panel_control.h"

#include "app/mainwindow.h"
#include "app/page_support.h"
#include "app/video_canvas.h"
#include "platform/platform.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <vector>

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

// The window that takes the panel's keys now.
QWidget* keyWindow()
{
    if (QWidget* popup = QApplication::activePopupWidget())
        return popup;
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    const std::vector<QWidget*> windows = windowsBottomFirst();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if ((*it)->windowType() == Qt::Window || (*it)->windowType() == Qt::Dialog)
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

// The key's press and release are posted, not sent: a key that opens a
// modal page runs that page's loop inside its release, and the command
// must not wait for the page to close.
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
        QWidget* window = keyWindow();
        if (!window)
            return "no window takes keys";
        QWidget* to = window->focusWidget() ? window->focusWidget() : window;
        QCoreApplication::postEvent(to, new QKeyEvent(QEvent::KeyPress, qtKey, Qt::NoModifier));
        QCoreApplication::postEvent(to, new QKeyEvent(QEvent::KeyRelease, qtKey, Qt::NoModifier));
        return std::string();
    });
}

// The widget under an LCD point, and the point in its own coordinates.
QWidget* widgetAt(const QPoint& lcdPoint, QPoint& local)
{
    const std::vector<QWidget*> windows = windowsBottomFirst();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        const QPoint inWindow = lcdPoint - lcdPosition(*it);
        if (!(*it)->rect().contains(inWindow))
            continue;
        QWidget* child = (*it)->childAt(inWindow);
        QWidget* target = child ? child : *it;
        local = target->mapFrom(*it, inWindow);
        return target;
    }
    return nullptr;
}

std::string touchCommand(const Args& a)
{
    long x = 0, y = 0;
    if (!platform::controlNumber(a[0], 0, pages::kLcdWidth - 1, x) ||
        !platform::controlNumber(a[1], 0, pages::kLcdHeight - 1, y))
        return "the LCD's points are 0-319, 0-239";
    const QPoint point{static_cast<int>(x), static_cast<int>(y)};
    return inGuiThread([point]() -> std::string {
        QPoint local;
        QWidget* target = widgetAt(point, local);
        if (!target)
            return "no window at this point";
        // A modal box takes every touch outside itself: the tap is lost.
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal != target->window() && !modal->isAncestorOf(target))
            return std::string();
        const QPointF at(local), inWindow(target->mapTo(target->window(), local)), global(target->mapToGlobal(local));
        QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonPress, at, inWindow, global,
                                                            Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonRelease, at, inWindow, global,
                                                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
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
