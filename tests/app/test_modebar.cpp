// The main window's user-mode bar: opening it armed for call or save, moving
// its selection, saving and calling a mode through the change-code cycle,
// and closing it.
#include "tests/app/test_mainwindow_fixture.h"

#include "platform/sim/sim.h"

#include <cstring>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

namespace {

const char* const kTouchedFrame = "#00D65B";
const char* const kSavedFrame = "#212435";

// What the tip box shows: its text, or "check" for the check-mark picture.
QString tipShown()
{
    const auto labels = g_tip->findChildren<QLabel*>();
    if (labels.isEmpty() || !g_tip->isVisible())
        return QString();
    return labels.last()->pixmap(Qt::ReturnByValue).isNull() ? labels.last()->text() : QStringLiteral("check");
}

}  // namespace

class ModeBar : public PageTest {
protected:
    void SetUp() override
    {
        PageTest::SetUp();
        for (int i = 0; i < kModeSlots; ++i)
            markSlot(i, false);
        g_mode_select = 0;
        main->show();
    }
    void markSlot(int i, bool saved, u8 fill = 0)
    {
        USER_MODE_SLOT& s = store->ram_user_mode[i];
        s.marker[0] = s.marker[1] = saved ? ram::kSlotSaved : ram::kSlotEmpty;
        std::memset(s.data, fill, sizeof s.data);
    }
    // The tool bar, then OK on tool 2 (call) or 3 (save).
    void openWithKeys(bool call)
    {
        if (!main->toolBarShown())
            main->on_tools_clicked();
        while (main->selected() != (call ? 2 : 3))
            click(main, Qt::Key_R);
        click(main, Qt::Key_Q);
    }
    bool selectedOnBar(int i) { return orangeFramed(main->slotButton(i)); }
    int selectedCount()
    {
        int n = 0;
        for (int i = 0; i < kModeSlots; ++i)
            n += selectedOnBar(i);
        return n;
    }
    QLabel* inUseLabel(int i) { return g_mode[i]->findChild<QLabel*>("in_use"); }
    void touch(int i)
    {
        QTest::mouseClick(main->slotButton(i), Qt::LeftButton);
        flushDeletes();
    }
    // The chip manager applied the flag and emitted its change code: the
    // notifier runs with the main window in focus. A tip it shows is
    // noted and ended by the tick.
    bool changeCodeCycle()
    {
        x518_manage::apply_flag = 0;
        bool tipShown = false;
        QTimer::singleShot(0, [this, &tipShown] {
            tipShown = g_tip_flag.load() == 1 && g_tip->isVisible();
            if (tipShown)
                tick(300);
        });
        SyncUpdate::p_SyncUpdate->para_sync(SYNC_PARA_CHANGED);
        QCoreApplication::processEvents();
        return tipShown;
    }
};

TEST_F(ModeBar, SaveOpensOnTheFirstSavedSlotAtOrAfterTheSelectionAndStepsThroughAll)
{
    markSlot(1, true);
    markSlot(8, true);
    openWithKeys(false);
    ASSERT_TRUE(main->saveArmed());
    EXPECT_FALSE(main->callArmed());
    EXPECT_EQ(main->modeFocus(), 1);
    EXPECT_FALSE(main->modeBar()->isHidden());
    EXPECT_EQ(main->modeTitle()->text(), QStringLiteral("User mode save"));
    EXPECT_FALSE(main->pointerLabel()->isHidden());
    // The tool button lost its highlight to the bar.
    EXPECT_FALSE(orangeFramed(main->focusedWidget()));
    for (int i = 0; i < 3; ++i)
        click(main, Qt::Key_R);
    EXPECT_EQ(main->modeFocus(), 4);
    // BACK closes the bar; opening again starts from slot 4: the next saved is 8.
    click(main, Qt::Key_O);
    EXPECT_FALSE(main->saveArmed());
    EXPECT_TRUE(main->modeBar()->isHidden());
    EXPECT_TRUE(orangeFramed(main->focusedWidget()));
    click(main, Qt::Key_Q);
    ASSERT_TRUE(main->saveArmed());
    EXPECT_EQ(main->modeFocus(), 8);
    // RIGHT walks every slot, empty ones included, and wraps.
    for (int expect : {9, 10, 11, 12, 13, 14, 15, 0, 1}) {
        click(main, Qt::Key_R);
        EXPECT_EQ(main->modeFocus(), expect);
        EXPECT_TRUE(selectedOnBar(expect));
        EXPECT_EQ(selectedCount(), 1);
    }
    click(main, Qt::Key_S);
    click(main, Qt::Key_S);
    EXPECT_EQ(main->modeFocus(), 15);
}

