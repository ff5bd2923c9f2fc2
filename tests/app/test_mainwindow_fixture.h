// A simulated box with its parameter store, change notifier and main window,
// for the page tests: the main window is g_mainwindow, as start-up makes it.
#pragma once

#include "app/kelrampara.h"
#include "app/mainwindow.h"
#include "app/numberkeyboard.h"
#include "app/page_support.h"
#include "app/syncupdate.h"
#include "app/tip.h"
#include "screens/page.h"
#include "screens/page_directory.h"
#include "tests/support/box_test.h"
#include "videochip/x518_manage.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

class PageTest : public BoxTest {
protected:
    void SetUp() override
    {
        BoxTest::SetUp();
        store = KelRamPara::pInstance();
        SyncUpdate::pInstance();
        pages::initPictures();
        g_language = pages::EN;
        g_lcd_lang_valid = 0x1F;
        x518_manage::apply_flag = 0;
        main = new MainWindow(nullptr);
        g_mainwindow = main;
        g_page_focus = PAGE_MAIN_MENU;
    }
    void TearDown() override
    {
        flushDeletes();
        BoxTest::TearDown();
    }
    // Runs the deletions that closing pages asked for.
    static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    // n ticks of the 10 ms timer.
    void tick(int n = 1)
    {
        for (int i = 0; i < n; ++i)
            main->slot_update_timer_ticks();
    }
    KEL_RAM_PARA& block() { return store->ram_para; }
    // Change codes reach the change notifier as start-up connects them: a
    // link's or manager's code refreshes the page with focus.
    void notifierConnected()
    {
        QObject::connect(store, &KelRamPara::sig_update_para, SyncUpdate::p_SyncUpdate, &SyncUpdate::para_sync);
    }
    // A front-panel key as the box delivers it: through QTest, except the
    // power-off and stop keys, which QTest cannot type.
    static bool qtestTypes(int key) { return key != Qt::Key_PowerOff && key != Qt::Key_Stop; }
    static void press(QWidget* w, int key)
    {
        if (qtestTypes(key))
            return QTest::keyPress(w, static_cast<Qt::Key>(key));
        QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &e);
    }
    static void release(QWidget* w, int key)
    {
        if (qtestTypes(key))
            return QTest::keyRelease(w, static_cast<Qt::Key>(key));
        QKeyEvent e(QEvent::KeyRelease, key, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &e);
    }
    static void click(QWidget* w, int key)
    {
        press(w, key);
        release(w, key);
    }

    // Opening a page runs it modally: `open` returns only when the page has
    // closed. This runs `body` inside the page's loop, then closes the page
    // with BACK when `body` left it open. False when `open` opened no page.
    static bool insidePage(const std::function<void()>& open, const std::function<void()>& body)
    {
        QTimer start;
        start.setSingleShot(true);
        QObject::connect(&start, &QTimer::timeout, [&body] {
            QPointer<Page> page = Page::withFocus();
            body();
            if (page && page->isVisible())
                page->slot_Button_back_clicked();
        });
        start.start(0);
        open();
        if (!start.isActive())
            return true;
        start.stop();
        return false;
    }

    // Runs `body` with page `number` open, as its menu opens it.
    static bool onPage(PAGE_FOCUS number, const std::function<void()>& body)
    {
        return insidePage([number] { pages::openPage(number); }, body);
    }
    // RIGHT until entry `entry` of `page` has the focus.
    static void focusOn(Page* page, int entry)
    {
        while (page->selected() != entry)
            click(page, Qt::Key_R);
    }
    // The focus highlight: the orange frame of the focused entry.
    static bool orangeFramed(const QWidget* w) { return w->styleSheet().contains(QStringLiteral("rgb(255,171,84)")); }
    // Types `digits` on the number keyboard and confirms, once it is up.
    static void typeWhenAsked(const QString& digits)
    {
        QTimer::singleShot(0, [digits] {
            for (QChar d : digits)
                QTest::mouseClick(g_numberkeyboard->findChild<QPushButton*>(QStringLiteral("Button") + d),
                                  Qt::LeftButton);
            QTest::mouseClick(g_numberkeyboard->findChild<QPushButton*>(QStringLiteral("Button_ok")), Qt::LeftButton);
        });
    }

    KelRamPara* store = nullptr;
    MainWindow* main = nullptr;
};

// A video chip manager whose chip is not in running mode (as while the chip
// does not answer) for as long as this lives; run() brings it to running mode.
class ChipNotRunning {
public:
    ChipNotRunning() : made_(!x518_manage::p_x518_manage) { x518_manage::prepareInstance()->init_state = 0; }
    ~ChipNotRunning()
    {
        if (made_) {
            delete x518_manage::p_x518_manage;
            x518_manage::p_x518_manage = nullptr;
        } else {
            run();
        }
    }
    void run() { x518_manage::p_x518_manage->init_state = x518_manage::kRunningState; }

private:
    bool made_;
};
