// The overlay description file: reader and applier.
#include "videochip/omenu.h"

#include "app/bounded_json.h"
#include "app/kelrampara.h"
#include "platform/platform.h"
#include "videochip/x518_manage.h"
#include "videochip/x518_osd.h"

#include <QString>
#include <QVector>
#include <boost/property_tree/ptree.hpp>
#include <algorithm>
#include <cstdlib>
#include <memory>

OSD_LIST g_osd_list = boxstate::startValue(g_osd_list, OSD_LIST{});

namespace {

namespace pt = boost::property_tree;

constexpr int kTypeText = 0;
constexpr int kTypeBitmap = 1;
constexpr char32_t kLineBreak = U'\n';

const char* const kStatusOn = "on";
const char* const kBackgroundOff = "off";
const char* const kLayerBelow = "buttom";

// Character sizes of the file and what each asks of the engine.
struct FontSize {
    int w, h;
    int zoom;  // -1: zooms left as they are
    int char64;
};
constexpr FontSize kFontSizes[] = {
    {32, 32, 0, 0}, {64, 64, 0, 1}, {128, 128, 1, 1},  // 64-dot characters shown at twice their size
};
constexpr FontSize kOtherFontSize = {0, 0, -1, 0};

// Scroll mode of each effect 0-4.
constexpr int kScrollOfEffect[] = {0, 3, 4, 1, 2};

void readPos(const pt::ptree& e, OMENU_PARA& o)
{
    const pt::ptree& pos = e.get_child("pos");
    o.pos_x = pos.get<int>("x");
    o.pos_y = pos.get<int>("y");
    o.pos_w = pos.get<int>("w");
    o.pos_h = pos.get<int>("h");
}

void readAct(const pt::ptree& e, OMENU_PARA& o)
{
    const pt::ptree& act = e.get_child("act");
    o.effect = act.get<int>("effect");
    o.speed = act.get<int>("speed");
    o.staytime = act.get<int>("staytime");
}

void readTextEntry(const pt::ptree& e, OMENU_PARA& o)
{
    readPos(e, o);
    o.backpara_layer = e.get_child("pos").get<std::string>("layer", "");
    readAct(e, o);
    const pt::ptree& back = e.get_child("backpara");
    o.backpara_enable = back.get<std::string>("enable");
    o.backpara_color = back.get<std::string>("color");
    const pt::ptree& font = e.get_child("fontpara");
    o.startx = font.get<int>("startx");
    o.starty = font.get<int>("starty");
    o.fontw = font.get<int>("fontw");
    o.fonth = font.get<int>("fonth");
    o.wordspace = font.get<int>("wordspace");
    o.verticalspace = font.get<int>("verticalspace");
    o.font_color = font.get<std::string>("color");
    // An array without an element, or a plain string, is an empty text.
    const pt::ptree& texts = e.get_child("texts");
    o.texts = texts.empty() ? std::string() : texts.front().second.data();
}

void readBitmapEntry(const pt::ptree& e, OMENU_PARA& o)
{
    readPos(e, o);
    readAct(e, o);
    e.get_child("bmppara");
    o.start = e.get<int>("start");
    o.end = e.get<int>("end");
}

void readEntry(const pt::ptree& e, OMENU_PARA& o)
{
    o.type = e.get<int>("type");
    o.status = e.get<std::string>("status");
    if (o.type == kTypeText)
        readTextEntry(e, o);
    else if (o.type == kTypeBitmap)
        readBitmapEntry(e, o);
}

void traceEntry(int n, const OMENU_PARA& o)
{
    KEL_DBG("\n================ osd%d ================\n", n);
    KEL_DBG("type:%d status:%s pos:%d,%d %dx%d layer:%s\n", o.type, o.status.c_str(), o.pos_x, o.pos_y, o.pos_w,
            o.pos_h, o.backpara_layer.c_str());
    KEL_DBG("effect:%d speed:%d staytime:%d back:%s %s\n", o.effect, o.speed, o.staytime, o.backpara_enable.c_str(),
            o.backpara_color.c_str());
    KEL_DBG("font:%dx%d start:%d,%d space:%d,%d color:%s\ntexts:%s\n", o.fontw, o.fonth, o.startx, o.starty,
            o.wordspace, o.verticalspace, o.font_color.c_str(), o.texts.c_str());
    KEL_DBG("bitmap start:%d end:%d\n", o.start, o.end);
    KEL_DBG("================ osd%d ================\n", n);
}

// Reads the parsed document into `list`; throws pt::ptree_error when it
// does not follow the schema.
void readList(const pt::ptree& root, OSD_LIST& list)
{
    const std::string name = root.get<std::string>("name");
    OMENU_PARA& first = list.osd[0];
    first.osdcount = root.get<int>("osdcount");
    first.oactcount = root.get<int>("oactcount");
    KEL_DBG("\n[get_json_omenu_para] name:%s osdcount:%d oactcount:%d\n", name.c_str(), first.osdcount,
            first.oactcount);
    if (first.osdcount == 0)
        return;
    // An overlay without an entry has nothing to draw: the file lacks what
    // it needs, as one without "menu" does.
    const pt::ptree& menu = root.get_child("menu");
    if (menu.empty())
        throw pt::ptree_bad_path("an empty \"menu\"", pt::ptree::path_type("menu"));
    int n = 0;
    for (const auto& element : menu) {
        if (n == OSD_LIST::kEntries)
            break;
        readEntry(element.second, list.osd[n]);
        traceEntry(n + 1, list.osd[n]);
        ++n;
    }
}

// Reads the parsed document into `list`; the reason when it is refused.
bool readDocument(const pt::ptree& root, OSD_LIST& list, std::string* reason)
{
    try {
        readList(root, list);
    } catch (const pt::ptree_error& e) {
        *reason = e.what();
        return false;
    }
    return true;
}

void set(x518_manage* m, OsdOption option, int value)
{
    m->kelApi_OsdSet(option, value);
}

void applyFontSize(x518_manage* m, int w, int h)
{
    FontSize size = kOtherFontSize;
    for (const FontSize& f : kFontSizes)
        if (f.w == w && f.h == h)
            size = f;
    if (size.zoom >= 0) {
        set(m, kOsdHZoom, size.zoom);
        set(m, kOsdVZoom, size.zoom);
    }
    set(m, kOsdChar64, size.char64);
}

void applyText(x518_manage* m, const std::string& texts)
{
    std::unique_ptr<wchar_t[][omenu::kMaxLineChars]> lines(new wchar_t[omenu::kMaxLines][omenu::kMaxLineChars]());
    int lengths[omenu::kMaxLines] = {};
    const std::vector<std::u32string> split = omenu::textLines(texts);
    for (size_t i = 0; i < split.size(); ++i) {
        lengths[i] = int(split[i].size());
        std::copy(split[i].begin(), split[i].end(), lines[i]);
    }
    m->kelApi_OsdSetUnicode(int(split.size()), lengths, lines.get());
}

}  // namespace

