// The front panel driven from outside: the keys, a touch and the LCD's
// picture, as the commands `key`, `touch` and `lcd` of the simulated box's
// control pipe (docs/simulated-box.md), and beside them `canvas`, the LED
// canvas's picture (app/video_canvas.h). The commands arrive on the pipe's
// thread; those that touch widgets are carried out in the GUI thread.
//
// The windows on the LCD are stacked as the board's frame buffer stacks
// them: the window shown or raised last lies on top. Keys go where the
// panel's keys go: to an open popup, else to the modal box that is up, else
// to the topmost window; a touch goes to the widget under it, and a modal
// box keeps it from the windows outside itself.
#pragma once

class QImage;

namespace panel {

// Starts watching the program's windows (call before the first is shown)
// and adds the commands, on a simulated box only. Start-up calls it once; a
// later call does nothing.
void installControl();

// What the LCD shows now, 320 x 240: every visible window of the program in
// its stacking order, each at its place over the main window. GUI thread.
QImage lcdPicture();

}  // namespace panel
