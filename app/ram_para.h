// The parameter block and its neighbours: the one table of the box's field
// offsets and record layouts.
//
// KEL_RAM_PARA is 4096 bytes of little-endian fields at fixed byte offsets.
// Its offsets are also the control protocol's addresses 0x0000-0x0FFF, so no
// field may move: every offset below is checked at compile time. Code names
// fields through these records (blk->image[i].source) or, where it needs a
// byte address, through offsetof() and the range constants; never through a
// literal.
#pragma once

#include "registers/tamix_regs.h"

#include <cstddef>
#include <cstdint>

typedef uint8_t u8;
typedef uint16_t u16;
typedef uint32_t u32;

namespace ram {

// Ranges of the block.
constexpr int kBlockSize = 4096;
constexpr int kRuntimeStart = 0;                            // run-time status, rebuilt after every start
constexpr int kSavedStart = 768;                            // saved in the parameter file from here on
constexpr int kUserModeStart = 896;                         // the part a user mode stores
constexpr int kUserModeSize = kBlockSize - kUserModeStart;  // 3200
constexpr int kSavedSize = kBlockSize - kSavedStart;        // 3328

// Counts.
// The video inputs, source ids 0 DVI, 1 HDMI1, 2 HDMI2, 3 HDMI3: as many as
// the input-source manager's bus wires (the block's input status and the
// pages' input tabs have a place for each).
constexpr int kSources = tamix::kSources;
constexpr int kEdidPorts = 6;
constexpr int kCrops = 40;
constexpr int kReservedCrops = 24;
constexpr int kImages = 16;  // window records; pages, keys and links use 0-5
constexpr int kShownImages = 6;
constexpr int kUserModes = 16;

// Source ids.
constexpr u8 kSourceDvi = 0;
constexpr u8 kSourceHdmi1 = 1;
constexpr u8 kSourceHdmi2 = 2;
constexpr u8 kSourceHdmi3 = 3;

// IMAGE_PARA.source: bit 15 set names a crop record (bits 0-7 its index);
// clear, bits 0-7 are a source id.
constexpr u16 kSourceIsCrop = 0x8000;
constexpr u16 kSourceLowMask = 0x00FF;

// CROP_ITEM.key: bit 15 in use, bits 8-14 crop number minus one, bits 0-7 source id.
constexpr u16 kCropInUse = 0x8000;
constexpr int kCropNumberShift = 8;
constexpr u16 kCropNumberMask = 0x7F;
constexpr u16 kCropSourceMask = 0x00FF;

// IMAGE_PARA.enable and .flags bits.
constexpr u16 kImageShown = 0x0001;
constexpr u16 kFlagBlack = 0x0001;
constexpr u16 kFlagFreeze = 0x0002;
constexpr u16 kFlagSeamless = 0x0004;
constexpr u16 kFlagDotByDot = 0x0100;
// IMAGE_PARA.audio bit 7: audio on.
constexpr u8 kAudioOn = 0x80;

// The window whose audio is used; a value above 5 counts as window 0.
constexpr u16 kMaxAudioImage = 5;

// Splice modes (taken modulo kSpliceModes).
enum SpliceMode : u16 { SPLICE_NONE = 0, SPLICE_HV, SPLICE_V, SPLICE_H, SPLICE_CP12, SPLICE_CP21 };
constexpr u16 kSpliceModes = 6;

// Both values of every SEAMLESS_PARA after a start and a factory reset
// (the default table holds 0); the fade switch sets their low bytes to it.
constexpr u16 kSeamlessDefault = 60;

// Languages.
enum Language : u8 { LANG_ZH = 0, LANG_EN, LANG_RU, LANG_VN, LANG_TW };
constexpr int kLanguages = 5;

}  // namespace ram

#pragma pack(push, 1)

struct SOURCE_STATUS {
    u16 width;
    u16 height;
    u16 rate;  // Hz; all three 0 = no signal
};

struct EDID_PARA {
    u16 width;
    u16 height;
    u16 rate;
};

struct RECT_PARA {
    u16 x;
    u16 y;
    u16 w;
    u16 h;
};

struct CROP_ITEM {
    u16 key;
    u16 x;
    u16 y;
    u16 w;
    u16 h;
};

