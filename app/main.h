// The start-up sequence of the box's control program (app/main.cpp).
#pragma once

struct StartupOptions {
    // The sequence waits four seconds for the device threads to settle
    // before it shows the home page. Only tests turn the wait off.
    bool settleWait = true;
};

// Brings the box up in its fixed order and runs the event loop, which does
// not return while the box runs; returns the loop's result if it does.
// Uses the application object that already exists (a test's), else creates
// one from argc and argv. platform::init() has run before.
int kelR54N_main(int& argc, char** argv, const StartupOptions& options);
