// The picture on the LED canvas, as the video chip's output shows it, for a
// person or a test to look at on a simulated box (docs/simulated-box.md).
#pragma once

#include <QImage>
#include <string>

namespace videocanvas {

constexpr const char* kPicture = "/sim/canvas.png";

// The chip's output channels tiled and cut as the parameter block publishes
// them (channels across and down, the LED canvas's place and size); a null
// image when there is nothing to draw (the board, or no panel yet).
QImage picture();

// Writes the same picture to kPicture under the box root as a PNG file,
// drawn and encoded a band of rows at a time: what it holds is the encoded
// file, never the picture. Empty when done, else the reason it was not.
std::string write();

}  // namespace videocanvas
