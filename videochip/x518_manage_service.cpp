// Fixed service sequences that the control protocol triggers through the
// box's register image: colour test bars, V-by-One receiver restarts,
// read-backs of input measurements, a capture-start shift and a clock and
// frame-lock test. None of them touches the manager's software model.
#include "videochip/x518_manage.h"

#include <cstdio>

namespace {

using x518::reg;

// Test bars of one channel bank.
struct Bars {
    u32 bank;
    u8 colour[3];
    u8 step[3];
};
constexpr Bars kOutputBars[] = {
    {0x08, {255, 255, 255}, {3, 3, 3}},
    {0x18, {255, 0, 0}, {3, 0, 0}},
    {0x28, {0, 255, 0}, {0, 3, 0}},
    {0x38, {0, 0, 255}, {0, 0, 3}},
};
constexpr Bars kInputBars[] = {
    {0x48, {255, 255, 255}, {3, 3, 3}},
    {0x58, {0, 255, 0}, {0, 3, 0}},
};
constexpr u32 kBarBanks[] = {0x08, 0x18, 0x28, 0x38, 0x48, 0x58};
constexpr u32 kBarModeOutput = 9, kBarModeInput = 0x89, kBarOff = 0;
constexpr u32 kBarX = 160, kBarY = 0, kBarHeight = 32;
constexpr u32 kBarWidthOutput = 1376, kBarWidthInput = 2752;
enum : u32 {
    kBarMode = 0x57,
    kBarZero = 0x58,
    kBarXReg = 0x5B,
    kBarYReg = 0x5D,
    kBarHReg = 0x5F,
    kBarWReg = 0x61,
    kBarColour = 0x63,
    kBarStep = 0x66
};

// V-by-One receiver restarts (bank 2).
constexpr u32 kRxSelect = reg(0x02, 0x7F, 1);
constexpr u32 kSelectRx1 = 14, kSelectRx2 = 13, kSelectRelease = 15;
struct RxRestart {
    u32 select;
    u32 control, lanes, range;
};
constexpr RxRestart kRx1 = {kSelectRx1, reg(0x02, 0x40, 1), reg(0x02, 0x4F, 1), reg(0x02, 0x4C, 1)};
constexpr RxRestart kRx2 = {kSelectRx2, reg(0x02, 0x5C, 1), reg(0x02, 0x6B, 1), reg(0x02, 0x68, 1)};
constexpr u32 kRxControlOn = 5, kRxAllLanes = 0xFF, kRxRange = 0xAB;

// Read-backs.
constexpr u32 kLineMeasures[] = {reg(0xAE, 0x40, 2), reg(0xAE, 0x42, 2), reg(0xAE, 0x44, 2), reg(0xAE, 0x46, 2)};
constexpr u32 kFrameMeasures[] = {reg(0xAE, 0x5C, 3), reg(0xAE, 0x5F, 3), reg(0xAE, 0x62, 3), reg(0xAE, 0x65, 3)};
const char* const kLineNames[] = {"B174_VI11FHM", "B174_VI13FHM", "B174_VI15FHM", "B174_VI17FHM"};
const char* const kFrameNames[] = {"B174_VI11FVM", "B174_VI13FVM", "B174_VI15FVM", "B174_VI17FVM"};
constexpr u32 kDualCtlCh56 = reg(0x03, 0x1A, 1);
constexpr u32 kCaptureHstCh5 = reg(0x50, 0x17, 2);
constexpr u32 kCaptureShift = 100;

// Clock and frame-lock tests.
constexpr u32 kClockWords[][2] = {
    {reg(0x00, 0x48, 1), 0x89}, {reg(0x00, 0x49, 1), 0x43}, {reg(0x00, 0x4A, 1), 2}, {reg(0x00, 0x4B, 1), 0x10}};
constexpr u32 kOutSyncCtl = reg(0x08, 0x18, 2);
constexpr u32 kOutTestCtl = reg(0x08, 0x0F, 1);
constexpr u32 kOutSyncSource = reg(0x08, 0x08, 2);
constexpr u32 kOutVtotal = reg(0x08, 0x0C, 2);
constexpr u32 kTestInputOn = 0xC4, kFrameLockOn = 4, kFrameLockSource = 3, kFrameLockVtotal = 5612;
constexpr int kTestInputMs = 100;

void writeBars(x518_drv* drv, int fd, const Bars& b, bool input)
{
    auto w = [&](u32 address, u32 width, u32 value) { drv->write_X518(fd, reg(b.bank, address, width), value, 0); };
    w(kBarMode, 1, input ? kBarModeInput : kBarModeOutput);
    for (u32 a = kBarZero; a < kBarXReg; ++a)
        w(a, 1, 0);
    w(kBarXReg, 2, kBarX);
    w(kBarYReg, 2, kBarY);
    w(kBarHReg, 2, kBarHeight);
    w(kBarWReg, 2, input ? kBarWidthInput : kBarWidthOutput);
    for (u32 i = 0; i < 3; ++i)
        w(kBarColour + i, 1, b.colour[i]);
    for (u32 i = 0; i < 3; ++i)
        w(kBarStep + i, 1, b.step[i]);
}

void restartRx(x518_drv* drv, int fd, const RxRestart& rx)
{
    drv->write_X518(fd, kRxSelect, rx.select, 0);
    drv->write_X518(fd, kRxSelect, kSelectRelease, 0);
    drv->write_X518(fd, rx.control, kRxControlOn, 0);
    drv->write_X518(fd, rx.lanes, kRxAllLanes, 0);
    drv->write_X518(fd, rx.range, kRxRange, 0);
}

}  // namespace

