// The whole set of page pictures, and how one is drawn.
#include "artwork.h"

namespace art {

Catalog allPictures()
{
    Catalog catalog;
    addMainWindowPictures(catalog);
    addHomePagePictures(catalog);
    addSharedWidgetPictures(catalog);
    addModeBarPictures(catalog);
    addNumberKeyboardPictures(catalog);
    addSettingsMenuPictures(catalog);
    addPagePartPictures(catalog);
    addSourcePictures(catalog);
    addSettingsPagePictures(catalog);
    addTestPatternPictures(catalog);
    addUsbUpgradePictures(catalog);
    addToolPictures(catalog);
    addVideoSetupPictures(catalog);
    return catalog;
}

QImage render(const Picture& pic, Lang lang)
{
    const QSize size = pic.size(lang);
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    pic.draw(p, QSizeF(size), lang);
    p.end();
    return img;
}

}  // namespace art
