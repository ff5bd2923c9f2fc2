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

class Painter {
public:
    explicit Painter(Canvas& c) : c_(c) {}
    void fill(int x0, int y0, int x1, int y1, uint32_t colour)
    {
        x0 = std::max(x0, 0), y0 = std::max(y0, 0);
        x1 = std::min(x1, c_.width), y1 = std::min(y1, c_.height);
        for (int y = y0; y < y1; ++y)
            std::fill(row(y) + x0, row(y) + std::max(x0, x1), colour);
    }
    // `text` from x, y, each glyph dot `scale` pixels; returns the width.
    int text(int x, int y, const std::string& text, int scale, uint32_t colour)
    {
        for (size_t i = 0; i < text.size(); ++i) {
            const Glyph* g = glyphOf(text[i]);
            const int gx = x + int(i) * kGlyphAdvance * scale;
            for (int r = 0; g && r < kGlyphH; ++r)
                for (int d = 0; d < kGlyphW; ++d)
                    if (g->rows[r] & (0x10 >> d))
                        fill(gx + d * scale, y + r * scale, gx + (d + 1) * scale, y + (r + 1) * scale, colour);
        }
        return textWidth(text, scale);
    }
    static int textWidth(const std::string& text, int scale)
    {
        return text.empty() ? 0 : (int(text.size()) * kGlyphAdvance - 1) * scale;
    }

private:
    std::vector<uint32_t>::iterator row(int y) { return c_.pixels.begin() + ptrdiff_t(y) * c_.width; }
    Canvas& c_;
};

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

Canvas drawTestCard(int port, int width, int height, double rate, uint64_t frame, bool plain)
{
    Canvas c;
    if (width < 1 || height < 1)
        return c;
    c.width = width;
    c.height = height;
    const uint32_t ground = portColour(port);
    c.pixels.assign(size_t(width) * size_t(height), ground);
    if (plain)
        return c;
    const CardLayout l(width, height);
    Painter p(c);
    const uint32_t grid = darker(ground);
    for (int x = 0; x < width; x += l.cell)
        p.fill(x, 0, x + l.gridLine, height, grid);
    for (int y = 0; y < height; y += l.cell)
        p.fill(0, y, width, y + l.gridLine, grid);
    for (int x = 0; x < width; ++x) {
        const uint32_t v = width > 1 ? uint32_t(x * 255 / (width - 1)) : 0;
        p.fill(x, l.rampTop, x + 1, l.rampBottom, 0xFF000000 | v << 16 | v << 8 | v);
    }
    p.fill(0, l.barTop, width, l.barBottom, kCardBarTrack);
    const int bar = l.barAt(frame);
    p.fill(bar, l.barTop, bar + l.barWidth, l.barBottom, kCardBar);
    p.fill(bar - width, l.barTop, bar + l.barWidth - width, l.barBottom, kCardBar);  // wrapping round

    const std::string title = titleOf(port, width, height, rate);
    p.text((width - Painter::textWidth(title, l.textScale)) / 2, l.titleTop, title, l.textScale, kCardText);
    char digits[32];
    std::snprintf(digits, sizeof digits, "FRAME %0*llu", kCounterDigits, static_cast<unsigned long long>(frame));
    const int w = Painter::textWidth(digits, l.textScale);
    const int x = (width - w) / 2;
    p.fill(x - l.textScale, l.counterTop, x + w + l.textScale, l.counterBottom, kCardCounterBox);
    p.text(x, l.counterTop + l.textScale, digits, l.textScale, kCardText);

    p.fill(0, 0, l.corner, l.corner, kCardTopLeft);
    p.fill(width - l.corner, 0, width, l.corner, kCardTopRight);
    p.fill(0, height - l.corner, l.corner, height, kCardBottomLeft);
    p.fill(width - l.corner, height - l.corner, width, height, kCardBottomRight);
    return c;
}

}  // namespace platform::sim
