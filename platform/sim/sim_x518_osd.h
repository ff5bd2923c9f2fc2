// The OSD engine of the simulated X518: the draw commands started on 4:08
// (fill, copy, string) with the registers they were given, the string area
// behind the data port 4:29, and the colour table written through 9:1F and
// 9:20 while FF:01 holds 1.
//
// It draws nothing: each command is recorded as the chip would have run it,
// a string with its glyph entries, so a test (or a person reading the
// control pipe's OSD dump) sees which glyphs went where. With the box's standard fonts
// (96 English glyphs, the Chinese glyphs from U+4E00 behind them) the
// glyph indexes read back as text.
//
// Not a device of its own: SimX518 owns it, holds the lock, stores every
// register write and hands the engine's traffic to it.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace platform::sim {

class SimX518Osd {
public:
    using Registers = std::array<std::array<uint8_t, 128>, 256>;

    // Engine registers (bank 4).
    static constexpr uint8_t kBank = 0x04;
    static constexpr uint8_t kCommand = 0x08;      // 1 fill, 2 copy, 3 string
    static constexpr uint8_t kFillValue = 0x0B;    // 2 bytes
    static constexpr uint8_t kSource = 0x0D;       // 4 bytes; the glyph table of a string
    static constexpr uint8_t kDestination = 0x11;  // 4 bytes
    static constexpr uint8_t kDestPitch = 0x1B;
    static constexpr uint8_t kSourcePitch = 0x1C;
    static constexpr uint8_t kWidth = 0x1E;   // 2 bytes, width - 1
    static constexpr uint8_t kHeight = 0x20;  // 2 bytes, height - 1
    static constexpr uint8_t kPitchUnits = 0x22;
    static constexpr uint8_t kLastChar = 0x24;       // index of a string's last character
    static constexpr uint8_t kStringAddress = 0x27;  // 2 bytes
    static constexpr uint8_t kStringAddressTop = 0x28;
    static constexpr uint8_t kStringData = 0x29;
    static constexpr uint8_t kStringMode = 0x2A;  // 0x08 32-dot, 0x48 64-dot
    // Colour table: opened by FF:01 = 1; 9:1F first index, 9:20 R, G, B per entry.
    static constexpr uint8_t kTableBank = 0x09;
    static constexpr uint8_t kTableIndex = 0x1F;
    static constexpr uint8_t kTableData = 0x20;
    static constexpr uint8_t kTableGateBank = 0xFF;
    static constexpr uint8_t kTableGate = 0x01;

    static constexpr uint32_t kStringAreaSize = 0x10000;
    static constexpr uint32_t kGlyphSizeAddress = 0x0A00;  // the string set-up's glyph size
    static constexpr int kGlyphEntryBytes = 5;
    static constexpr int kTableEntries = 256;
    static constexpr int kBackgroundIndex = 1, kCharacterIndex = 2;
    static constexpr uint16_t kTransparentIndex = 255;
    // The standard fonts: 96 English glyphs from U+0020, then Chinese from U+4E00.
    static constexpr int kEnglishGlyphs = 96;
    static constexpr char32_t kFirstEnglish = 0x20, kFirstChinese = 0x4E00;

    struct Glyph {
        uint16_t index = 0;
        uint8_t foreground = 0, background = 0, advance = 0;
        bool operator==(const Glyph& o) const
        {
            return index == o.index && foreground == o.foreground && background == o.background && advance == o.advance;
        }
    };

    // A command as started, with the registers it ran with.
    struct Command {
        enum Kind : uint8_t { Fill = 1, Copy = 2, String = 3 };
        Kind kind = Fill;
        uint32_t source = 0;  // copy source, string glyph table
        uint32_t destination = 0;
        uint16_t fillValue = 0;
        uint32_t width = 0, height = 0;
        uint8_t destPitch = 0, sourcePitch = 0, pitchUnits = 0;
        uint8_t stringMode = 0, glyphSize = 0;
        std::vector<Glyph> glyphs;  // a string's entries 0 to 4:24
        // The glyphs as text, read with the standard fonts (UTF-8).
        std::string text() const;
    };

    explicit SimX518Osd(const Registers& regs);

    // Register traffic of banks 4 and 9 (after the write was stored).
    void onWrite(uint8_t bank, uint8_t address, uint8_t value);

    static constexpr size_t kLogCapacity = 4096;  // the oldest commands go first
    const std::deque<Command>& log() const { return log_; }
    void clearLog() { log_.clear(); }
    // Entry `index` of the colour table as 0xBBGGRR.
    uint32_t colour(int index) const;
    // The last fill used the transparent index (the plane's background).
    bool planeTransparent() const { return lastFill_ == kTransparentIndex; }
    // One line describing a command, as the OSD dump shows it.
    static std::string describe(const Command& c);

private:
    uint32_t reg(uint8_t bank, uint8_t address, int width) const;
    void start(uint8_t kind);

    const Registers& regs_;
    std::array<uint8_t, kStringAreaSize> string_{};
    uint32_t stringCursor_ = 0;
    std::array<uint8_t, kTableEntries * 3> table_{};
    uint32_t tableCursor_ = 0;
    std::deque<Command> log_;
    uint16_t lastFill_ = 0;
};

}  // namespace platform::sim
