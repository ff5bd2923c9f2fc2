// Every text of every page in the gallery, in each of the five languages,
// shows whole at a readable size; and the look that decides it.
#include "tests/gallery/gallery.h"
#include "tests/gallery/text_fit.h"

#include "app/page_support.h"
#include "resources/artwork/artwork.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace {

// Texts elided or shrunk on purpose below what the look accepts: the page
// (empty: every page), the end of the widget's name, and why. Texts a page
// elides itself (crop names, file names) are set elided and fit as they
// are; none needs an entry today.
struct Allowed {
    const char* page;
    const char* widget;
    const char* why;
};

const std::vector<Allowed> kAllowed = {};

bool allowed(const QString& page, const TextMisfit& m)
{
    for (const Allowed& a : kAllowed)
        if ((!*a.page || page == QLatin1String(a.page)) && m.widget.endsWith(QLatin1String(a.widget)))
            return true;
    return false;
}

// What `look` finds on every gallery page in `language`, a line each
// (texts allowed by kAllowed left out), each widget and text once.
QStringList galleryFindings(int language, const std::function<std::vector<TextMisfit>(QWidget*)>& look)
{
    QTemporaryDir root;
    prepareGalleryBox(root.path().toStdString());
    setGalleryLanguage(language);

    QString page;
    QStringList failures;
    QSet<QString> seen;  // the main window is drawn under many pages
    setGrabInspector([&](QWidget* window) {
        for (const TextMisfit& m : look(window)) {
            if (allowed(page, m))
                continue;
            const QString line = QStringLiteral("page %1, language %2, widget %3: \"%4\" %5")
                                     .arg(page, QLatin1String(galleryLanguageName(language)), m.widget, m.text, m.why);
            if (!seen.contains(m.widget + m.text)) {
                seen.insert(m.widget + m.text);
                failures << line;
            }
        }
    });
    for (const GalleryPage& p : galleryPages()) {
        page = p.name;
        p.render();
    }
    setGrabInspector(nullptr);
    return failures;
}

class PageTexts : public ::testing::TestWithParam<int> {};

TEST_P(PageTexts, EveryTextOfEveryGalleryPageShowsWhole)
{
    const QStringList failures = galleryFindings(GetParam(), textMisfits);
    EXPECT_TRUE(failures.isEmpty()) << failures.size() << " texts do not show whole:\n"
                                    << qPrintable(failures.join(QLatin1Char('\n')));
}

// A wrapped text (a tip, a note) breaks where no line is left holding its
// last short word alone.
TEST_P(PageTexts, NoWrappedTextOfAGalleryPageLeavesAShortWordAlone)
{
    const QStringList failures = galleryFindings(GetParam(), loneWords);
    EXPECT_TRUE(failures.isEmpty()) << failures.size() << " texts leave a word alone:\n"
                                    << qPrintable(failures.join(QLatin1Char('\n')));
}

// The words the picture generator draws into pictures (menu captions, the
// device page's side tabs, key hints) are read by the same look.
TEST_P(PageTexts, EveryWordDrawnIntoAPictureShowsWhole)
{
    const auto lang = static_cast<art::Lang>(GetParam());
    QString picture;
    QStringList failures;
    int captions = 0;
    art::setCaptionWatcher([&](const art::DrawnCaption& c) {
        ++captions;
        const QString why = pictureTextMisfit(c.text, c.font, c.box, c.scale);
        if (!why.isEmpty())
            failures << QStringLiteral("picture %1: \"%2\" %3").arg(picture, c.text, why);
    });
    for (const art::Picture& pic : art::allPictures()) {
        // A picture without words of its own is drawn once, in Chinese.
        if (pic.kind != art::Picture::Worded && lang != art::ZH)
            continue;
        picture = QLatin1String(art::prefix(lang)) + pic.name;
        art::render(pic, lang);
    }
    art::setCaptionWatcher(nullptr);
    EXPECT_GT(captions, 0);
    EXPECT_TRUE(failures.isEmpty()) << failures.size() << " words in pictures do not show whole:\n"
                                    << qPrintable(failures.join(QLatin1Char('\n')));
}