struct IMAGE_PARA {
    u16 enable;       // +0  bit 0 = window shown
    u16 reserved_2;   // +2
    u16 mirror;       // +4  0-3
    u16 reserved_6;   // +6
    u16 source;       // +8  see ram::kSourceIsCrop
    u16 x;            // +10 window on the LED canvas
    u16 y;            // +12
    u16 w;            // +14
    u16 h;            // +16
    u16 flags;        // +18 bit 0 black, 1 freeze, 2 seamless, 8 dot-by-dot
    u8 volume;        // +20 0-100
    u8 audio;         // +21 bit 7 audio on
    u16 dbd_mode;     // +22 dot-by-dot input arrangement 0-9
    u16 reserved_24;  // +24
};

struct SEAMLESS_PARA {
    u16 para0;
    u16 para1;
};

struct KEL_RAM_PARA {
    u8 runtime_0[256];
    SOURCE_STATUS source_status[ram::kSources];  // 256
    u8 runtime_280[488];
    u16 language;      // 768
    u16 reserved_770;  // 770
    u16 panel_lock;    // 772
    u16 wifi_off;      // 774
    u8 reserved_776[88];
    u8 test_pattern;  // 864
    u8 reserved_865;
    u16 current_mode;       // 866
    u16 mode_save_request;  // 868
    u8 reserved_870[26];
    EDID_PARA edid[ram::kEdidPorts];  // 896, first field of the user-mode part
    u8 reserved_932[444];
    u16 splice_mode;  // 1376
    u16 led_width;    // 1378
    u16 led_height;   // 1380
    u16 led_x;        // 1382
    u16 led_y;        // 1384
    u16 och_num_h;    // 1386
    u16 och_num_v;    // 1388
    u16 och_w;        // 1390
    u16 och_h;        // 1392
    u16 och_mode;     // 1394
    u8 reserved_1396[12];
    RECT_PARA out1_rect;  // 1408
    RECT_PARA out2_rect;  // 1416
    u8 reserved_1424[48];
    CROP_ITEM crop_list[ram::kCrops];               // 1472
    CROP_ITEM reserved_crops[ram::kReservedCrops];  // 1872
    u16 audio_image;                                // 2112
    u16 dbd_enable;                                 // 2114
    u16 led_off;                                    // 2116
    u16 seamless;                                   // 2118
    u8 reserved_2120[4];
    u16 osd_enable;  // 2124
    u8 reserved_2126[50];
    u16 brightness;       // 2176
    u16 contrast;         // 2178
    u16 sharpness;        // 2180
    u16 saturation;       // 2182
    u16 color_temp_mode;  // 2184
    u16 color_temp_r;     // 2186
    u16 color_temp_g;     // 2188
    u16 color_temp_b;     // 2190
    u8 reserved_2192[16];
    u16 image_priority[ram::kImages];  // 2208
    u8 reserved_2240[30];
    u16 reserved_2270;               // 2270
    IMAGE_PARA image[ram::kImages];  // 2272
    u8 reserved_2688[128];
    SEAMLESS_PARA seamless_para[ram::kImages];  // 2816
    u8 reserved_2880[1216];
};

// A saved user mode: marker and a copy of block offsets 896-4095. The first
// 4096 bytes are its file image.
struct USER_MODE_SLOT {
    u8 marker[2];  // 0xAA 0xAA saved, 0xFF 0xFF empty
    u8 data[ram::kUserModeSize];
    u8 trailing[896];
};

// The box's own virtual registers, one byte each.
struct KEL_REG_IMAGE {
    u8 input_hpd_request;  // 0
    u8 reg[31];            // 1-31
    u8 reg_a0;             // 32: register 0xA0's value, kept for the input chips
    u8 reg_a5;             // 33: register 0xA5's value, chip test requests
    u8 reg_a2;             // 34: register 0xA2's value, one-shot chip requests
    u8 reg_a3;             // 35: register 0xA3's value plus one, parameter dump
    u8 reg_a4;             // 36: register 0xA4's value, register-group dump
    u8 chip_flags;         // 37: receiver and transmitter presence
    u8 edid_flags;         // 38: EDID EEPROM state
    u8 hdmi_tx_flags;      // 39: transmitter bits
    u8 reg_40[3];          // 40-42
    u8 font_flags;         // 43: chip font presence
    u8 save_state;         // 44: saving fails (kSave... bits)
    u8 window_refused;     // 45: windows the input channels cannot carry, a bit per window 0-5
    u8 reserved_46[7];     // 46-52
    u8 reg_53;             // 53
    u16 reg_54;            // 54
    u32 reg_56;            // 56
    u8 reg_60[1001];       // 60-1060
    u8 reserved_1061[3];   // 1061-1063
};

