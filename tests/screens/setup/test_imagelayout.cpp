// The window layout page: LEFT and RIGHT pick the current window, from a
// window beyond the four tabs too and whether or not it is switched on; OK
// opens the input choice, and the page shows what was chosen there.
#include "screens/setup/imagelayout.h"
#include "screens/setup/inputchoose.h"
#include "screens/page_directory.h"
#include "tests/app/test_mainwindow_fixture.h"

#include <QFrame>
#include <QLabel>

TEST_F(PageTest, WindowLayoutPicksTheCurrentWindowAndOpensTheInputChoice)
{
    for (int w = 0; w < 4; ++w)
        block().image[w].enable = w == 2 ? 0 : 1;
    block().image[1].source = ram::kSourceHdmi1;
    g_image_current = 4;  // window 5, which has no tab here
    store->ram_para_shadow = block();
    ASSERT_TRUE(insidePage([] { pages::openPage(PAGE_WINDOW_LAYOUT); },
                           [this] {
                               ImageLayout* page = g_imagelayout;
                               ASSERT_NE(page, nullptr);
                               auto text = [page](const char* label) {
                                   return page->findChild<QLabel*>(label)->text();
                               };
                               EXPECT_EQ(page->shownWindow(), 4);
                               EXPECT_EQ(page->findChild<QFrame*>("frame_image")->x(), 7 + 51 * 4);

                               const struct {
                                   int key;
                                   u8 window;
                                   const char* state;
                               } steps[] = {
                                   {Qt::Key_R, 0, "Image state:ON"},
                                   {Qt::Key_S, 3, "Image state:ON"},
                                   {Qt::Key_S, 2, "Image state:OFF"},  // switched off, current all the same
                                   {Qt::Key_S, 1, "Image state:ON"},
                               };
                               for (const auto& s : steps) {
                                   click(page, s.key);
                                   EXPECT_EQ(page->shownWindow(), s.window);
                                   EXPECT_EQ(g_image_current.load(), s.window);
                                   EXPECT_EQ(text("image_name"), QString("Name:Image%1").arg(s.window + 1));
                                   EXPECT_EQ(text("image_state"), s.state);
                               }
                               EXPECT_EQ(text("image_source"), "Source:HDMI1");

                               // OK: the input choice over the page; what it gives the window shows
                               // here once it closes.
                               ASSERT_TRUE(insidePage([page] { click(page, Qt::Key_Q); },
                                                      [this] {
                                                          EXPECT_EQ(g_page_focus.load(), PAGE_INPUT_CHOICE);
                                                          EXPECT_EQ(g_inputchoose->currentWindow(), 1);
                                                          store->KelSetImageSource(0, ram::kSourceHdmi3, 1);
                                                      }));
                               EXPECT_EQ(g_page_focus.load(), PAGE_WINDOW_LAYOUT);
                               EXPECT_EQ(text("image_source"), "Source:HDMI3");
                           }));
}
