// Looking at what the simulated chip put on the LED canvas: where a colour
// lies, how a window's pixels compare with the test card of its input
// (placed, scaled, cropped and mirrored as expected), and blends.
#pragma once

#include "platform/platform.h"
#include "platform/sim/sim_x518_card.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <ostream>

namespace canvasprobe {

// Half-open area x, y, w x h.
struct Box {
    int x = 0, y = 0, w = 0, h = 0;
    bool operator==(const Box& o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
};
inline std::ostream& operator<<(std::ostream& o, const Box& b)
{
    return o << b.x << "," << b.y << " " << b.w << "x" << b.h;
}

// Where `colour` shows inside `within` (the whole canvas when empty), and
// how many pixels have it.
struct Found {
    Box bounds;
    long count = 0;
};
inline Found find(const platform::Canvas& c, uint32_t colour, Box within = {})
{
    if (within.w == 0)
        within = {0, 0, c.width, c.height};
    int x0 = c.width, y0 = c.height, x1 = -1, y1 = -1;
    Found f;
    for (int y = within.y; y < within.y + within.h; ++y)
        for (int x = within.x; x < within.x + within.w; ++x)
            if (c.at(x, y) == colour) {
                ++f.count;
                x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
            }
    if (f.count)
        f.bounds = {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
    return f;
}

// `top` over `below` at `weight` of 128, as a mixer blends them.
inline uint32_t blendOf(uint32_t top, uint32_t below, int weight)
{
    uint32_t out = 0xFF000000;
    for (int shift = 0; shift < 24; shift += 8) {
        const int a = int((top >> shift) & 0xFF), b = int((below >> shift) & 0xFF);
        out |= uint32_t(std::min((a * weight + b * (128 - weight)) / 128, 0xFF)) << shift;
    }
    return out;
}

// Whether pixels `a` and `b` hold the same picture inside `area`.
inline bool samePicture(const platform::Canvas& a, const platform::Canvas& b, Box area)
{
    for (int y = area.y; y < area.y + area.h; ++y)
        for (int x = area.x; x < area.x + area.w; ++x)
            if (a.at(x, y) != b.at(x, y))
                return false;
    return true;
}

// How a window should show its input's card: the part `from` of the card
// scaled to the window `to` on the canvas, mirrored across and/or down.
struct Mapping {
    Box to;
    Box from;
    bool mirrorH = false, mirrorV = false;
};

// Samples the window every `step` pixels and counts those that differ from
// the card pixel the mapping puts there. Only points where the card is one
// colour for `margin` pixels around, and outside the lines that change with
// the frame, count, so rounding of a scale by a pixel cannot matter;
// `checked` says how many did. `visible`, when given, says which canvas
// points of the window show (not covered by a window on top).
inline long mismatches(const platform::Canvas& shown, const platform::Canvas& card, const Mapping& m, int step,
                       long* checked = nullptr, int margin = 2, const std::function<bool(int, int)>& visible = nullptr)
{
    long bad = 0, seen = 0;
    // The frame counter and the bar change with every frame.
    const platform::sim::CardLayout l(card.width, card.height);
    auto live = [&](int cy) {
        return (cy >= l.counterTop - margin && cy < l.counterBottom + margin) ||
               (cy >= l.barTop - margin && cy < l.barBottom + margin);
    };
    auto flat = [&](int cx, int cy) {
        const uint32_t v = card.at(cx, cy);
        for (int dy = -margin; dy <= margin; ++dy)
            for (int dx = -margin; dx <= margin; ++dx) {
                const int x = cx + dx, y = cy + dy;
                if (x < 0 || y < 0 || x >= card.width || y >= card.height || card.at(x, y) != v)
                    return false;
            }
        return true;
    };
    for (int y = m.to.y + step / 2; y < m.to.y + m.to.h; y += step)
        for (int x = m.to.x + step / 2; x < m.to.x + m.to.w; x += step) {
            int u = int(int64_t(x - m.to.x) * m.from.w / m.to.w);
            int v = int(int64_t(y - m.to.y) * m.from.h / m.to.h);
            if (m.mirrorH)
                u = m.from.w - 1 - u;
            if (m.mirrorV)
                v = m.from.h - 1 - v;
            const int cx = m.from.x + u, cy = m.from.y + v;
            if (live(cy) || !flat(cx, cy) || (visible && !visible(x, y)))
                continue;
            ++seen;
            if (shown.at(x, y) != card.at(cx, cy))
                ++bad;
        }
    if (checked)
        *checked = seen;
    return bad;
}

// mismatches() as an assertion: none, and more than `least` points looked at.
inline ::testing::AssertionResult showsCard(const platform::Canvas& shown, const platform::Canvas& card,
                                            const Mapping& m, int step, long least,
                                            const std::function<bool(int, int)>& visible = nullptr)
{
    long checked = 0;
    const long bad = mismatches(shown, card, m, step, &checked, 2, visible);
    if (bad == 0 && checked > least)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << bad << " of " << checked << " points at " << m.to
                                         << " differ from the card";
}

}  // namespace canvasprobe
