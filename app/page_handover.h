// What workers and links ask of the pages from their own threads. They live
// below the pages and never include one: they call these functions, and the
// pages install what each request does when the main window is made. Each
// installed action carries its request into the GUI thread itself (a queued
// call), so these return at once. A request made while nothing is installed
// (a program or test without pages) is dropped.
#pragma once

#include <functional>

namespace pagehandover {

struct Actions {
    std::function<void()> transferStarted;  // show the update dialog
    std::function<void()> transferEnded;    // close it
    // Stored files of a tool page were received (`deleted` false) or
    // deleted (true): the page closes or relabels itself.
    std::function<void(bool deleted)> smartMappingFilesChanged;
    std::function<void(bool deleted)> recoveryFilesChanged;
};

// Replaces the installed actions (the GUI thread, at start).
void install(Actions actions);

// A file transfer or a USB upgrade started or ended; g_update_flag tells
// the tick that the dialog is up.
void transferStarted();
void transferEnded();
void smartMappingFilesChanged(bool deleted);
void recoveryFilesChanged(bool deleted);

}  // namespace pagehandover