// ------------------------------------------------------------------ helpers

u32 omenu::chipColour(const std::string& rrggbb)
{
    const long long c = std::strtoll(rrggbb.c_str(), nullptr, 16);
    return u32((c >> 16) & 0xFF) | u32(c & 0xFF) << 16 | u32(c & 0xFF00);
}

int omenu::scrollModeOfEffect(int effect)
{
    const int n = int(sizeof kScrollOfEffect / sizeof kScrollOfEffect[0]);
    return effect >= 0 && effect < n ? kScrollOfEffect[effect] : -1;
}

std::vector<std::u32string> omenu::textLines(const std::string& utf8)
{
    const QVector<uint> codes = QString::fromUtf8(utf8.data(), int(utf8.size())).toUcs4();
    std::vector<std::u32string> lines(1);
    for (uint c : codes) {
        if (c == kLineBreak) {
            if (int(lines.size()) == kMaxLines)
                break;
            lines.emplace_back();
        } else if (int(lines.back().size()) < kMaxLineChars) {
            lines.back().push_back(char32_t(c));
        }
    }
    return lines;
}

// ------------------------------------------------------------------ reader

bool get_json_omenu_para(const char* path, OSD_LIST* list)
{
    if (!path || !list)
        return false;
    list->osd[0].osdcount = 0;
    pt::ptree root;
    std::string reason;
    switch (boundedJson::readFile(path, root, &reason)) {
    case boundedJson::FileRead::Missing: return false;
    case boundedJson::FileRead::Read: {
        // Read into a copy: a file that fails half-way changes nothing.
        OSD_LIST read = *list;
        if (readDocument(root, read, &reason)) {
            *list = read;
            return true;
        }
        break;
    }
    case boundedJson::FileRead::Refused: break;
    }
    KEL_DBG("json error: %s refused and removed: %s\n", path, reason.c_str());
    writeLogMsg(LOG_WARNING, std::string("overlay file refused and removed: ") + path + ": " + reason);
    platform::removeFile(path);
    return false;
}

