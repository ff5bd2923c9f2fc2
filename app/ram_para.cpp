// The default table: the parameter block as a new parameter file holds it.
#include "app/ram_para.h"

#include <array>
#include <cstring>

// The file is the block's bytes as they lie in memory; the box and the PCs
// that build for it are little-endian, as the block's fields are.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the parameter block is little-endian");

namespace ram {
namespace {

constexpr u16 kDefaultReserved770 = 100;
constexpr u16 kFullHdWidth = 1920;
constexpr u16 kFullHdHeight = 1080;
constexpr u16 kUhdWidth = 3840;
constexpr u16 kUhdHeight = 2160;
constexpr u16 kDefaultRate = 60;
constexpr int kFullHdEdidPorts = 4;      // ports 0-3 offer 1080p, 4-5 offer 2160p
constexpr u16 kDefaultCropKey = 0x0002;  // free record
// One record of the reserved crop area carries a zero width.
constexpr int kReservedCropZeroWidth = 22;
constexpr u16 kDefaultBrightness = 100;
constexpr u16 kDefaultContrast = 50;
constexpr u16 kDefaultSharpness = 10;
constexpr u16 kDefaultSaturation = 50;
constexpr u16 kDefaultColorPreset = 2;
constexpr u16 kDefaultColorGain = 64;
constexpr u16 kDefaultReserved2270 = 1;

void fullHdCrop(CROP_ITEM& c)
{
    c.key = kDefaultCropKey;
    c.x = 0;
    c.y = 0;
    c.w = kFullHdWidth;
    c.h = kFullHdHeight;
}

KEL_RAM_PARA buildDefaultBlock()
{
    KEL_RAM_PARA b;
    std::memset(&b, 0, sizeof b);
    b.reserved_770 = kDefaultReserved770;
    for (int p = 0; p < kEdidPorts; ++p) {
        const bool fullHd = p < kFullHdEdidPorts;
        b.edid[p].width = fullHd ? kFullHdWidth : kUhdWidth;
        b.edid[p].height = fullHd ? kFullHdHeight : kUhdHeight;
        b.edid[p].rate = kDefaultRate;
    }
    b.led_width = kFullHdWidth;
    b.led_height = kFullHdHeight;
    b.och_num_h = 1;
    b.och_num_v = 1;
    b.och_w = kFullHdWidth;
    b.och_h = kFullHdHeight;
    for (RECT_PARA* r : {&b.out1_rect, &b.out2_rect}) {
        r->x = 0;
        r->y = 0;
        r->w = kFullHdWidth;
        r->h = kFullHdHeight;
    }
    for (CROP_ITEM& c : b.crop_list)
        fullHdCrop(c);
    for (CROP_ITEM& c : b.reserved_crops)
        fullHdCrop(c);
    b.reserved_crops[kReservedCropZeroWidth].w = 0;
    b.brightness = kDefaultBrightness;
    b.contrast = kDefaultContrast;
    b.sharpness = kDefaultSharpness;
    b.saturation = kDefaultSaturation;
    b.color_temp_mode = kDefaultColorPreset;
    b.color_temp_r = kDefaultColorGain;
    b.color_temp_g = kDefaultColorGain;
    b.color_temp_b = kDefaultColorGain;
    for (int i = 0; i < kImages; ++i)
        b.image_priority[i] = static_cast<u16>(i);
    b.reserved_2270 = kDefaultReserved2270;
    for (int i = 0; i < kShownImages; ++i) {
        IMAGE_PARA& im = b.image[i];
        im.enable = (i == 0) ? kImageShown : 0;
        im.source = kSourceHdmi1;
        im.x = 0;
        im.y = 0;
        im.w = kFullHdWidth;
        im.h = kFullHdHeight;
    }
    return b;
}

std::array<u8, kParaFileSize> buildDefaultFile()
{
    std::array<u8, kParaFileSize> f{};
    f[0] = kParaFileMarker;
    f[1] = kParaFileMarker;
    const auto* block = reinterpret_cast<const u8*>(&defaultBlock());
    std::memcpy(f.data() + kParaMarkerSize, block + kSavedStart, kSavedSize);
    return f;
}

}  // namespace

const KEL_RAM_PARA& defaultBlock()
{
    static const KEL_RAM_PARA block = buildDefaultBlock();
    return block;
}

const u8* default_para_ramlist()
{
    static const std::array<u8, kParaFileSize> file = buildDefaultFile();
    return file.data();
}

void restoreFactoryDefaults(KEL_RAM_PARA& b, bool keepEdid)
{
    auto* to = reinterpret_cast<u8*>(&b);
    const auto* from = reinterpret_cast<const u8*>(&defaultBlock());
    constexpr int kEdidAreaStart = offsetof(KEL_RAM_PARA, edid);
    constexpr int kEdidAreaEnd = offsetof(KEL_RAM_PARA, splice_mode);
    if (keepEdid) {
        std::memcpy(to + kSavedStart, from + kSavedStart, kEdidAreaStart - kSavedStart);
        std::memcpy(to + kEdidAreaEnd, from + kEdidAreaEnd, kBlockSize - kEdidAreaEnd);
    } else {
        std::memcpy(to + kSavedStart, from + kSavedStart, kSavedSize);
    }
    for (SEAMLESS_PARA& p : b.seamless_para) {
        p.para0 = kSeamlessDefault;
        p.para1 = kSeamlessDefault;
    }
}

}  // namespace ram
