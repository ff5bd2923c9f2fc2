// The overlay description file: what the reader takes from a file, and
// that a file it cannot read changes nothing but itself.
#include "tests/support/box_test.h"

#include "tests/videochip/overlay_json.h"
#include "videochip/omenu.h"

namespace {

constexpr const char* kMain = "/data/configs/omenu.json";
constexpr const char* kModeCopy = "/data/modes/MO01.json";

std::string textEntry(const std::string& texts = "[\"HELLO\"]", const std::string& x = "10")
{
    OverlayText t;
    t.texts = texts;
    t.x = x;
    t.effect = 1;
    t.speed = 5;
    t.wordspace = 2;
    t.verticalspace = 3;
    return t.json();
}

std::string bitmapEntry()
{
    return R"({"type":1,"status":"off","pos":{"x":1,"y":2,"w":3,"h":4},"act":{"effect":2,"speed":1,"staytime":9},
        "bmppara":{},"start":"7","end":8})";
}

class OmenuTest : public BoxTest {
protected:
    bool read(const char* path = kMain) { return get_json_omenu_para(path, &list); }
    OSD_LIST list;
};

}  // namespace

TEST_F(OmenuTest, ReadsUpToThreeEntriesAndABitmapLeavesTheTextFields)
{
    list.osd[1].texts = "earlier";
    writeBoxFile(kMain, overlayFile(textEntry() + "," + bitmapEntry() + "," + textEntry("[\"THIRD\"]", "\"30\"") + "," +
                                    textEntry("[\"FOURTH\"]")));
    ASSERT_TRUE(read());
    const OMENU_PARA& t = list.osd[0];
    EXPECT_EQ(t.osdcount, 1);
    EXPECT_EQ(t.oactcount, 2);
    EXPECT_EQ(t.status, "on");
    EXPECT_EQ(std::vector<int>({t.pos_x, t.pos_y, t.pos_w, t.pos_h, t.effect, t.speed, t.startx, t.starty, t.fontw,
                                t.fonth, t.wordspace, t.verticalspace}),
              std::vector<int>({10, 20, 300, 64, 1, 5, 4, 6, 64, 64, 2, 3}));
    EXPECT_EQ(t.backpara_color, "102030");
    EXPECT_EQ(t.font_color, "FF0000");
    EXPECT_EQ(t.backpara_layer, "");
    EXPECT_EQ(t.texts, "HELLO");
    // The bitmap entry: its own fields, integers given as strings too.
    EXPECT_EQ(list.osd[1].type, 1);
    EXPECT_EQ(list.osd[1].start, 7);
    EXPECT_EQ(list.osd[1].staytime, 9);
    EXPECT_EQ(list.osd[1].texts, "earlier");
    EXPECT_EQ(list.osd[2].pos_x, 30);
    EXPECT_EQ(list.osd[2].texts, "THIRD");  // the fourth is not read
    EXPECT_EQ(readBoxFile(kMain).empty(), false);
}

TEST_F(OmenuTest, TextsAndCountsThatReadAsNothing)
{
    const struct {
        const char* texts;
        const char* want;
    } cases[] = {{"[]", ""}, {"\"plain\"", ""}, {"[\"A\\nB\", \"second\"]", "A\nB"}};
    for (const auto& c : cases) {
        list.osd[0].texts = "before";
        writeBoxFile(kMain, overlayFile(textEntry(c.texts)));
        ASSERT_TRUE(read()) << c.texts;
        EXPECT_EQ(list.osd[0].texts, c.want) << c.texts;
    }
    // No overlay: nothing beyond the counts is looked at.
    writeBoxFile(kMain, R"({"name":"n","osdcount":0,"oactcount":0,"menu":"anything"})");
    EXPECT_TRUE(read());
    EXPECT_EQ(list.osd[0].osdcount, 0);
    EXPECT_EQ(list.osd[0].texts, "A\nB");
}

TEST_F(OmenuTest, AFileThatCannotBeReadLeavesTheListAndOnlyThatFileIsRemoved)
{
    const struct {
        const char* what;
        std::string json;
    } cases[] = {
        {"bad JSON", "{\"name\":\"x\",\"osdcount\":1"},
        {"missing key", R"({"name":"x","osdcount":1,"menu":[]})"},
        {"missing entry key", overlayFile(R"({"type":0,"status":"on"})")},
        {"integer that is not one", overlayFile(textEntry("[\"A\"]", "\"1x\""))},
        {"fraction", overlayFile(textEntry("[\"A\"]", "1.5"))},
        {"object for a number", overlayFile(textEntry("[\"A\"]", "{\"v\":1}"))},
        {"string for an object", overlayFile(R"({"type":0,"status":"on","pos":"here"})")},
        {"no menu", R"({"name":"x","osdcount":2,"oactcount":0})"},
        {"empty menu", R"({"name":"x","osdcount":1,"oactcount":1,"menu":[]})"},
        {"nested too deep",
         [] {
             std::string deep;
             for (int i = 0; i < 100000; ++i)
                 deep += "{\"a\":";
             return deep;
         }()},
    };
    writeBoxFile(kMain, overlayFile(textEntry()));
    ASSERT_TRUE(read());
    const OSD_LIST good = list;
    for (const auto& c : cases) {
        writeBoxFile(kModeCopy, c.json);
        EXPECT_FALSE(read(kModeCopy)) << c.what;
        EXPECT_EQ(list.osd[0].osdcount, 0) << c.what;
        EXPECT_EQ(list.osd[0].texts, good.osd[0].texts) << c.what;
        EXPECT_EQ(list.osd[0].pos_x, good.osd[0].pos_x) << c.what;
        EXPECT_FALSE(platform::exists(kModeCopy)) << c.what;
        EXPECT_TRUE(platform::exists(kMain)) << c.what;  // the live overlay file stays
        list = good;
    }
    EXPECT_TRUE(journalWith("rm").empty());
    // A missing file is no error to act on: nothing is removed or changed.
    EXPECT_FALSE(read(kModeCopy));
    EXPECT_EQ(list.osd[0].osdcount, 0);
    EXPECT_EQ(list.osd[0].texts, good.osd[0].texts);
}

TEST(OmenuHelpers, ColoursEffectsAndLines)
{
    const struct {
        const char* in;
        u32 out;
    } colours[] = {{"FF0000", 0x0000FF}, {"0x123456", 0x563412}, {"00ff00", 0x00FF00}, {"red", 0}, {"", 0}};
    for (const auto& c : colours)
        EXPECT_EQ(omenu::chipColour(c.in), c.out) << c.in;
    const int scroll[] = {0, 3, 4, 1, 2, -1};
    for (int e = 0; e < 6; ++e)
        EXPECT_EQ(omenu::scrollModeOfEffect(e), scroll[e]) << e;
    EXPECT_EQ(omenu::scrollModeOfEffect(-1), -1);

    EXPECT_EQ(omenu::textLines("AB\n\n\xE4\xB8\xAD"), (std::vector<std::u32string>{U"AB", U"", U"\u4E2D"}));
    std::string many;
    for (int i = 0; i < 70; ++i)
        many += std::string(200, 'x') + "\n";
    const auto lines = omenu::textLines(many);
    ASSERT_EQ(lines.size(), size_t(omenu::kMaxLines));
    EXPECT_EQ(lines[63].size(), size_t(omenu::kMaxLineChars));
}