std::string omenu::fault(const std::string& text)
{
    pt::ptree root;
    OSD_LIST scratch;
    std::string reason;
    if (!boundedJson::parse(text, root, &reason) || !readDocument(root, scratch, &reason))
        return reason;
    return std::string();
}

// ------------------------------------------------------------------ applier

void set_OSD_para(OMENU_PARA* entry)
{
    x518_manage* m = x518_manage::p_x518_manage;
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!entry || !m || entry->osdcount == 0)
        return;
    if (store) {
        entry->pos_w = std::min<i32>(entry->pos_w, store->ram_para.led_width);
        entry->pos_y = std::min<i32>(entry->pos_y, store->ram_para.led_height);
    }
    m->load_char();
    set(m, kOsdOutputX, entry->pos_x);
    set(m, kOsdOutputWidth, entry->pos_w);
    set(m, kOsdOutputY, entry->pos_y);
    set(m, kOsdOutputHeight, entry->pos_h);
    set(m, kOsdInputX, entry->pos_x);
    set(m, kOsdInputWidth, entry->pos_w);
    set(m, kOsdInputY, entry->pos_y);
    set(m, kOsdInputHeight, entry->pos_h);
    set(m, kOsdTextMode, entry->type == kTypeText ? 1 : 0);
    applyFontSize(m, entry->fontw, entry->fonth);
    set(m, kOsdTextX, entry->startx);
    set(m, kOsdTextY, entry->starty);
    applyText(m, entry->texts);
    set(m, kOsdCharColour, int(omenu::chipColour(entry->font_color)));
    set(m, kOsdScrollSpeed, int(u32(entry->speed) * 10u));  // the register keeps the low 8 bits
    if (entry->backpara_enable != kBackgroundOff) {
        set(m, kOsdBackColour, int(omenu::chipColour(entry->backpara_color)));
        set(m, kOsdBackTransparent, 0);
    } else {
        set(m, kOsdBackTransparent, 1);
    }
    const int scroll = omenu::scrollModeOfEffect(entry->effect);
    if (scroll >= 0)
        set(m, kOsdScrollMode, scroll);
    set(m, kOsdDisplay, entry->status == kStatusOn ? 1 : 0);
    set(m, kOsdBottomLayer, entry->backpara_layer == kLayerBelow ? 1 : 0);
    set(m, kOsdWordSpace, entry->wordspace);
    set(m, kOsdLineSpace, entry->verticalspace);
}

// The apply pass's service of g_osd_update. An overlay with nothing to show
// (no description, one refused, or "osdcount" 0) shows what a start with it
// on shows, the input: the OSD goes back to what a start leaves. What an
// earlier description drew does not stay on, as it would not over a
// restart.
void x518_manage::load_overlay_file()
{
    if (get_json_omenu_para(KelRamPara::kOverlayFile, &g_osd_list) && g_osd_list.osd[0].osdcount != 0) {
        set_OSD_para(&g_osd_list.osd[0]);
        return;
    }
    osdAsStarted();
}
