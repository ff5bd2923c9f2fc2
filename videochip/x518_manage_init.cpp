// The initial register load that takes the chip from reset to eight output
// and four input channels, and the register-update window.
#include "videochip/x518_manage.h"

#include <initializer_list>

namespace {

using x518::kChannelStride;
using x518::reg;

// One register of a step: address, width in bytes, value.
struct RegWrite {
    u32 address;
    u32 width;
    u32 value;
};

// Writes registers of one bank (at a bank offset) in list order.
class Loader {
public:
    Loader(x518_drv* drv, int fd) : drv_(drv), fd_(fd) {}
    void put(u32 bank, u32 address, u32 width, u32 value, u32 offset = 0)
    {
        drv_->write_X518(fd_, reg(bank, address, width), value, offset);
    }
    void put(u32 bank, std::initializer_list<RegWrite> list, u32 offset = 0)
    {
        for (const RegWrite& w : list)
            put(bank, w.address, w.width, w.value, offset);
    }
    // `count` consecutive byte registers from `first`, all `value`.
    void fill(u32 bank, u32 first, u32 count, u32 value)
    {
        for (u32 i = 0; i < count; ++i)
            put(bank, first + i, 1, value);
    }

private:
    x518_drv* drv_;
    int fd_;
};

// ---- banks
constexpr u32 kSysBank = 0x00, kMemBank = 0x01, kVboRxBank = 0x02, kTxBank = 0x03, kSflBank = 0x04;
constexpr u32 kFrameBank = 0x05, kPolBank = 0x06, kClockBank = 0xFF;
constexpr u32 kOchBank = 0x08, kOchBkgBank = 0x09, kOchZoomBank = 0x0A, kOchCtlBank = 0x0B, kOchCscBank = 0x0C;
constexpr u32 kMixBank = 0x0E, kIchBank = 0x10, kIchShrinkBank = 0x11, kIchProcBank = 0x14, kIchMemBank = 0x16;
constexpr u32 kIchMvBank = 0x17;

// ---- the receiver PLL range
constexpr u32 kPllDivMode1 = 2000000, kPllDiv = 4000000;
constexpr u32 kRangeLowQ = 21, kRangeMidQ = 41;
constexpr u32 kRangeLow = 68, kRangeMid = 72, kRangeHigh = 76;
constexpr u32 kVboRxModeReg1 = 5, kVboRxModeOther = 9;

// ---- waits, ms
constexpr int kClockSettleMs = 20, kMemStepMs = 1, kMemSettleMs = 20;

constexpr u32 kOutputChannels = 8, kInputChannels = 8, kProcessedInputs = 4;
constexpr u32 kHighSpeedChannels = 4;  // output channels 0-3 carry the mixers with blend weights

// Output sync source of each output channel.
constexpr u32 kOsyct[kOutputChannels] = {0x0201, 0x1211, 0x1211, 0x1211, 0x0011, 0x0011, 0x0011, 0x0011};
// Input capture control of each input channel.
constexpr u32 kIsyct[kInputChannels] = {1, 1, 1, 1, 1, 12, 1, 14};
// Bank 0x00 register 7A walks the output-channel table with these values.
constexpr u32 kOchTableWalk[] = {0x80, 0x81, 0x84, 0x85, 0x88, 0x89, 0x8C, 0x8D,
                                 0x90, 0x91, 0x94, 0x95, 0x98, 0x99, 0x9C, 0x9D};
constexpr u32 kMemTiming[] = {0x67, 0x65, 0x62, 0x60, 0x6A, 0x67, 0x64, 0x61, 0x6C};
// Scaler memory group of each input channel and the shift inside it.
constexpr u32 kIchGroup[kInputChannels] = {0, 1, 2, 3, 4, 4, 5, 5};
constexpr u32 kIchGroupShift[kInputChannels] = {0, 0, 0, 0, 0, 7680, 0, 7680};

// Register-update timing by mode (00:22-00:28); the last row serves every other mode.
constexpr u32 kRtctModes = 4;
constexpr u8 kRtct[kRtctModes + 1][x518::kUpdateTimingRegs] = {
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, {0x99, 0x99, 0x21, 0x43, 0x55, 0x77, 0x99},
    {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0x21, 0x43, 0x55, 0x77, 0xFF},
    {0x99, 0x99, 0xFF, 0xFF, 0xFF, 0xFF, 0x99},
};

}  // namespace

