#include "platform/sim/sim_x518_card.h"

#include "platform/sim/sim_x518_canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace platform::sim {
namespace {

// A 5 x 7 font for what the card writes: each glyph seven rows, bit 4 the
// left dot.
struct Glyph {
    char c;
    uint8_t rows[7];
};
constexpr Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'D', {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'@', {0x0E, 0x11, 0x17, 0x15, 0x17, 0x10, 0x0E}}, {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
};
constexpr int kGlyphW = 5, kGlyphH = 7, kGlyphAdvance = 6;

const Glyph* glyphOf(char c)
{
    for (const Glyph& g : kFont)
        if (g.c == c)
            return &g;
    return nullptr;  // a space
}

// Proportions of the card, in parts of its height (or width).
constexpr int kCornerDiv = 10;  // corner marks: a tenth of the shorter side
constexpr int kCellDiv = 16;    // sixteen grid cells across
constexpr int kRampTop = 11, kRampBottom = 13, kBarBottom = 14, kBands = 16;  // sixteenths of the height
constexpr int kTitleTop = 2, kCounterTop = 7;
constexpr int kBarWidthDiv = 16;
constexpr int kBarFrames = 64;   // frames the bar takes to cross the card
constexpr int kTextLines = 108;  // glyph dots the height holds: a 1080-line card writes 10-pixel dots
constexpr int kCounterDigits = 6;
constexpr const char* kPortNames[] = {"HDMI2", "HDMI1", "DVI", "PORT 3", "PORT 4", "HDMI3"};

uint32_t darker(uint32_t c)
{
    return 0xFF000000 | ((c >> 1) & 0x7F7F7F);
}

int textWidth(const std::string& text, int scale)
{
    return text.empty() ? 0 : (int(text.size()) * kGlyphAdvance - 1) * scale;
}

std::string titleOf(int port, int width, int height, double rate)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s %dX%d@%gHZ", cardPortName(port).c_str(), width, height, rate);
    return buf;
}

}  // namespace

CardLayout::CardLayout(int w, int h) : width(w), height(h)
{
    corner = std::max(1, std::min(w, h) / kCornerDiv);
    cell = std::max(2, w / kCellDiv);
    gridLine = std::max(1, cell / 32);
    rampTop = h * kRampTop / kBands;
    rampBottom = h * kRampBottom / kBands;
    barTop = rampBottom;
    barBottom = h * kBarBottom / kBands;
    barWidth = std::max(1, w / kBarWidthDiv);
    barStep = std::max(1, w / kBarFrames);
    textScale = std::max(1, h / kTextLines);
    titleTop = h * kTitleTop / kBands;
    counterTop = h * kCounterTop / kBands;
    counterBottom = counterTop + (kGlyphH + 2) * textScale;
}

int CardLayout::barAt(uint64_t frame) const
{
    return int((frame * uint64_t(barStep)) % uint64_t(width));
}

std::string cardPortName(int port)
{
    return port >= 0 && port < int(std::size(kPortNames)) ? kPortNames[port] : "PORT";
}

TestCard::TestCard(int port, int width, int height, double rate, uint64_t frame, bool plain)
    : layout_(std::max(width, 0), std::max(height, 0)), plain_(plain), ground_(portColour(port)),
      grid_(darker(ground_)), bar_(layout_.width > 0 ? layout_.barAt(frame) : 0)
{
    const int scale = layout_.textScale;
    title_.chars = titleOf(port, width, height, rate);
    title_.width = textWidth(title_.chars, scale);
    title_.x = (width - title_.width) / 2;
    title_.y = layout_.titleTop;
    char digits[32];
    std::snprintf(digits, sizeof digits, "FRAME %0*llu", kCounterDigits, static_cast<unsigned long long>(frame));
    counter_.chars = digits;
    counter_.width = textWidth(counter_.chars, scale);
    counter_.x = (width - counter_.width) / 2;
    counter_.y = layout_.counterTop + scale;
    boxX0_ = counter_.x - scale;
    boxX1_ = counter_.x + counter_.width + scale;
}

// Whether a dot of text `t` covers x, y: glyphs kGlyphAdvance dots apart,
// each dot textScale pixels square.
bool TestCard::textAt(const Text& t, int x, int y) const
{
    const int scale = layout_.textScale;
    if (x < t.x || y < t.y || x >= t.x + t.width || y >= t.y + kGlyphH * scale)
        return false;
    const int cell = kGlyphAdvance * scale;
    const size_t i = size_t((x - t.x) / cell);
    const int dot = (x - t.x) % cell / scale, row = (y - t.y) / scale;
    const Glyph* g = i < t.chars.size() ? glyphOf(t.chars[i]) : nullptr;
    return g && dot < kGlyphW && (g->rows[row] & (0x10 >> dot));
}

// The card's parts, the one drawn last on top: the corner marks, the frame
// counter on its box, the title, the bar on its track, the grey ramp, the
// grid, the port's colour.
uint32_t TestCard::at(int x, int y) const
{
    if (plain_)
        return ground_;
    const CardLayout& l = layout_;
    const int w = l.width, h = l.height, c = l.corner;
    const bool right = x >= w - c, bottom = y >= h - c;
    if (right && bottom)
        return kCardBottomRight;
    if (x < c && bottom)
        return kCardBottomLeft;
    if (right && y < c)
        return kCardTopRight;
    if (x < c && y < c)
        return kCardTopLeft;
    if (textAt(counter_, x, y))
        return kCardText;
    if (y >= l.counterTop && y < l.counterBottom && x >= boxX0_ && x < boxX1_)
        return kCardCounterBox;
    if (textAt(title_, x, y))
        return kCardText;
    if (y >= l.barTop && y < l.barBottom) {
        const bool bar = (x >= bar_ && x < bar_ + l.barWidth) || (x >= bar_ - w && x < bar_ + l.barWidth - w);
        return bar ? kCardBar : kCardBarTrack;
    }
    if (y >= l.rampTop && y < l.rampBottom) {
        const uint32_t v = w > 1 ? uint32_t(x * 255 / (w - 1)) : 0;
        return 0xFF000000 | v << 16 | v << 8 | v;
    }
    if (x % l.cell < l.gridLine || y % l.cell < l.gridLine)
        return grid_;
    return ground_;
}

Canvas drawTestCard(int port, int width, int height, double rate, uint64_t frame, bool plain)
{
    Canvas c;
    if (width < 1 || height < 1)
        return c;
    const TestCard card(port, width, height, rate, frame, plain);
    c.width = width;
    c.height = height;
    c.pixels.resize(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            c.pixels[size_t(y) * size_t(width) + size_t(x)] = card.at(x, y);
    return c;
}

}  // namespace platform::sim
