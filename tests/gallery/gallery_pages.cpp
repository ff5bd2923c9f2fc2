// The pages of the gallery. A new page adds one entry (or a few, for its
// states) that builds it from nothing and returns its picture.
#include "tests/gallery/gallery.h"

#include "app/firmwareupdate.h"
#include "app/lockwindow.h"
#include "app/mainwindow.h"
#include "app/tip.h"

#include <memory>

namespace {

// The main window under every page, as start-up makes it.
struct MainWindowUnder {
    MainWindowUnder() : window(new MainWindow(nullptr)) { g_mainwindow = window.get(); }
    ~MainWindowUnder()
    {
        g_mainwindow = nullptr;
        delete g_tip;
        g_tip = nullptr;
    }
    std::unique_ptr<MainWindow> window;
};

QImage tipOverMainWindow(int kind)
{
    MainWindowUnder main;
    g_tip->tip_build(kind);
    return grabOver(main.window.get(), g_tip);
}

}  // namespace

const std::vector<GalleryPage>& galleryPages()
{
    static const std::vector<GalleryPage> pages = {
        {"mainwindow",
         [] {
             MainWindowUnder main;
             return grabWidget(main.window.get());
         }},
        {"mainwindow_toolbar",
         [] {
             MainWindowUnder main;
             main.window->on_tools_clicked();
             return grabWidget(main.window.get());
         }},
        {"lockwindow",
         [] {
             MainWindowUnder main;
             LockWindow home(nullptr);
             return grabWidget(&home);
         }},
        {"tip_check", [] { return tipOverMainWindow(TIP::kCheck); }},
        {"tip_usb_inserted", [] { return tipOverMainWindow(TIP::kUsbInserted); }},
        {"tip_usb_unplugged", [] { return tipOverMainWindow(TIP::kUsbUnplugged); }},
        {"tip_usb_reading", [] { return tipOverMainWindow(TIP::kUsbReading); }},
        {"firmwareupdate",
         [] {
             FirmwareUpdate dialog(nullptr);
             dialog.setAttribute(Qt::WA_DeleteOnClose, false);
             dialog.handleTimerID2();
             dialog.handleTimerID2();
             return grabWidget(&dialog);
         }},
    };
    return pages;
}
