// What the gallery's entries and its users share: the box the pages are
// drawn on, the drawing itself and the look the checks take at every page
// drawn.
#include "tests/gallery/gallery.h"

#include "app/kelrampara.h"
#include "app/fpga_handover.h"
#include "app/page_support.h"
#include "fpga/fpga_manage.h"
#include "platform/sim/sim.h"

#include <QApplication>
#include <QPainter>
#include <QThread>
#include <QWidget>

namespace {

const char* const kLanguageNames[pages::kLanguages] = {"zh", "en", "ru", "vn", "tw"};
constexpr u32 kAllLanguages = 0x1F;

std::function<void(QWidget*)>& inspector()
{
    static std::function<void(QWidget*)> look;
    return look;
}

void settle()
{
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
        QThread::msleep(2);
    }
}

}  // namespace

const char* galleryLanguageName(int language)
{
    return language >= 0 && language < pages::kLanguages ? kLanguageNames[language] : "??";
}

void prepareGalleryBox(const std::string& root)
{
    // An FPGA manager made on an earlier box reads that box's devices, which
    // the reset takes away: it is left behind (it runs no thread), and the
    // pages that need one make a new one on this box.
    if (fpga_manage::p_fpga_manage) {
        fpga_manage::p_fpga_manage = nullptr;
        FpgaHandover::receiver = nullptr;
    }
    platform::sim::resetBox(root);
    platform::sim::setRebootHandler([] {});
    pages::initPictures();
    loadSampleBlock();
}

void setGalleryLanguage(int language)
{
    g_language = static_cast<u8>(language);
    g_lcd_lang_valid = kAllLanguages;
}

void setGrabInspector(std::function<void(QWidget*)> look)
{
    inspector() = std::move(look);
}

QImage grabWidget(QWidget* w)
{
    w->show();
    settle();
    if (inspector())
        inspector()(w);
    return w->grab().toImage();
}

QImage grabOver(QWidget* under, QWidget* popup)
{
    QImage img = grabWidget(under);
    const QImage top = grabWidget(popup);
    QPainter p(&img);
    p.drawImage(popup->pos() - under->pos(), top);
    return img;
}

void loadSampleBlock()
{
    KelRamPara* store = KelRamPara::pInstance();
    KEL_RAM_PARA& b = store->ram_para;
    b.source_status[ram::kSourceHdmi1] = SOURCE_STATUS{1920, 1080, 60};
    b.source_status[ram::kSourceDvi] = SOURCE_STATUS{1280, 1024, 60};
    b.image[0].enable = 1;
    b.image[0].source = ram::kSourceHdmi1;
    b.image[0].audio = ram::kAudioOn;
    b.audio_image = 0;
    b.image[1].enable = 1;
    // crop record 0: crop 1 of DVI, 640 x 512
    b.crop_list[0] = CROP_ITEM{static_cast<u16>(ram::kCropInUse | ram::kSourceDvi), 0, 0, 640, 512};
    b.image[1].source = ram::kSourceIsCrop | 0;
    b.image[2].enable = 0;
    b.image[3].enable = 1;
    b.image[3].source = ram::kSourceHdmi3;
    b.image[3].flags = ram::kFlagBlack | ram::kFlagFreeze;
    store->ram_para_shadow = b;
    g_image_current = 0;
}