#pragma pack(pop)

namespace ram {

constexpr u8 kSlotSaved = 0xAA;
constexpr u8 kSlotEmpty = 0xFF;
// A slot the protocol marked saved whose file could not be written yet:
// neither saved nor to be deleted by a commit; it reads as saved once the
// file is written.
constexpr u8 kSlotUnsaved = 0x00;
constexpr int kSlotFileSize = 4096;
constexpr int kSlotSize = sizeof(USER_MODE_SLOT);
constexpr int kRegImageSize = sizeof(KEL_REG_IMAGE);
constexpr int kProtocolRegisters = 170;  // registers 0-169 reach the protocol

// Register-image start values.
constexpr u8 kRegChipFlagsStart = 0x80;
// Register 37 bit 4: the video chip is in running mode (brought up and
// answering). Bits 0-3 are the receivers'.
constexpr u8 kChipFlagVideoChipRunning = 0x10;
constexpr u8 kRegEdidFlagsStart = 0x1F;
constexpr u8 kRegHdmiTxFlagsStart = 0x07;
constexpr u8 kReg53Start = 0xC3;
constexpr u16 kReg54Start = 0xFF10;
constexpr u32 kReg56Start = 0xC0FFFFFF;
constexpr u8 kReg60Start = 0xFF;

// Register 44 (save_state): bit 0, the parameter file cannot be written;
// bit 1, a user-mode file waits to be written; bit 2, an FPGA's parameter
// memory file does not hold what a PC wrote (set by the FPGA manager). Clear
// while every save lands.
constexpr u8 kSaveParaFileFails = 0x01;
constexpr u8 kSaveModeFileWaits = 0x02;
constexpr u8 kSaveFpgaMemoryWaits = 0x04;

// Slot data byte of a block offset in the user-mode part.
constexpr int slotDataIndex(int blockOffset)
{
    return blockOffset - kUserModeStart;
}

// The parameter file /data/ram_device_info: two marker bytes, then block
// offsets 768-4095; a new file is padded with zeros to 4096 bytes and its
// tail after the saved bytes is never read.
constexpr u8 kParaFileMarker = 0xAA;
constexpr int kParaMarkerSize = 2;
constexpr int kParaFileDataEnd = kParaMarkerSize + kSavedSize;  // 3330
constexpr int kParaFileSize = 4096;

// The crop-exists bitmap: one bit per source (0-5) and crop number (1-40).
constexpr int kCropBitmapSources = 6;
constexpr int kCropBitmapBytes = kCropBitmapSources * kCrops / 8;  // 30

// A little-endian u16 at p (slot data and raw images are byte arrays).
inline u16 loadU16(const u8* p)
{
    return static_cast<u16>(p[0] | (p[1] << 8));
}
inline void storeU16(u8* p, u16 v)
{
    p[0] = static_cast<u8>(v & 0xFF);
    p[1] = static_cast<u8>(v >> 8);
}

// Writes the low byte of a u16 field, as the pages write their switches
// (language, Wi-Fi, DBD, fade): the high byte stays.
inline void setLowByte(u16& field, u8 v)
{
    field = static_cast<u16>((field & 0xFF00) | v);
}

// The block a new parameter file holds (the run-time range all zero).
const KEL_RAM_PARA& defaultBlock();
// The default table default_para_ramlist: the whole new parameter file
// (kParaFileSize bytes): marker, block offsets 768-4095, zeros.
const u8* default_para_ramlist();

// The factory reset of a block: the saved part (offsets 768-4095) from the
// default table, except, with keepEdid, the EDID records and the reserved
// area after them (896-1375); then both values of every seamless pair 60.
// The run-time part is left alone.
void restoreFactoryDefaults(KEL_RAM_PARA& b, bool keepEdid);

}  // namespace ram

