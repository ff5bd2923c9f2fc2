// The USB key pad: finding it at start, and the keys it adds to the
// front-panel keys.
#pragma once

#include "app/global.h"

#include <Qt>

// 1 when a HID device with the key pad's vendor and product numbers is
// present, else 0 (also when the HID library cannot start).
int check_hiddev();

namespace keypad {

// Window keys: select window 0 to 3 (windows 4 and 5 have no key).
constexpr int kWindowKeys[] = {Qt::Key_B, Qt::Key_C, Qt::Key_E, Qt::Key_F};
// Source keys, by source id: DVI, HDMI1, HDMI2, HDMI3.
constexpr int kSourceKeys[] = {Qt::Key_J, Qt::Key_K, Qt::Key_L, Qt::Key_I};
constexpr int kFreezeKey = Qt::Key_N;
constexpr int kBlackKey = Qt::Key_P;

}  // namespace keypad
