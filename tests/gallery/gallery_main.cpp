// kel_gallery OUT_DIR: draws every page of galleryPages() in each language
// into OUT_DIR/<page>_<lang>.png, and all of them on one sheet,
// OUT_DIR/gallery_sheet.png (a row per page, a column per language). Exits non-zero when a page draws as one
// flat colour or a file cannot be written.
#include "tests/gallery/gallery.h"

#include "app/page_support.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdio>
#include <cstring>

namespace {

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

}  // namespace

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
    prepareGalleryBox(root.path().toStdString());

    int failures = 0, written = 0;
    std::vector<std::vector<QImage>> rows;
    for (const GalleryPage& page : galleryPages()) {
        rows.emplace_back();
        for (int lang = 0; lang < pages::kLanguages; ++lang) {
            setGalleryLanguage(lang);
            const QImage img = page.render();
            rows.back().push_back(img);
            const QString file = QStringLiteral("%1/%2_%3.png").arg(out, page.name, galleryLanguageName(lang));
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