INSTANTIATE_TEST_SUITE_P(FiveLanguages, PageTexts, ::testing::Range(0, pages::kLanguages),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(galleryLanguageName(info.param));
                         });

// ---- the look itself, on widgets made for it

struct SmallWindow : ::testing::Test {
    void SetUp() override
    {
        window.setFixedSize(200, 100);
        window.setObjectName(QStringLiteral("Window"));
    }
    template <class W>
    W* add(const QString& name, const QRect& at)
    {
        auto* w = new W(&window);
        w->setObjectName(name);
        w->setGeometry(at);
        return w;
    }
    std::vector<TextMisfit> look()
    {
        window.show();
        return textMisfits(&window);
    }
    std::vector<TextMisfit> loneWordsIn()
    {
        window.show();
        return loneWords(&window);
    }
    QFont pixels(int px)
    {
        QFont f = window.font();
        f.setPixelSize(px);
        return f;
    }
    QDialog window;
};

TEST_F(SmallWindow, LabelTooNarrowIsNamedWithItsText)
{
    QLabel* label = add<QLabel>(QStringLiteral("label_caption"), QRect(0, 0, 30, 20));
    label->setFont(pixels(12));
    label->setText(QStringLiteral("Ширина окна"));
    const auto misfits = look();
    ASSERT_EQ(misfits.size(), 1u);
    EXPECT_EQ(misfits[0].widget, QStringLiteral("Window/label_caption"));
    EXPECT_EQ(misfits[0].text, QStringLiteral("Ширина окна"));

    label->setGeometry(0, 0, 180, 20);
    EXPECT_TRUE(look().empty());
}

TEST_F(SmallWindow, WrappedLabelFitsOnTwoLinesButNotInOneLineOfHeight)
{
    QLabel* label = add<QLabel>(QStringLiteral("label_note"), QRect(0, 0, 90, 40));
    label->setFont(pixels(12));
    label->setWordWrap(true);
    label->setText(QStringLiteral("Chất lượng hình ảnh"));
    EXPECT_TRUE(look().empty());
    label->setFixedHeight(16);
    EXPECT_EQ(look().size(), 1u);
}

TEST_F(SmallWindow, TextShrunkBelowNinePixelsIsReported)
{
    QLabel* label = add<QLabel>(QStringLiteral("label_small"), QRect(0, 0, 150, 20));
    label->setText(QStringLiteral("Save"));
    label->setStyleSheet(QStringLiteral("font-size: 8px;"));
    const auto misfits = look();
    ASSERT_EQ(misfits.size(), 1u);
    EXPECT_TRUE(misfits[0].why.contains(QStringLiteral("8 px"))) << qPrintable(misfits[0].why);
}

// A rich text wrapped in a label is read line by line as the label lays it
// out; its last two words joined by a no-break space stay together.
TEST_F(SmallWindow, ARichTextThatLeavesItsLastWordAloneIsNamed)
{
    QLabel* label = add<QLabel>(QStringLiteral("label_log"), QRect(0, 0, 150, 60));
    label->setFont(pixels(11));
    label->setWordWrap(true);
    label->setTextFormat(Qt::RichText);
    const QString line = QStringLiteral("FPGA 2 program incomplete, install it again!");
    label->setText(QStringLiteral("<font color = #FF0000>%1</font>").arg(line));
    std::vector<TextMisfit> misfits;
    for (int width = 120; width <= 200 && misfits.empty(); width += 2) {
        label->setFixedWidth(width);
        misfits = loneWordsIn();
    }
    ASSERT_EQ(misfits.size(), 1u);
    EXPECT_TRUE(misfits[0].why.contains(QStringLiteral("\"again!\""))) << qPrintable(misfits[0].why);

    label->setText(QStringLiteral("<font color = #FF0000>%1</font>").arg(pages::lastWordsTogether(line)));
    EXPECT_TRUE(loneWordsIn().empty());
}

