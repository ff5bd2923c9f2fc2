// What USB upgrades left incomplete, kept in a file under /data so that it
// outlives a reboot: the FPGAs whose flash may hold a torn program and the
// font places in the chip's flash left without a whole font. The FPGA
// manager reads it at start-up (an FPGA marked there stays in reset) and
// writes it whenever a mark changes. docs/usb-upgrade.md gives the layout.
//
// The file comes from outside the program: anything but the layout below
// is refused whole, with a diagnostic, and counts as no mark at all, so a
// broken file never keeps the box from coming up.
#pragma once

#include "app/global.h"
#include "registers/fpga_regs.h"

#include <optional>
#include <string>

namespace incomplete_record {

constexpr const char* kFile = "/data/configs/upgrade_incomplete.txt";
// A file longer than this is not read.
constexpr size_t kMostBytes = 64;
// The places of the fonts in the chip's serial flash: 32-dot English,
// 32-dot Chinese, 64-dot English, 64-dot Chinese.
constexpr int kFontPlaces = 4;

struct Marks {
    u8 fpgas = 0;  // bit f: FPGA f (fpga::kFpgas)
    u8 fonts = 0;  // bit p: font place p
    bool operator==(const Marks& o) const { return fpgas == o.fpgas && fonts == o.fonts; }
    bool operator!=(const Marks& o) const { return !(*this == o); }
    bool none() const { return fpgas == 0 && fonts == 0; }
};

// The file's text: "fpgas=N\nfonts=N\n", each N the decimal bit mask.
std::string format(const Marks& m);
// The marks of a text format() wrote; nothing for any other text (a line
// missing, repeated or unknown, a number that is not decimal or has a bit
// beyond the FPGAs or the font places).
std::optional<Marks> parse(const std::string& text);

// The marks the file holds: none when it is missing; none, with a
// diagnostic, when it is larger than kMostBytes or not what format() writes.
Marks read();
// Writes the marks whole (a new file renamed over the old); none removes
// the file. False when that failed, with a diagnostic when `tell`.
bool write(const Marks& m, bool tell = true);

}  // namespace incomplete_record