TEST_F(ModeBar, CallingStepsOnlyOverSavedSlots)
{
    markSlot(6, true, 0x11);
    openWithKeys(true);
    ASSERT_TRUE(main->callArmed());
    EXPECT_EQ(main->modeFocus(), 6);
    EXPECT_EQ(main->modeTitle()->text(), QStringLiteral("User mode invocation"));
    click(main, Qt::Key_R);
    EXPECT_EQ(main->modeFocus(), 6);
    click(main, Qt::Key_S);
    EXPECT_EQ(main->modeFocus(), 6);
    markSlot(2, true);
    click(main, Qt::Key_R);  // wraps round to 2
    EXPECT_EQ(main->modeFocus(), 2);
    click(main, Qt::Key_S);
    EXPECT_EQ(main->modeFocus(), 6);
    // Empty slots never show the selection while calling.
    EXPECT_EQ(selectedCount(), 1);
    click(main, Qt::Key_Q);  // OK presses the selected slot
    flushDeletes();
    EXPECT_EQ(block().current_mode, 7);
    EXPECT_EQ(block().brightness, 0x1111);
}

TEST_F(ModeBar, WithNothingSavedEitherStateSelectsSlotZero)
{
    openWithKeys(true);
    EXPECT_TRUE(main->callArmed());
    EXPECT_EQ(main->modeFocus(), 0);
    EXPECT_EQ(selectedCount(), 0);  // an empty slot while calling
    click(main, Qt::Key_R);
    EXPECT_EQ(main->modeFocus(), 0);
    // Save takes over directly from call.
    main->on_toolButton4_clicked();
    EXPECT_TRUE(main->saveArmed());
    EXPECT_FALSE(main->callArmed());
    EXPECT_TRUE(selectedOnBar(0));
}

TEST_F(ModeBar, SaveAndCallThroughTheChangeCodeCycle)
{
    block().brightness = 77;
    openWithKeys(false);
    // Touch slot 5 while saving: the notifier is asked to save user mode 6.
    touch(5);
    EXPECT_EQ(block().mode_save_request, 6);
    EXPECT_EQ(x518_manage::apply_flag.load(), 1);
    EXPECT_EQ(main->mode_tip_pending, 1);
    EXPECT_TRUE(main->saveArmed());
    EXPECT_FALSE(main->modeBar()->isHidden());
    EXPECT_EQ(g_mode_select, 5);
    EXPECT_TRUE(g_mode[5]->styleSheet().contains(kTouchedFrame));
    // The same slot again before the change code: asked once.
    x518_manage::apply_flag = 0;
    touch(5);
    EXPECT_EQ(x518_manage::apply_flag.load(), 0);
    EXPECT_EQ(block().mode_save_request, 6);

    EXPECT_TRUE(changeCodeCycle());
    EXPECT_EQ(store->KelUserModeSaved(5), 1);
    EXPECT_EQ(block().current_mode, 6);
    EXPECT_EQ(main->mode_tip_pending, 0);
    EXPECT_EQ(ram::loadU16(store->ram_user_mode[5].data + ram::slotDataIndex(2176)), 77);

    // Call it back after the picture changed.
    block().brightness = 10;
    main->on_toolButton3_clicked();
    ASSERT_TRUE(main->callArmed());
    EXPECT_FALSE(main->saveArmed());
    EXPECT_EQ(main->modeFocus(), 5);
    block().current_mode = 0;
    touch(5);
    EXPECT_EQ(block().brightness, 77);
    EXPECT_EQ(block().current_mode, 6);
    EXPECT_EQ(block().mode_save_request, 0);
    EXPECT_EQ(x518_manage::apply_flag.load(), 1);
    EXPECT_TRUE(main->callArmed());
    EXPECT_EQ(main->modeFocus(), 5);
    EXPECT_EQ(main->mode_tip_pending, 1);
    // The redrawn bar marks the mode in use.
    ASSERT_NE(inUseLabel(5), nullptr);
    EXPECT_FALSE(inUseLabel(5)->isHidden());
    EXPECT_EQ(inUseLabel(5)->text(), QStringLiteral("Using"));

    EXPECT_TRUE(changeCodeCycle());  // the confirmation again
}

