// kel_gallery OUT_DIR: draws every page of galleryPages() in each language
// into OUT_DIR/<page>_<lang>.png, and all of them on one sheet,
// OUT_DIR/gallery_sheet.png (a row per page, a column per language). Exits non-zero when a page draws as one
// flat colour or a file cannot be written.
#include "tests/gallery/gallery.h"

#include "app/kelrampara.h"
#include "app/page_support.h"
#include "platform/sim/sim.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>
#include <cstdio>
#include <cstring>

namespace {

const char* const kLanguageNames[pages::kLanguages] = {"zh", "en", "ru", "vn", "tw"};
constexpr u32 kAllLanguages = 0x1F;

bool flat(const QImage& img)
{
    if (img.isNull())
        return true;
    const QRgb first = img.pixel(0, 0);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != first)
                return false;
    return true;
}

// Rows of pages, columns of languages, each picture at its own size.
QImage sheet(const std::vector<std::vector<QImage>>& rows)
{
    constexpr int kGap = 6;
    int cellW = 0, height = kGap;
    for (const auto& row : rows) {
        int rowH = 0;
        for (const QImage& img : row) {
            cellW = qMax(cellW, img.width());
            rowH = qMax(rowH, img.height());
        }
        height += rowH + kGap;
    }
    QImage out(kGap + pages::kLanguages * (cellW + kGap), height, QImage::Format_RGB32);
    out.fill(QColor(90, 90, 90));
    QPainter p(&out);
    int y = kGap;
    for (const auto& row : rows) {
        int rowH = 0;
        for (size_t l = 0; l < row.size(); ++l) {
            p.drawImage(kGap + static_cast<int>(l) * (cellW + kGap), y, row[l]);
            rowH = qMax(rowH, row[l].height());
        }
        y += rowH + kGap;
    }
    return out;
}

void settle()
{
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
        QThread::msleep(2);
    }
}

}  // namespace

QImage grabWidget(QWidget* w)
{
    w->show();
    settle();
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

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT_DIR\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QTemporaryDir root;
    platform::sim::resetBox(root.path().toStdString());
    platform::sim::setRebootHandler([] {});
    pages::initPictures();
    loadSampleBlock();

    int failures = 0, written = 0;
    std::vector<std::vector<QImage>> rows;
    for (const GalleryPage& page : galleryPages()) {
        rows.emplace_back();
        for (int lang = 0; lang < pages::kLanguages; ++lang) {
            g_language = static_cast<u8>(lang);
            g_lcd_lang_valid = kAllLanguages;
            const QImage img = page.render();
            rows.back().push_back(img);
            const QString file = QStringLiteral("%1/%2_%3.png").arg(out, page.name, kLanguageNames[lang]);
            if (flat(img)) {
                std::fprintf(stderr, "kel_gallery: %s draws as one flat colour\n", qPrintable(file));
                ++failures;
            } else if (!img.save(file)) {
                std::fprintf(stderr, "kel_gallery: cannot write %s\n", qPrintable(file));
                ++failures;
            } else {
                ++written;
            }
        }
    }
    if (!sheet(rows).save(out + QStringLiteral("/gallery_sheet.png"))) {
        std::fprintf(stderr, "kel_gallery: cannot write the sheet\n");
        ++failures;
    }
    std::printf("kel_gallery: %d pictures in %s\n", written, qPrintable(out));
    return failures ? 1 : 0;
}
