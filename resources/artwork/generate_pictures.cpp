// Draws every page picture and writes the resource file that compiles them
// into the program.
//
//   kel_artwork OUT_DIR
//
// writes OUT_DIR/png/<prefix><name> for every picture, OUT_DIR/pictures.qrc
// (prefix "/png") and OUT_DIR/artwork_sheet.png, all pictures enlarged on
// one sheet for a person to look at. Exits non-zero when the CJK font is
// missing, so that no picture is drawn with empty boxes for its words.
#include "artwork.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QSaveFile>
#include <QSet>
#include <QTextStream>
#include <cstdio>

namespace {

struct Written {
    QString file;  // file name inside png/
    QImage image;
};

bool writeIfChanged(const QString& path, const QByteArray& data)
{
    QFile old(path);
    if (old.open(QIODevice::ReadOnly) && old.readAll() == data)
        return true;
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(data);
    return f.commit();
}

QByteArray pngBytes(const QImage& img)
{
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return out;
}

QImage contactSheet(const std::vector<Written>& all)
{
    const int scale = 3, label = 18, cols = 6;
    QSize biggest;
    for (const Written& w : all)
        biggest = biggest.expandedTo(w.image.size() * scale);
    const int cellW = qMax(biggest.width() + 16, 200), cellH = biggest.height() + 16 + label;
    const int rows = (static_cast<int>(all.size()) + cols - 1) / cols;
    QImage sheet(cols * cellW, rows * cellH, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(art::kPageBg);
    QPainter p(&sheet);
    p.setFont(art::wordFont(art::EN, 12, false));
    for (size_t i = 0; i < all.size(); ++i) {
        const int x = static_cast<int>(i % cols) * cellW, y = static_cast<int>(i / cols) * cellH;
        const QImage big =
            all[i].image.scaled(all[i].image.size() * scale, Qt::KeepAspectRatio, Qt::FastTransformation);
        p.fillRect(QRect(x + 4, y + 4, big.width() + 8, big.height() + 8), art::kButtonBg);
        p.drawImage(x + 8, y + 8, big);
        p.setPen(art::kWhite);
        p.drawText(QRect(x, y + cellH - label, cellW, label), Qt::AlignCenter, all[i].file);
    }
    return sheet;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT_DIR\n", argv[0]);
        return 2;
    }
    if (!QFontDatabase().families().contains(QStringLiteral("WenQuanYi Micro Hei"))) {
        std::fprintf(stderr, "kel_artwork: the font \"WenQuanYi Micro Hei\" is missing; "
                             "install fonts-wqy-microhei (scripts/install-deps)\n");
        return 1;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir + "/png");

    const art::Catalog catalog = art::allPictures();

    // Two pictures of one name would be one resource: the second would
    // silently replace the first.
    QSet<QString> names;
    for (const art::Picture& pic : catalog) {
        if (names.contains(pic.name)) {
            std::fprintf(stderr, "kel_artwork: the picture %s is drawn twice\n", qPrintable(pic.name));
            return 1;
        }
        names.insert(pic.name);
    }

    std::vector<Written> written;
    QString qrc;
    QTextStream q(&qrc);
    q << "<!DOCTYPE RCC><RCC version=\"1.0\">\n<qresource prefix=\"/png\">\n";
    for (const art::Picture& pic : catalog) {
        const int variants = pic.kind == art::Picture::Worded ? art::kLangs : 1;
        for (int l = 0; l < variants; ++l) {
            const auto lang = static_cast<art::Lang>(l);
            const QString file = QString::fromLatin1(art::prefix(lang)) + pic.name;
            Written w{file, art::render(pic, lang)};
            if (!writeIfChanged(outDir + "/png/" + file, pngBytes(w.image))) {
                std::fprintf(stderr, "kel_artwork: cannot write %s\n", qPrintable(file));
                return 1;
            }
            q << "  <file alias=\"" << file << "\">png/" << file << "</file>\n";
            written.push_back(std::move(w));
        }
        if (pic.kind == art::Picture::Prefixed)
            for (int l = art::EN; l < art::kLangs; ++l)
                q << "  <file alias=\"" << art::prefix(static_cast<art::Lang>(l)) << pic.name << "\">png/" << pic.name
                  << "</file>\n";
    }
    q << "</qresource>\n</RCC>\n";
    q.flush();
    if (!writeIfChanged(outDir + "/pictures.qrc", qrc.toUtf8()) ||
        !writeIfChanged(outDir + "/artwork_sheet.png", pngBytes(contactSheet(written)))) {
        std::fprintf(stderr, "kel_artwork: cannot write into %s\n", qPrintable(outDir));
        return 1;
    }
    return 0;
}
