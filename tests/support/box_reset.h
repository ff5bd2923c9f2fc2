// Putting the whole box back between test cases. The box is one process
// that never stops its threads nor drops its managers; a test program runs
// many boxes, one after the other, in one process, so after every case the
// test support stops what the case started and brings every manager,
// page, hand-over and global back to how a fresh process has them.
#pragma once

// Stops every thread of the box: the managers' workers, the links, the USB
// watcher, the Wi-Fi threads and the control pipe's reader. Their objects
// stay. BoxTest's TearDown runs it while the case's box root still exists.
void stopBoxThreads();

// stopBoxThreads(), then closes every page and window, drops every
// manager and singleton (the next pInstance() makes a fresh one), clears
// the hand-overs and gives every global its start value. Runs after every
// case, whatever its fixture (tests/support/test_main.cpp), and may run at
// any time between cases; with nothing up it does nothing visible.
void putBoxBack();
