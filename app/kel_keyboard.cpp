#include "app/kel_keyboard.h"

#include "app/kel_keys.h"
#include "app/kelrampara.h"

#include <cstdio>

namespace {

// Index of `key` in `keys`, or -1.
template <size_t N>
int indexOf(const int (&keys)[N], int key)
{
    for (size_t i = 0; i < N; ++i)
        if (keys[i] == key)
            return static_cast<int>(i);
    return -1;
}

void selectWindow(KelRamPara* store, int window)
{
    // A hidden window is not selected; selecting the current one changes nothing.
    if (!(store->ram_para.image[window].enable & ram::kImageShown) || g_image_current.load() == window)
        return;
    g_image_current = static_cast<u8>(window);
    KelRamPara::test_signal(SYNC_PARA_CHANGED);
}

}  // namespace

void kel_keyboard::update_usb_keyEvent(int key)
{
    // Printed for every key, whatever the debug switch says.
    std::printf("\n======update_usb_keyEvent===== key = %#x\n", key);
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store || store->ram_para.panel_lock != 0)
        return;
    const int window = indexOf(keypad::kWindowKeys, key);
    if (window >= 0) {
        selectWindow(store, window);
        return;
    }
    const int source = indexOf(keypad::kSourceKeys, key);
    if (source >= 0) {
        store->KelSetImageSource(0, static_cast<char>(source), static_cast<char>(g_image_current.load()));
        return;
    }
    if (key == keypad::kFreezeKey)
        store->KelSetImageFreeze();
    else if (key == keypad::kBlackKey)
        store->KelSetImageBlack();
}
