#include "tests/support/box_reset.h"

#include "app/global.h"
#include "platform/box_state.h"
#include "platform/sim/sim.h"
#include "screens/page.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <vector>

namespace {

void runDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Every page and window goes, with the timer of the tick; what threads and
// timers had queued for them goes too.
void closeWindows()
{
    if (!qApp)
        return;
    Page::closeStack();
    runDeferredDeletes();
    std::vector<QPointer<QWidget>> windows;
    for (QWidget* w : QApplication::topLevelWidgets())
        windows.emplace_back(w);
    for (const QPointer<QWidget>& w : windows)
        delete w.data();
    delete g_timer;
    g_timer = nullptr;
    runDeferredDeletes();
    QCoreApplication::removePostedEvents(nullptr);
}

}  // namespace

void stopBoxThreads()
{
    boxstate::putBack(boxstate::Step::StopThreads);
}

void putBoxBack()
{
    stopBoxThreads();
    closeWindows();
    boxstate::putBack(boxstate::Step::DropObjects);
    boxstate::putBack(boxstate::Step::StartValues);
    // A reboot is counted, never the end of the test program.
    platform::sim::setRebootHandler([] {});
}
