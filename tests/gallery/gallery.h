// The page gallery: every page built so far, drawn offscreen in each of the
// five languages into <out>/<page>_<lang>.png, so a person can look at them.
// A page joins by adding an entry to galleryPages() (gallery_pages.cpp).
#pragma once

#include <QImage>
#include <QString>
#include <functional>
#include <string>
#include <vector>

class QWidget;

struct GalleryPage {
    QString name;                    // file name stem, e.g. "lockwindow"
    std::function<QImage()> render;  // builds the page in the current language and draws it
};

// Every page, in the order they are drawn.
const std::vector<GalleryPage>& galleryPages();

// The box the gallery draws on: a fresh simulated box under `root`, the
// pictures and the sample block.
void prepareGalleryBox(const std::string& root);
// The language the next render labels its page in (every language enabled).
void setGalleryLanguage(int language);
// "zh", "en", "ru", "vn", "tw" by pages::Language.
const char* galleryLanguageName(int language);
// Called with every widget grabWidget draws, once it is shown and settled
// and before it is drawn (nothing: no call).
void setGrabInspector(std::function<void(QWidget*)> look);

// Helpers for the entries.
// Shows `w` offscreen, lets it settle and draws it.
QImage grabWidget(QWidget* w);
// Draws `popup` over `under` at the popup's place on the LCD.
QImage grabOver(QWidget* under, QWidget* popup);
// Fills the parameter block with a sample state that shows what the pages
// can show: window 1 on HDMI1 with a signal, window 2 on a crop of DVI,
// window 3 switched off, window 4 on HDMI3 blacked out and frozen.
void loadSampleBlock();
