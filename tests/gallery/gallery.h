// The page gallery: every page built so far, drawn offscreen in each of the
// five languages into <out>/<page>_<lang>.png, so a person can look at them.
// A page joins by adding an entry to galleryPages() (gallery_pages.cpp).
#pragma once

#include <QImage>
#include <QString>
#include <functional>
#include <vector>

class QWidget;

struct GalleryPage {
    QString name;                    // file name stem, e.g. "lockwindow"
    std::function<QImage()> render;  // builds the page in the current language and draws it
};

// Every page, in the order they are drawn.
const std::vector<GalleryPage>& galleryPages();

// Helpers for the entries.
// Shows `w` offscreen, lets it settle and draws it.
QImage grabWidget(QWidget* w);
// Draws `popup` over `under` at the popup's place on the LCD.
QImage grabOver(QWidget* under, QWidget* popup);
// Fills the parameter block with a sample state that shows what the pages
// can show: window 1 on HDMI1 with a signal, window 2 on a crop of DVI,
// window 3 switched off, window 4 on HDMI3 blacked out and frozen.
void loadSampleBlock();
