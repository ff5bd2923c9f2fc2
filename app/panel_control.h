// The front panel driven from outside: the keys, a touch and the LCD's
// picture, as the commands `key`, `touch` and `lcd` of the simulated box's
// control pipe (docs/simulated-box.md), and beside them `canvas`, the LED
// canvas's picture (app/video_canvas.h). The commands arrive on the pipe's
// thread; those that touch widgets are carried out in the GUI thread.
//
// The windows on the LCD are stacked as the board's frame buffer stacks
// them: the window shown or raised last lies on top. Keys and touches
// enter where the board's input plugins hand theirs in, on the window
// system's side of Qt: a key for the topmost window or dialog (the one the
// board's screen makes active), a touch for the topmost window under the
// point. From there Qt's own rules carry them, as on the board: an open
// popup takes every key and touch, and a press outside it closes it; a
// modal box keeps both from the windows it covers; a key goes to the
// window's focus widget, a touch to the widget under it.
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
