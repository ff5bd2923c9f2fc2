#include "app/video_canvas.h"

#include "app/kelrampara.h"
#include "app/png_stream.h"
#include "platform/platform.h"

#include <memory>

namespace videocanvas {

namespace {

// The canvas layout the parameter block publishes; false without a store.
bool publishedLayout(platform::CanvasLayout& layout)
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return false;
    const KEL_RAM_PARA& block = store->ram_para;
    layout.across = block.och_num_h;
    layout.down = block.och_num_v;
    layout.x = block.led_x;
    layout.y = block.led_y;
    layout.width = block.led_width;
    layout.height = block.led_height;
    return true;
}

}  // namespace

QImage picture()
{
    platform::CanvasLayout layout;
    if (!publishedLayout(layout))
        return QImage();
    platform::Canvas canvas = platform::videoCanvas(layout);
    if (canvas.empty())
        return QImage();
    return QImage(reinterpret_cast<const uchar*>(canvas.pixels.data()), canvas.width, canvas.height,
                  canvas.width * int(sizeof(uint32_t)), QImage::Format_RGB32)
        .copy();  // the pixels go with the canvas
}

std::string write()
{
    platform::CanvasLayout layout;
    std::string png;
    std::unique_ptr<PngStream> stream;
    auto keep = [&png](const char* data, size_t len) {
        png.append(data, len);
        return true;
    };
    const bool drawn =
        publishedLayout(layout) && platform::videoCanvasBands(layout, [&](const platform::CanvasBand& b) {
            if (!stream)
                stream = std::make_unique<PngStream>(b.width, b.height, keep);
            return stream->addRows(b.pixels, b.rows);
        });
    if (!drawn)
        return "the video chip shows no canvas (no chip, or no output panel set up)";
    if (!stream->finish())
        return "cannot encode the canvas";
    return platform::writeFileAtomic(kPicture, png.data(), png.size()) ? std::string()
                                                                       : std::string("cannot write ") + kPicture;
}

}  // namespace videocanvas
