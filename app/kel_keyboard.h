// The USB key pad's keys as they act on the parameter block. Every page
// hands each released key here (pages::passKeyToKeyPad), whatever the page
// did with it.
#pragma once

class kel_keyboard {
public:
    // Applies a key-pad key: window keys select the current window (a
    // shown one), source keys put a source on it, freeze and black toggle
    // its picture. Nothing happens while the panel keys are locked, nor for
    // any other key.
    void update_usb_keyEvent(int key);
};