static_assert(sizeof(SOURCE_STATUS) == 6 && sizeof(EDID_PARA) == 6 && sizeof(RECT_PARA) == 8);
static_assert(sizeof(CROP_ITEM) == 10 && sizeof(IMAGE_PARA) == 26 && sizeof(SEAMLESS_PARA) == 4);
static_assert(sizeof(KEL_RAM_PARA) == ram::kBlockSize);
static_assert(sizeof(USER_MODE_SLOT) == 4098);
static_assert(sizeof(KEL_REG_IMAGE) == 1064);
static_assert(offsetof(KEL_RAM_PARA, source_status) == 256);
static_assert(offsetof(KEL_RAM_PARA, language) == 768);
static_assert(offsetof(KEL_RAM_PARA, reserved_770) == 770);
static_assert(offsetof(KEL_RAM_PARA, panel_lock) == 772);
static_assert(offsetof(KEL_RAM_PARA, wifi_off) == 774);
static_assert(offsetof(KEL_RAM_PARA, test_pattern) == 864);
static_assert(offsetof(KEL_RAM_PARA, current_mode) == 866);
static_assert(offsetof(KEL_RAM_PARA, mode_save_request) == 868);
static_assert(offsetof(KEL_RAM_PARA, edid) == ram::kUserModeStart);
static_assert(offsetof(KEL_RAM_PARA, reserved_932) == 932);
static_assert(offsetof(KEL_RAM_PARA, splice_mode) == 1376);
static_assert(offsetof(KEL_RAM_PARA, led_width) == 1378);
static_assert(offsetof(KEL_RAM_PARA, och_mode) == 1394);
static_assert(offsetof(KEL_RAM_PARA, out1_rect) == 1408);
static_assert(offsetof(KEL_RAM_PARA, out2_rect) == 1416);
static_assert(offsetof(KEL_RAM_PARA, crop_list) == 1472);
static_assert(offsetof(KEL_RAM_PARA, reserved_crops) == 1872);
static_assert(offsetof(KEL_RAM_PARA, audio_image) == 2112);
static_assert(offsetof(KEL_RAM_PARA, dbd_enable) == 2114);
static_assert(offsetof(KEL_RAM_PARA, led_off) == 2116);
static_assert(offsetof(KEL_RAM_PARA, seamless) == 2118);
static_assert(offsetof(KEL_RAM_PARA, osd_enable) == 2124);
static_assert(offsetof(KEL_RAM_PARA, brightness) == 2176);
static_assert(offsetof(KEL_RAM_PARA, color_temp_b) == 2190);
static_assert(offsetof(KEL_RAM_PARA, image_priority) == 2208);
static_assert(offsetof(KEL_RAM_PARA, reserved_2270) == 2270);
static_assert(offsetof(KEL_RAM_PARA, image) == 2272);
static_assert(offsetof(KEL_RAM_PARA, seamless_para) == 2816);
static_assert(offsetof(IMAGE_PARA, source) == 8 && offsetof(IMAGE_PARA, flags) == 18);
static_assert(offsetof(IMAGE_PARA, volume) == 20 && offsetof(IMAGE_PARA, dbd_mode) == 22);
static_assert(offsetof(KEL_REG_IMAGE, reg_a0) == 32 && offsetof(KEL_REG_IMAGE, chip_flags) == 37);
static_assert(offsetof(KEL_REG_IMAGE, font_flags) == 43 && offsetof(KEL_REG_IMAGE, reg_53) == 53);
static_assert(offsetof(KEL_REG_IMAGE, window_refused) == 45);
static_assert(offsetof(KEL_REG_IMAGE, reg_54) == 54 && offsetof(KEL_REG_IMAGE, reg_56) == 56);
static_assert(offsetof(KEL_REG_IMAGE, reg_60) == 60 && offsetof(KEL_REG_IMAGE, reserved_1061) == 1061);

namespace ram {

// The window whose audio the box uses: KEL_RAM_PARA.audio_image, where a
// value above kMaxAudioImage counts as window 0. Every reader goes through
// this, so that an out-of-range value written by a link never indexes past
// the six windows.
inline int audioImage(const KEL_RAM_PARA& b)
{
    return b.audio_image <= kMaxAudioImage ? b.audio_image : 0;
}

// The input status of source id `source`; null for an id that names no
// input (4 or more, as a protocol write may leave in a window's source):
// such a window has no signal.
inline const SOURCE_STATUS* sourceStatus(const KEL_RAM_PARA& b, int source)
{
    return source >= 0 && source < kSources ? &b.source_status[source] : nullptr;
}

// Parts of a crop key: the crop number (1-128; 1-40 in a sound table) and
// the source id.
inline int cropNumber(u16 key)
{
    return ((key >> kCropNumberShift) & kCropNumberMask) + 1;
}
inline int cropSource(u16 key)
{
    return key & kCropSourceMask;
}

}  // namespace ram
