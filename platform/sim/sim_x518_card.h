// The picture each plugged input of the simulated box carries: a test card
// at the signal's size that shows position, scale and orientation, with a
// part that changes every frame so that a held picture can be told from a
// live one. docs/simulated-box.md shows its layout.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <string>

namespace platform::sim {

// The card's marks, 0xFFRRGGBB.
constexpr uint32_t kCardTopLeft = 0xFFFF8000;      // orange
constexpr uint32_t kCardTopRight = 0xFFFF00FF;     // magenta
constexpr uint32_t kCardBottomLeft = 0xFF00FFFF;   // cyan
constexpr uint32_t kCardBottomRight = 0xFFFFFF00;  // yellow
constexpr uint32_t kCardBar = 0xFFFFFFFF;          // the moving bar
constexpr uint32_t kCardBarTrack = 0xFF202020;     // what the bar moves over
constexpr uint32_t kCardText = 0xFFFFFFFF;
constexpr uint32_t kCardCounterBox = 0xFF000000;  // behind the frame counter

// Where the card's parts lie on a card of a given size, in card pixels.
struct CardLayout {
    int width = 0, height = 0;
    int corner = 0;  // side of the corner marks
    int cell = 0;    // grid pitch; grid lines are gridLine wide
    int gridLine = 0;
    int rampTop = 0, rampBottom = 0;  // the grey ramp: black at the left, white at the right
    int barTop = 0, barBottom = 0;    // the bar's track
    int barWidth = 0;
    int barStep = 0;     // pixels the bar moves per frame
    int textScale = 0;   // font pixels per glyph dot
    int titleTop = 0;    // name and timing
    int counterTop = 0;  // the frame counter's box
    int counterBottom = 0;
    explicit CardLayout(int w, int h);
    // The bar's first pixel at a frame.
    int barAt(uint64_t frame) const;
};

// The name the card writes for input port `port` (0-5).
std::string cardPortName(int port);

// Port `port`'s card at `width` x `height` for frame `frame`, a pixel at a
// time (a picture of the card is never made); `rate` in frames a second goes
// into the title. `plain`: only the port's colour.
class TestCard {
public:
    TestCard(int port, int width, int height, double rate, uint64_t frame, bool plain = false);
    int width() const { return layout_.width; }
    int height() const { return layout_.height; }
    // The pixel at x, y (inside the card), 0xFFRRGGBB.
    uint32_t at(int x, int y) const;

private:
    struct Text {
        int x = 0, y = 0, width = 0;
        std::string chars;
    };
    bool textAt(const Text& t, int x, int y) const;
    CardLayout layout_;
    bool plain_;
    uint32_t ground_, grid_;
    int bar_;
    Text title_, counter_;
    int boxX0_ = 0, boxX1_ = 0;  // the frame counter's box across
};

// The whole card as a picture (TestCard's pixels).
Canvas drawTestCard(int port, int width, int height, double rate, uint64_t frame, bool plain = false);

}  // namespace platform::sim