void x518_manage::input_slidebar(int fd)
{
    for (const Bars& b : kInputBars)
        writeBars(drv, fd, b, true);
    KEL_DBG("\n input_slidebar over ");
}

void x518_manage::output_slidebar(int fd)
{
    for (const Bars& b : kOutputBars)
        writeBars(drv, fd, b, false);
    KEL_DBG("\n output_slidebar over ");
}

void x518_manage::disable_slidebar(int fd)
{
    for (u32 bank : kBarBanks)
        drv->write_X518(fd, reg(bank, kBarMode, 1), kBarOff, 0);
    KEL_DBG("\n disable_slidebar over ");
}

void x518_manage::vbyone_rx_ch1_seq(int fd)
{
    restartRx(drv, fd, kRx1);
    KEL_DBG("\n vbyone_rx_ch1_seq over ");
}

void x518_manage::vbyone_rx_ch2_seq(int fd)
{
    restartRx(drv, fd, kRx2);
    KEL_DBG("\n vbyone_rx_ch2_seq over ");
}

void x518_manage::read_x518_b174bug(int fd)
{
    for (int i = 0; i < 4; ++i)
        KEL_DBG("\n read_x518_b174bug(%s=%d ) over \n", kLineNames[i],
                int(drv->read_X518(fd, kLineMeasures[i], 0) + 1));
    for (int i = 0; i < 4; ++i)
        KEL_DBG("\n read_x518_b174bug(%s=%d ) over \n", kFrameNames[i],
                int(drv->read_X518(fd, kFrameMeasures[i], 0) + 1));
    KEL_DBG("\n read_x518_b174bug(B3_IDUALCTCH56=%d ) over \n", int(drv->read_X518(fd, kDualCtlCh56, 0)));
}

void x518_manage::write_read_x518_b80_iacthstch5(int fd)
{
    const u32 first = drv->read_X518(fd, kCaptureHstCh5, 0);
    drv->write_X518(fd, kCaptureHstCh5, first + kCaptureShift, 0);
    drv->read_X518(fd, kCaptureHstCh5, 0);
    KEL_DBG("\n write_read_x518_b80_iacthstch5(B80_IACTHSTCH5=%d ) read \n", int(first));
}

void x518_manage::sync_x518_device_test_input(int fd)
{
    for (const auto& cw : kClockWords)
        drv->write_X518(fd, cw[0], cw[1], 0);
    drv->write_X518(fd, kOutSyncCtl, 1, 0);
    drv->write_X518(fd, kOutTestCtl, kTestInputOn, 0);
    Sleep(kTestInputMs);
    drv->write_X518(fd, kOutTestCtl, 0, 0);
    KEL_DBG("\n sync_x518_device_test_input over ");
}

void x518_manage::sync_x518_device_test_frame_lock(int fd)
{
    drv->write_X518(fd, kOutTestCtl, kFrameLockOn, 0);
    drv->write_X518(fd, kOutSyncSource, kFrameLockSource, 0);
    drv->write_X518(fd, kOutSyncCtl, 1, 0);
    for (int k = 0; k < kChannels; ++k)
        drv->write_X518(fd, kOutVtotal, kFrameLockVtotal, x518::kChannelStride * u32(k));
    KEL_DBG("\n sync_x518_device_test_frame_lock over ");
}
