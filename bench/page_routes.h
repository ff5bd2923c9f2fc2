// The routes of front-panel keys the page benches take (bench/bench_pages,
// bench/bench_counts): from the home page to a page, which then closes with
// BACK and opens again (its second opening), and a few keys inside it.
#pragma once

#include "app/global.h"

#include <cstddef>
#include <vector>

namespace page_routes {

struct Route {
    const char* name;
    PAGE_FOCUS page;                  // the page the route ends on
    std::vector<const char*> keys;    // from the home page; the last opens the page
    std::vector<const char*> inside;  // keys inside the page, after it was opened again
};

// Focus moves inside a page.
inline const std::vector<const char*> kMoves = {"right", "right", "left"};

// The main menu's entries lie in the order device information, input
// choice, user modes, options; the options page's in the order output
// settings, input crop, window layout, communication, picture quality,
// test patterns; the picture-quality menu's first entry is the picture
// quality page, whose first row is the brightness.
inline const Route kRoutes[] = {
    {"user_modes_by_mode_key", PAGE_USER_MODES, {"mode"}, kMoves},
    {"main_menu", PAGE_MAIN_MENU, {"ok"}, kMoves},
    {"device_info", PAGE_DEVICE_INFO, {"ok", "ok"}, kMoves},
    {"input_choice", PAGE_INPUT_CHOICE, {"ok", "right", "ok"}, kMoves},
    {"user_modes_from_menu", PAGE_USER_MODES, {"ok", "right", "right", "ok"}, kMoves},
    {"options", PAGE_OPTIONS, {"ok", "right", "right", "right", "ok"}, kMoves},
    {"output_settings", PAGE_OUTPUT_SETTINGS, {"ok", "right", "right", "right", "ok", "ok"}, kMoves},
    {"input_crop", PAGE_INPUT_CROP, {"ok", "right", "right", "right", "ok", "right", "ok"}, kMoves},
    {"window_layout", PAGE_WINDOW_LAYOUT, {"ok", "right", "right", "right", "ok", "right", "right", "ok"}, kMoves},
    // clang-format off
    {"communication", PAGE_COMMUNICATION, {"ok", "right", "right", "right", "ok", "right", "right", "right", "ok"}, kMoves},
    {"picture_quality", PAGE_PICTURE_QUALITY_MENU, {"ok", "right", "right", "right", "ok", "right", "right", "right", "right", "ok"}, kMoves},
    {"test_patterns", PAGE_TEST_PATTERNS, {"ok", "right", "right", "right", "ok", "right", "right", "right", "right", "right", "ok"}, kMoves},
    // clang-format on
    // The brightness edited: OK begins the edit, RIGHT steps the value
    // twice, BACK ends the edit.
    {"quality_value",
     PAGE_QUALITY,
     {"ok", "right", "right", "right", "ok", "right", "right", "right", "right", "ok", "ok"},
     {"right", "ok", "right", "right", "back"}},
};

// The keys of a run: the route, BACK, the route's last key again, then
// the keys inside the page.
inline std::vector<const char*> runKeys(const Route& route)
{
    std::vector<const char*> keys = route.keys;
    keys.push_back("back");
    keys.push_back(route.keys.back());
    keys.insert(keys.end(), route.inside.begin(), route.inside.end());
    return keys;
}

// Where the route's page is open: after its first opening and after the second.
inline size_t firstOpening(const Route& route)
{
    return route.keys.size() - 1;
}
inline size_t secondOpening(const Route& route)
{
    return route.keys.size() + 1;
}

}  // namespace page_routes
