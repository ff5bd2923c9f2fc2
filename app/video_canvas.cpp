#include "app/video_canvas.h"

#include "app/kelrampara.h"
#include "platform/platform.h"

#include <QBuffer>
#include <QByteArray>

namespace videocanvas {

QImage picture()
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return QImage();
    const KEL_RAM_PARA& block = store->ram_para;
    platform::CanvasLayout layout;
    layout.across = block.och_num_h;
    layout.down = block.och_num_v;
    layout.x = block.led_x;
    layout.y = block.led_y;
    layout.width = block.led_width;
    layout.height = block.led_height;
    platform::Canvas canvas = platform::videoCanvas(layout);
    if (canvas.empty())
        return QImage();
    return QImage(reinterpret_cast<const uchar*>(canvas.pixels.data()), canvas.width, canvas.height,
                  canvas.width * int(sizeof(uint32_t)), QImage::Format_RGB32)
        .copy();  // the pixels go with the canvas
}

std::string write()
{
    const QImage image = picture();
    if (image.isNull())
        return "the video chip shows no canvas (no chip, or no output panel set up)";
    QByteArray png;
    QBuffer out(&png);
    out.open(QIODevice::WriteOnly);
    if (!image.save(&out, "PNG"))
        return "cannot encode the canvas";
    return platform::writeFileAtomic(kPicture, png.constData(), size_t(png.size()))
               ? std::string()
               : std::string("cannot write ") + kPicture;
}

}  // namespace videocanvas
