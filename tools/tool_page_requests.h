// What the control links ask of the LED-screen tool pages from their own
// threads. Each request is carried into the GUI thread, and only there does
// it look at which page has focus: the page may have closed on the way.
#pragma once

namespace toolpages {

// Smart-mapping files were received (`deleted` false) or deleted (true):
// the smart-mapping page, when it has focus, closes as by its back key (it
// refuses while a job's round progress bar is up); after a deletion the
// options page, when it has focus, relabels itself.
void smartMappingFilesChanged(bool deleted);
// Recovery files were received or deleted: after a deletion the recovery
// page, when it has focus, closes as by its back key (refused while its bar
// is up); the advanced-options page, when it has focus, relabels itself and
// recounts the recovery files.
void recoveryFilesChanged(bool deleted);

}  // namespace toolpages