// A Chinese text may break between any two characters: a line of one or
// two characters left at its end is named too, one of three is not.
TEST_F(SmallWindow, AChineseLineOfAPieceLeftAloneIsNamed)
{
    QLabel* label = add<QLabel>(QStringLiteral("label_tip"), QRect(0, 0, 200, 60));
    label->setFont(pixels(12));
    label->setWordWrap(true);
    label->setText(QStringLiteral("网口LED3上未发现接收卡。"));
    std::vector<TextMisfit> misfits;
    for (int width = 200; width >= 100 && misfits.empty(); width -= 2) {
        label->setFixedWidth(width);
        misfits = loneWordsIn();
    }
    ASSERT_EQ(misfits.size(), 1u);
    EXPECT_TRUE(misfits[0].why.contains(QStringLiteral("\"卡。\""))) << qPrintable(misfits[0].why);

    label->setText(QStringLiteral("网口LED3上未发现\n接收卡。"));
    EXPECT_TRUE(loneWordsIn().empty());
}

// What a red line keeps together ('_' for a no-break space): its last two
// words, and the clause after its last comma, which may go to a line of its
// own but is never broken ("install / it again!", "hãy / cài lại!").
TEST(LastWordsTogether, TheClosingClauseAndTheLastTwoWordsStayOnOneLine)
{
    const struct {
        const char* given;
        const char* shown;
    } cases[] = {
        {"FPGA 2 new program not verified, install it again!", "FPGA 2 new program not verified, install_it_again!"},
        {"FPGA 1, 2: chương trình không hoàn chỉnh, hãy cài lại!",
         "FPGA 1, 2: chương trình không hoàn chỉnh, hãy_cài_lại!"},
        {"Keep power on until the record is saved!", "Keep power on until the record is_saved!"},
        {"Font not updated, again!", "Font not updated,_again!"},
        {"FPGA 1, 2 程序不完整，请重新升级!", "FPGA 1, 2_程序不完整，请重新升级!"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pages::lastWordsTogether(QString::fromUtf8(c.given)).replace(QChar(QChar::Nbsp), QLatin1Char('_')),
                  QString::fromUtf8(c.shown));
}

TEST_F(SmallWindow, ButtonsListEntriesAndHiddenWidgets)
{
    QPushButton* button = add<QPushButton>(QStringLiteral("Button_save"), QRect(0, 0, 40, 24));
    button->setFont(pixels(12));
    button->setText(QStringLiteral("Сохранить"));
    QComboBox* box = add<QComboBox>(QStringLiteral("comboBox_type"), QRect(0, 40, 120, 24));
    box->setFont(pixels(12));
    box->addItems({QStringLiteral("Warm"), QStringLiteral("Природный природный природный")});
    QLabel* hidden = add<QLabel>(QStringLiteral("label_hidden"), QRect(0, 70, 10, 10));
    hidden->setText(QStringLiteral("never shown"));
    hidden->hide();

    QStringList names;
    for (const TextMisfit& m : look())
        names << m.widget + QLatin1Char(':') + m.text;
    EXPECT_EQ(names, (QStringList{QStringLiteral("Window/Button_save:Сохранить"),
                                  QStringLiteral("Window/comboBox_type:Природный природный природный")}));
}

// A word in a picture is measured as the picture shows it: a design box
// that draws at half size halves its font too.
TEST(PictureText, TooWideOrTooSmallOnThePictureIsReported)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(9);
    EXPECT_TRUE(pictureTextMisfit(QStringLiteral("Input and output"), font, QRectF(2, 0, 36, 15), 1.0)
                    .startsWith(QStringLiteral("needs")));
    font.setPixelSize(16);
    EXPECT_EQ(pictureTextMisfit(QStringLiteral("OK"), font, QRectF(0, 0, 100, 30), 0.5),
              QStringLiteral("drawn at 8 px"));
}

}  // namespace