// The mark of the mode in use keeps its letters 3 pixels clear of the
// slot's orange frame (2 pixels wide) on either side, in every language.
TEST_F(ModeBar, TheInUseMarkKeepsClearOfTheFocusFrameInEveryLanguage)
{
    constexpr int kFrame = 2, kClear = 3;
    markSlot(2, true);
    block().current_mode = 3;
    for (int language = 0; language < pages::kLanguages; ++language) {
        g_language = language;
        main->mode_init();
        QLabel* mark = inUseLabel(2);
        ASSERT_NE(mark, nullptr);
        ASSERT_FALSE(mark->isHidden());
        const QImage drawn = mark->grab().toImage();
        const QRgb ground = drawn.pixel(0, 0);
        int first = drawn.width(), last = -1;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x)
                if (drawn.pixel(x, y) != ground) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
        const int slotWidth = mark->parentWidget()->width();
        ASSERT_GE(last, first) << mark->text().toStdString();
        EXPECT_GE(mark->x() + first, kFrame + kClear) << mark->text().toStdString();
        EXPECT_LE(mark->x() + last, slotWidth - 1 - kFrame - kClear) << mark->text().toStdString();
    }
}

// A mode file the disk refused is tried again every second. Once a try
// writes it, the open bar draws the slot saved, and shows the check mark
// the failure tip stood in for when the save was the bar's own.
TEST_F(ModeBar, ASaveThatFailedIsShownSavedOnceALaterTryWritesIt)
{
    openWithKeys(false);
    QStringList tips;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const QString shown = tipShown();
        if (shown.isEmpty())
            return;
        tips << shown;
        tick(300);
    });
    watch.start(1);
    const auto retriedUntilSaved = [&](int slot) {
        platform::sim::setDiskFault(platform::sim::DiskFault::kNone);
        return waitUntil([&] { return store->KelUserModeSaved(slot) == 1; });
    };

    // The protocol's save of mode 10: drawn saved once written, no tip.
    platform::sim::setDiskFault(platform::sim::DiskFault::kFull);
    store->ram_para.mode_save_request = 10;
    SyncUpdate::p_SyncUpdate->para_sync(SYNC_PARA_CHANGED);
    ASSERT_TRUE(store->modeFilePending(9));
    ASSERT_TRUE(retriedUntilSaved(9));
    flushDeletes();
    EXPECT_TRUE(g_mode[9]->styleSheet().contains(kSavedFrame));
    EXPECT_TRUE(tips.isEmpty());

    // The bar's own save of mode 5: the failure tip, then the check mark.
    platform::sim::setDiskFault(platform::sim::DiskFault::kFull);
    touch(4);
    x518_manage::apply_flag = 0;
    SyncUpdate::p_SyncUpdate->para_sync(SYNC_PARA_CHANGED);
    ASSERT_EQ(tips, QStringList{QStringLiteral("Save failed!\nThe box keeps trying.")});
    EXPECT_FALSE(g_mode[4]->styleSheet().contains(kSavedFrame));
    ASSERT_TRUE(retriedUntilSaved(4));
    EXPECT_EQ(tips.value(1), QStringLiteral("check"));
    EXPECT_TRUE(main->saveArmed());
    flushDeletes();
    EXPECT_TRUE(g_mode[4]->styleSheet().contains(kSavedFrame));
}