void x518_manage::write_initial_setting(int fd, int full)
{
    Loader l(drv, fd);
    u32 range = 0;

    // 1. Clock generator and the receivers' PLL range.
    if (full) {
        l.put(kClockBank,
              {{0x00, 1, 0x08}, {0x01, 1, 0}, {0x02, 1, 0xC8}, {0x03, 1, 0}, {0x04, 1, 0x61}, {0x05, 3, 1}});
        Sleep(kClockSettleMs);
        uint64_t div = uint64_t(sys.PS_VBOTX_MODE == 1 ? kPllDivMode1 : kPllDiv) * sys.PS_PLL[3];
        uint64_t q = div ? uint64_t(sys.PS_PLL[4]) * sys.PS_CLK_REF / div : ~uint64_t(0);
        range = q < kRangeLowQ ? kRangeLow : q < kRangeMidQ ? kRangeMid : kRangeHigh;
    }

    // 2. System control.
    l.fill(kSysBank, 0x08, 8, 0x11);
    for (u32 c = 0; c < kInputChannels; ++c)
        l.put(kSysBank, 0x10 + c, 1, 2 * c);  // ICHSEL
    l.put(kSysBank, 0x18, 2, 0);
    l.fill(kSysBank, 0x1A, 4, 4);
    l.put(kSysBank, {{0x1E, 2, 0x0404}, {0x20, 2, 0x0404}, {0x38, 1, 0}, {0x39, 2, 0x0202}});
    l.fill(kSysBank, 0x22, 6, 0);
    l.put(kSysBank, 0x46, 1, 0);
    for (u32 i = 0; i < 5; ++i)
        l.put(kSysBank, 0x47 + i, 1, sys.PS_PLL[i]);
    l.fill(kSysBank, 0x4C, 5, 0);
    for (u32 i = 0; i < 4; ++i)
        l.put(kSysBank, 0x51 + i, 1, sys.PS_PLL[5 + i]);
    l.put(kSysBank, 0x55, 2, 0);
    l.fill(kSysBank, 0x59, 8, 0x11);
    l.fill(kSysBank, 0x61, 8, 0x18);
    l.fill(kSysBank, 0x69, 16, 0);
    l.put(kSysBank, 0x79, 1, 0x2E);
    for (u32 v : kOchTableWalk)
        l.put(kSysBank, 0x7A, 1, v);

    // 3. Transmitter timing.
    u32 hsync = sys.PS_HSW / 2 - 1, vsync = sys.PS_VSW - 1;
    l.put(kTxBank,
          {{0x08, 1, 0},     {0x09, 2, 0},    {0x0B, 2, 0},     {0x11, 1, 0},    {0x12, 2, 0},    {0x14, 2, 0},
           {0x1A, 1, 0},     {0x1B, 2, 0xC0}, {0x1D, 2, 0xF00}, {0x23, 1, 0},    {0x24, 2, 0xC0}, {0x26, 2, 0xF00},
           {0x2C, 2, 0},     {0x2F, 2, 0},    {0x36, 2, 0},     {0x39, 2, 0},    {0x42, 1, 9},    {0x44, 1, hsync},
           {0x45, 1, vsync}, {0x43, 1, 9},    {0x4C, 1, hsync}, {0x4D, 1, vsync}});

    // 4.
    l.put(kFrameBank, 0x7E, 2, 0x40);

    // 5. Transmitter lanes.
    if (sys.PS_VBOTX_MODE == 1 || sys.PS_VBOTX_MODE == 2) {
        l.put(kTxBank, {{0x2C, 2, 0}, {0x2F, 2, 0}, {0x36, 2, 0}, {0x39, 2, 0}, {0x46, 2, 0}, {0x4E, 2, 0}});
        l.put(kTxBank, 0x55, 4, sys.PS_VBOTX_MODE == 1 ? 0x76543210 : 0x00010000);
        l.put(kTxBank, {{0x5E, 4, 0x76543210}, {0x62, 4, 0x76543210}});
    } else {
        l.put(kTxBank, {{0x2C, 2, 5},
                        {0x2F, 2, 1920},
                        {0x36, 2, 5},
                        {0x39, 2, 1920},
                        {0x46, 2, 1},
                        {0x4E, 2, 1},
                        {0x55, 4, 0x73625140},
                        {0x5E, 4, 0x73625140},
                        {0x62, 4, 0x73625140}});
    }

    // 6. Serial-flash window.
    l.put(kSflBank, 0x2B, 2, (sys.PS_SFL_ADDR >> 16) | 0x8000);

    // 7. Sync polarity of the CMOS inputs and the V-by-One receivers.
    l.put(kPolBank, {{0x38, 4, 0x07070707}, {0x3C, 4, 0x33333333}});

    // 8. Output sync sources.
    for (u32 k = 0; k < kOutputChannels; ++k)
        l.put(kOchBank, 0x08, 2, kOsyct[k], kChannelStride * k);

    // 9, 10. Mixers.
    for (u32 k = 0; k < kOutputChannels; ++k)
        l.put(kMixBank, {{0x08, 1, k < kHighSpeedChannels ? 10u : 1u}, {0x09, 4, 8 + k}, {0x0D, 2, 0x55}},
              kChannelStride * k);
    for (u32 k = 0; k < kHighSpeedChannels; ++k)
        l.put(kMixBank, 0x17, 1, 0x80, kChannelStride * k);

    // 11. Input capture control.
    for (u32 k = 0; k < kInputChannels; ++k)
        l.put(kIchBank, 0x09, 1, kIsyct[k], kChannelStride * k);

    // 12. Input channel buffer rings.
    for (u32 k = 0; k < kInputChannels; ++k)
        l.put(kIchMemBank, {{0x65, 1, 1}, {0x66, 3, 0x043210}, {0x6B, 1, 0}, {0x6C, 2, 0x2103}}, kChannelStride * k);

    // 13. Output channels: timing, background, zoom, colour matrix, input side.
    for (u32 k = 0; k < kOutputChannels; ++k) {
        u32 off = kChannelStride * k;
        const X518System& p = sys;
        // clang-format off
        l.put(kOchBank, {{0x0A, 2, p.PS_HTOTAL - 2}, {0x0C, 2, p.PS_VTOTAL - 2}, {0x1D, 2, 0x40},
                         {0x28, 2, p.PS_OAOIHST}, {0x2A, 2, p.PS_OAOIHED},
                         {0x2C, 2, p.PS_OAOIVST}, {0x2E, 2, p.PS_OAOIVED},
                         {0x30, 2, p.PS_OAOIHST}, {0x32, 2, p.PS_OAOIHED},
                         {0x34, 2, p.PS_OAOIVST}, {0x36, 2, p.PS_OAOIVED},
                         {0x40, 2, p.PS_ACTHST}, {0x42, 2, 0}, {0x44, 2, p.PS_ACTVST}, {0x46, 2, p.PS_ACTVW + 1}},
              // clang-format on
              off);
        l.put(kOchBkgBank, {{0x0A, 2, 0xFF}, {0x0C, 2, 0xFF}, {0x0E, 2, 0xFF}, {0x10, 2, 0xFF}}, off);
        l.put(kOchZoomBank,
              {{0x44, 1, 0},
               {0x46, 1, 0},
               {0x47, 1, 0},
               {0x48, 1, 0},
               {0x49, 2, 0},
               {0x4B, 1, 0},
               {0x4C, 1, 0},
               {0x4D, 1, 0},
               {0x4E, 2, 0}},
              off);
        l.put(kOchCtlBank, 0x5E, 1, 1, off);
        // clang-format off
        l.put(kOchCscBank, {{0x48, 1, 0}, {0x49, 2, 0x3265}, {0x4B, 2, 0x2000}, {0x4D, 2, 0}, {0x4F, 2, 0xF105},
                            {0x51, 2, 0x2000}, {0x53, 2, 0xFA02}, {0x55, 2, 0}, {0x57, 2, 0x2000}, {0x59, 2, 0x3B61}},
              // clang-format on
              off);
        l.put(kIchBank, {{0x10, 1, 0x80},   {0x11, 1, 0x80},   {0x28, 1, 0x88},   {0x29, 2, 0},      {0x2B, 2, 0},
                         {0x2D, 2, 0},      {0x2F, 2, 0x200},  {0x31, 2, 0x200},  {0x33, 2, 0x200},  {0x35, 2, 0x4000},
                         {0x37, 2, 0xC5DD}, {0x39, 2, 0xFA23}, {0x3B, 2, 0x1B36}, {0x3D, 2, 0x5B8C}, {0x3F, 2, 0x093E},
                         {0x41, 2, 0xF155}, {0x43, 2, 0xCEAB}, {0x45, 2, 0x4000}, {0x47, 1, 0},      {0x48, 1, 4},
                         {0x49, 1, 8}},
              off);
        // clang-format off
        l.put(kIchShrinkBank, {{0x42, 1, 0}, {0x43, 1, 0}, {0x44, 1, 0}, {0x45, 1, 0}, {0x46, 1, 0}, {0x47, 2, 0},
                               {0x49, 1, 0}, {0x4A, 1, 0}, {0x4B, 1, 0}, {0x4C, 2, 0}},
              // clang-format on
              off);
    }

    // 14. Input-channel frame buffers: the first four fields of a scaler
    // group; channels 5 and 7 share the group of channels 4 and 6, shifted.
    for (u32 k = 0; k < kInputChannels; ++k)
        for (u32 f = 0; f < 4; ++f)
            l.put(kIchMemBank, 0x1C + 4 * f, 4, sys.PS_MEM_SC[kIchGroup[k]][f] + kIchGroupShift[k], kChannelStride * k);

    // 15. Memory line steps.
    for (u32 k = 0; k < kInputChannels; ++k)
        l.put(kIchMemBank, {{0x30, 1, sys.fb_pitch}, {0x31, 1, sys.fb_pitch}}, kChannelStride * k);

    // 16. The four processed input channels.
    for (u32 k = 0; k < kProcessedInputs; ++k) {
        u32 off = kChannelStride * k;
        l.put(kIchProcBank,
              {{0x0D, 2, 16}, {0x16, 1, 1}, {0x17, 1, 1}, {0x18, 1, 2}, {0x19, 1, 8}, {0x22, 1, 0}, {0x23, 1, 0x11}},
              off);
        l.put(kIchMvBank, {{0x58, 1, sys.PS_MWI_IP[k]}, {0x5B, 4, sys.PS_MEM_MV[k]}}, off);
    }

    if (!full)
        return;

    // 17. Memory controller.
    l.put(kClockBank, 0x02, 1, 0);
    l.put(kClockBank, 0x04, 1, 0);
    l.put(kMemBank, 0x26, 1, 0);
    Sleep(kMemStepMs);
    l.put(kMemBank, {{0x08, 1, 0x30}, {0x09, 4, 0x22222222}, {0x0D, 4, 0x66663445}, {0x11, 4, 0x22222222}});
    l.fill(kMemBank, 0x15, 4, 0x77);
    // clang-format off
    l.put(kMemBank, {{0x19, 1, 7}, {0x1A, 1, 0x3F}, {0x1B, 1, 0x3F}, {0x1C, 1, 0}, {0x1D, 1, 0x10}, {0x1E, 1, 0x10},
                     {0x1F, 1, 0x0E}, {0x20, 1, 0x0E}, {0x21, 1, 0x30}, {0x22, 1, 0x30}, {0x23, 1, 0x4F},
                     {0x24, 1, 0x4F}, {0x25, 1, 9}, {0x26, 1, 0x0F}, {0x27, 1, 0x11}, {0x28, 1, 1},
                     // clang-format on
                     {0x29, 4, 0x88888888}});
    l.fill(kMemBank, 0x2D, 8, 0x77);
    l.put(kMemBank, 0x35, 1, 7);
    for (u32 i = 0; i < sizeof kMemTiming / sizeof kMemTiming[0]; ++i)
        l.put(kMemBank, 0x36 + i, 1, kMemTiming[i]);
    l.put(kMemBank, 0x3F, 1, 8);
    for (u32 i = 0; i < 8; ++i)
        l.put(kMemBank, 0x40 + 3 * i, 3, 0x924924);
    for (u32 i = 0; i < 8; ++i)
        l.put(kMemBank, 0x58 + 3 * i, 3, 0x6DB6DB);
    l.put(kMemBank, 0x70, 4, 0x33333333);
    Sleep(kMemStepMs);
    l.put(kClockBank, 0x02, 1, 0x88);
    Sleep(kMemStepMs);
    l.put(kClockBank, 0x02, 1, 0xC8);
    Sleep(kMemStepMs);
    l.put(kClockBank, 0x04, 1, 0x61);
    Sleep(kMemSettleMs);

    // 18. V-by-One receivers.
    u32 rxMode = sys.PS_VBOTX_MODE == 1 ? kVboRxModeReg1 : kVboRxModeOther;
    // clang-format off
    l.put(kVboRxBank, {{0x7F, 1, 14}, {0x7F, 1, 15}, {0x40, 1, 5}, {0x4F, 1, 0x80}, {0x4C, 1, 0xA3},
                       {0x7F, 1, 13}, {0x7F, 1, 15}, {0x5C, 1, 5}, {0x6B, 1, 0x80}, {0x68, 1, 0xA3},
                       {0x7F, 1, 11}, {0x7F, 1, 15}});
    l.put(kVboRxBank, {{0x1C, 1, 0}, {0x0A, 2, 0x11}, {0x10, 1, 0xFF}, {0x13, 1, 0x11}, {0x18, 1, range},
                       {0x1C, 1, 1}, {0x08, 1, rxMode}, {0x0A, 2, 0x8011}, {0x7F, 1, 7}, {0x7F, 1, 15}});
    l.put(kVboRxBank, {{0x34, 1, 0}, {0x7A, 2, 0x11}, {0x28, 1, 0xFF}, {0x2B, 1, 0x11}, {0x78, 1, range},
                       {0x34, 1, 1}, {0x78, 1, rxMode}, {0x7A, 2, 0x8011}});
    // clang-format on
}

void x518_manage::set_rtct(int fd, int mode)
{
    const u8* row = kRtct[(mode >= 0 && u32(mode) < kRtctModes) ? mode : kRtctModes];
    // The window's bit on the control byte as the driver knows it (read
    // only when it does not), the seven bytes that change in one group.
    drv->update_x518_mask(fd, x518::kUpdateCtl, x518::kUpdateCtlOpen, x518::kUpdateCtlOpen, 0);
    x518_drv::RegOp ops[x518::kUpdateTimingRegs];
    for (int i = 0; i < x518::kUpdateTimingRegs; ++i)
        ops[i] = x518_drv::updateOp(x518::regAt(x518::kUpdateTiming, u32(i)), row[i]);
    drv->access_X518(fd, ops, x518::kUpdateTimingRegs);
    drv->update_x518_mask(fd, x518::kUpdateCtl, 0, x518::kUpdateCtlOpen, 0);
}
