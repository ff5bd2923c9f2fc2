// Putting the whole box back between test cases. The box is one process
// that never stops its threads nor drops its managers; a test program runs
// many boxes, one after the other, in one process, so after every case the
// test support puts back everything the box registered as process-wide
// (platform/box_state.h): it stops the threads, closes the pages and
// windows, drops the managers and singletons and gives every global and
// static its start value, as a fresh process has them.
#pragma once

// Stops every thread of the box: the managers' workers, the links, the USB
// watcher, the Wi-Fi threads and the control pipe's reader. Their objects
// stay. BoxTest's TearDown runs it while the case's box root still exists.
void stopBoxThreads();

// stopBoxThreads(), then closes every page and window, drops every
// manager and singleton (the next pInstance() makes a fresh one) and puts
// every global and static back to its start value. Runs after every case,
// whatever its fixture (tests/support/test_main.cpp), which then looks for
// what is still changed (left_state.h); may run at any time between cases;
// with nothing up it does nothing visible.
void putBoxBack();