// While the bar's own save waits for the disk, its slot (saved before)
// says it is not saved yet once the failure tip is gone, rather than the
// green of a touch that a save that landed shows too; calling it recalls
// nothing. Once the file is written it is drawn saved.
TEST_F(ModeBar, ASlotWhoseSaveWaitsForTheDiskShowsNotSavedUntilItsFileIsWritten)
{
    store->ram_para_shadow.mode_save_request = 0;  // a request the shadow holds counts as carried out
    markSlot(4, true, 0x11);
    openWithKeys(false);
    platform::sim::setDiskFault(platform::sim::DiskFault::kFull);
    touch(4);
    EXPECT_TRUE(changeCodeCycle());
    flushDeletes();
    EXPECT_FALSE(g_mode[4]->styleSheet().contains(kTouchedFrame));
    EXPECT_FALSE(g_mode[4]->styleSheet().contains(kSavedFrame));
    QLabel* mark = g_mode[4]->findChild<QLabel*>("save_waits");
    ASSERT_NE(mark, nullptr);
    EXPECT_EQ(mark->text(), QStringLiteral("Not saved"));

    main->on_toolButton3_clicked();
    x518_manage::apply_flag = 0;
    touch(4);
    EXPECT_EQ(x518_manage::apply_flag.load(), 0);

    // The check mark the failure tip stood in for comes with the landing.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!tipShown().isEmpty())
            tick(300);
    });
    watch.start(1);
    platform::sim::setDiskFault(platform::sim::DiskFault::kNone);
    EXPECT_TRUE(waitUntil([&] { return !store->saveWaits(4); }));
    flushDeletes();
    EXPECT_TRUE(g_mode[4]->styleSheet().contains(kSavedFrame));
    EXPECT_EQ(g_mode[4]->findChild<QLabel*>("save_waits"), nullptr);
}

TEST_F(ModeBar, AnEmptySlotTouchedWhileCallingOnlyTurnsGreen)
{
    markSlot(3, true);
    openWithKeys(true);
    const KEL_RAM_PARA before = block();
    touch(9);
    EXPECT_EQ(std::memcmp(&before, &block(), sizeof before), 0);
    EXPECT_EQ(x518_manage::apply_flag.load(), 0);
    EXPECT_EQ(main->mode_tip_pending, 0);
    EXPECT_TRUE(g_mode[9]->styleSheet().contains(kTouchedFrame));
    // The next touch gives slot 9 its own colour back.
    touch(3);
    EXPECT_FALSE(g_mode[9]->styleSheet().contains(kTouchedFrame));
    EXPECT_TRUE(g_mode[3]->styleSheet().contains(kTouchedFrame));
}

TEST_F(ModeBar, TheModeInUseIsMarkedOnlyOnASavedSlot)
{
    block().current_mode = 3;
    openWithKeys(false);
    EXPECT_TRUE(inUseLabel(2)->isHidden());
    markSlot(2, true);
    click(main, Qt::Key_R);  // any redraw
    for (int i = 0; i < kModeSlots; ++i)
        EXPECT_EQ(inUseLabel(i)->isHidden(), i != 2) << i;
}

TEST_F(ModeBar, TheTouchedBarIsDeletedOnlyAfterItsClickIsHandled)
{
    openWithKeys(false);
    QPointer<QWidget> oldBar = main->modeBar();
    QPointer<QPushButton> button = main->slotButton(7);
    QTest::mouseClick(button, Qt::LeftButton);
    // The click rebuilt the bar; the old one, with the button, is still there
    // (hidden) until the event loop deletes it.
    EXPECT_FALSE(button.isNull());
    EXPECT_TRUE(oldBar->isHidden());
    EXPECT_NE(main->modeBar(), oldBar.data());
    EXPECT_FALSE(main->modeBar()->isHidden());
    flushDeletes();
    EXPECT_TRUE(button.isNull());
    EXPECT_TRUE(oldBar.isNull());
    EXPECT_EQ(block().mode_save_request, 8);
}

TEST_F(ModeBar, ToolsButtonAndOpeningAPageCloseTheBar)
{
    markSlot(0, true);
    openWithKeys(true);
    // Opening a page disarms and hides it.
    ASSERT_TRUE(insidePage([this] { main->on_option_clicked(); }, [] {}));
    EXPECT_FALSE(main->callArmed());
    EXPECT_TRUE(main->modeBar()->isHidden());
    EXPECT_TRUE(main->pointerLabel()->isHidden());
    // The tools button deletes it with the tool bar.
    openWithKeys(false);
    QPointer<QWidget> bar = main->modeBar();
    main->on_tools_clicked();
    EXPECT_FALSE(main->toolBarShown());
    EXPECT_EQ(main->modeBar(), nullptr);
    EXPECT_FALSE(main->saveArmed());
    EXPECT_EQ(main->modeFocus(), 0);
    EXPECT_TRUE(main->pointerLabel()->isHidden());
    flushDeletes();
    EXPECT_TRUE(bar.isNull());
    // Back on the tool bar, the bar is built again.
    openWithKeys(true);
    ASSERT_NE(main->modeBar(), nullptr);
    EXPECT_FALSE(main->modeBar()->isHidden());
}
