// Pieces of the host back end shared between its files.
#pragma once

#include <string>

namespace platform::host {

void clearDevices();
void resetShell();
void installDefaultDevices();
// Makes the box root `dir` (a host path) and holds it for the rest of the
// process's life: the kernel's lock on its lock file, which the kernel
// lets go however the process ends. False, with one line on standard
// error, when the root cannot be made or written, or another box holds it
// (the line names the root and that box's process).
bool holdRoot(const std::string& dir);
// Gives up, for the process and every thread and child it makes from now
// on, every right to change files but beneath the box root `dir` (and the
// terminals and null device it opens): the kernel's Landlock, where it has
// it. Call before any other thread runs. What came of it, in words for the
// start-up line.
std::string confineToRoot(const std::string& dir);

}  // namespace platform::host
