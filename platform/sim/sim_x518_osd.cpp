#include "platform/sim/sim_x518_osd.h"

#include <cstdio>

namespace platform::sim {
namespace {

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

const char* kindName(SimX518Osd::Command::Kind k)
{
    return k == SimX518Osd::Command::Fill ? "fill" : k == SimX518Osd::Command::Copy ? "copy" : "string";
}

}  // namespace

SimX518Osd::SimX518Osd(const Registers& regs) : regs_(regs) {}

uint32_t SimX518Osd::reg(uint8_t bank, uint8_t address, int width) const
{
    uint32_t v = 0;
    for (int i = 0; i < width && address + i < 128; ++i)
        v |= uint32_t(regs_[bank][address + i]) << (8 * i);
    return v;
}

void SimX518Osd::onWrite(uint8_t bank, uint8_t address, uint8_t value)
{
    if (bank == kBank) {
        switch (address) {
        case kStringAddress:
        case kStringAddressTop: stringCursor_ = reg(kBank, kStringAddress, 2); break;
        case kStringData:
            string_[stringCursor_] = value;
            stringCursor_ = (stringCursor_ + 1) % kStringAreaSize;
            break;
        case kCommand:
            if (value >= Command::Fill && value <= Command::String)
                start(value);
            break;
        default: break;
        }
        return;
    }
    if (bank != kTableBank)
        return;
    if (address == kTableIndex) {
        tableCursor_ = uint32_t(value) * 3;
    } else if (address == kTableData && regs_[kTableGateBank][kTableGate] == 1) {
        table_[tableCursor_] = value;
        tableCursor_ = (tableCursor_ + 1) % table_.size();
    }
}

void SimX518Osd::start(uint8_t kind)
{
    Command c;
    c.kind = Command::Kind(kind);
    c.source = reg(kBank, kSource, 4);
    c.destination = reg(kBank, kDestination, 4);
    c.fillValue = uint16_t(reg(kBank, kFillValue, 2));
    c.width = reg(kBank, kWidth, 2) + 1;
    c.height = reg(kBank, kHeight, 2) + 1;
    c.destPitch = regs_[kBank][kDestPitch];
    c.sourcePitch = regs_[kBank][kSourcePitch];
    c.pitchUnits = regs_[kBank][kPitchUnits];
    c.stringMode = regs_[kBank][kStringMode];
    c.glyphSize = string_[kGlyphSizeAddress];
    if (c.kind == Command::String) {
        const int count = regs_[kBank][kLastChar] + 1;
        for (int i = 0; i < count; ++i) {
            const uint32_t at = uint32_t(i * kGlyphEntryBytes);
            Glyph g;
            g.index = uint16_t(string_[at] | string_[at + 1] << 8);
            g.foreground = string_[at + 2];
            g.background = string_[at + 3];
            g.advance = string_[at + 4];
            c.glyphs.push_back(g);
        }
    }
    if (c.kind == Command::Fill)
        lastFill_ = c.fillValue;
    if (log_.size() >= kLogCapacity)
        log_.pop_front();
    log_.push_back(c);
}

uint32_t SimX518Osd::colour(int index) const
{
    if (index < 0 || index >= kTableEntries)
        return 0;
    const uint8_t* e = &table_[size_t(index) * 3];
    return uint32_t(e[0]) | uint32_t(e[1]) << 8 | uint32_t(e[2]) << 16;
}

std::string SimX518Osd::Command::text() const
{
    std::string out;
    for (const Glyph& g : glyphs)
        appendUtf8(out, g.index < kEnglishGlyphs ? kFirstEnglish + g.index : kFirstChinese + g.index - kEnglishGlyphs);
    return out;
}

std::string SimX518Osd::describe(const Command& c)
{
    char buf[160];
    if (c.kind == Command::String) {
        std::snprintf(buf, sizeof buf,
                      "string dst=0x%08X pitch=%u units=0x%02X table=0x%08X mode=0x%02X size=%u chars=%zu \"",
                      c.destination, c.destPitch, c.pitchUnits, c.source, c.stringMode, c.glyphSize, c.glyphs.size());
        std::string line = buf + c.text() + "\" glyphs";
        for (const Glyph& g : c.glyphs) {
            std::snprintf(buf, sizeof buf, " %u/%u/%u/%u", g.index, g.foreground, g.background, g.advance);
            line += buf;
        }
        return line;
    }
    std::snprintf(buf, sizeof buf, "%s dst=0x%08X %ux%u pitch=%u/%u units=0x%02X", kindName(c.kind), c.destination,
                  c.width, c.height, c.destPitch, c.sourcePitch, c.pitchUnits);
    std::string line = buf;
    if (c.kind == Command::Fill)
        std::snprintf(buf, sizeof buf, " value=%u", c.fillValue);
    else
        std::snprintf(buf, sizeof buf, " src=0x%08X", c.source);
    return line + buf;
}

}  // namespace platform::sim
