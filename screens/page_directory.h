// Where each page is opened from a number: the menus' entries, the main
// window's buttons and the MODE key all come here, so that a page that
// lands is wired in one line (page_directory.cpp).
#pragma once

#include "app/global.h"

namespace pages {

// Opens page `page` over the page on top (modal; returns when it has
// closed).
void openPage(PAGE_FOCUS page);

// The user-mode page (CustomMode, page 4), shown without a modal loop over
// the main window: the main window's user-mode button and every MODE key
// (after closing the pages above the main window) end here.
void openUserModePage();

}  // namespace pages
