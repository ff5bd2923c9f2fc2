// The window layout page: page 9, opened from the settings menu. It shows
// one of windows 1-4 at a time, as the parameter block holds it: name,
// source, on or off, dot-by-dot arrangement, place on the LED canvas and
// mirror mode. LEFT and RIGHT step through the windows, and the window shown
// becomes the current window of the whole user interface (g_image_current);
// OK opens the input choice, where the operator gives it a source. The page
// itself writes nothing into the block.
#pragma once

#include "app/ram_para.h"
#include "screens/page.h"

namespace Ui {
class ImageLayout;
}

class ImageLayout : public Page {
    Q_OBJECT
public:
    static constexpr int kWindows = 4;  // windows 1-4 are stepped through
    static constexpr int kMirrorModes = 4;

    explicit ImageLayout(QWidget* parent = nullptr);
    ~ImageLayout() override;

    // The texts, and the window shown: the current window, as the block
    // holds it now (also when the input choice opened from here closes).
    void language_changed() override;
    // Follows the block and the current window.
    void syncUpdate(int code) override;

    // ---- what the tests look at
    u8 shownWindow() const { return image_index; }

protected:
    void onLeft() override;
    void onRight() override;
    void onOk() override;

private:
    void stepWindow(int step);
    void image_init();
    void image_para_update();
    void mirror_select(int mode);
    void dbdSelect(const IMAGE_PARA& window);

    Ui::ImageLayout* ui;
    u8 image_index = 0;
};
