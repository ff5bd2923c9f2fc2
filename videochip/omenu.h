// The overlay description file: the on-video text (or bitmap) overlay that
// a PC uploads as /data/configs/omenu.json and that a user mode keeps a
// copy of (/data/modes/MO<xx>.json). The reader turns such a file into an
// overlay list; the applier hands the list's first entry to the chip's OSD
// engine.
//
// The file is a JSON object:
//   "name" (string), "osdcount" (integer, 0 = no overlay), "oactcount"
//   (integer), "menu" (array of up to three entries, further ones ignored).
// An entry has "type" (0 text, 1 bitmap) and "status" ("on" shows it); a
// text entry also "pos" {x, y, w, h, optional "layer"}, "act" {effect,
// speed, staytime}, "backpara" {enable, color}, "fontpara" {startx, starty,
// fontw, fonth, wordspace, verticalspace, color} and "texts" (an array whose
// first element is the text, lines split at "\n"); a bitmap entry "pos",
// "act", "bmppara" and, beside it, "start" and "end". Integers may be JSON
// numbers or strings holding one. Colours are hexadecimal RRGGBB strings.
// A file whose osdcount is not 0 needs at least one "menu" entry. The file
// goes through the bounded JSON reader (app/bounded_json.h) first.
#pragma once

#include "app/global.h"

#include <string>
#include <vector>

// One overlay entry. The counts of the file are held in the list's first entry.
struct OMENU_PARA {
    i32 osdcount = 0;
    i32 oactcount = 0;
    i32 type = 0;        // 0 text, 1 bitmap
    std::string status;  // "on" shows the overlay
    i32 pos_x = 0, pos_y = 0, pos_w = 0, pos_h = 0;
    i32 effect = 0, speed = 0, staytime = 0;
    std::string backpara_enable;  // "off" = transparent background
    std::string backpara_color;   // RRGGBB
    std::string backpara_layer;   // "buttom" = below the video
    i32 startx = 0, starty = 0;   // text origin in the overlay plane
    i32 fontw = 0, fonth = 0;     // 32, 64 or 128
    i32 wordspace = 0, verticalspace = 0;
    std::string font_color;  // RRGGBB
    std::string texts;       // UTF-8, lines separated by "\n"
    i32 start = 0, end = 0;  // bitmap entries; nothing uses them
};

struct OSD_LIST {
    static constexpr int kEntries = 3;
    OMENU_PARA osd[kEntries];
};

// The list the apply pass reads /data/configs/omenu.json into and applies
// (chip manager thread only).
extern OSD_LIST g_osd_list;

// Reads the overlay file at `path` (a box path) into `list`. The list's
// osdcount is 0 unless the file was read whole. A missing file changes
// nothing else. A file that the JSON reader refuses (not JSON, too large,
// nested too deep) or that does not follow the schema (a missing key, an
// empty "menu", a value that is not an integer where one is needed) leaves
// the list as it was, osdcount 0, and is deleted: a new upload is needed.
// True when the file was read.
bool get_json_omenu_para(const char* path, OSD_LIST* list);

// Applies an entry (the list's first) to the chip manager's OSD engine;
// nothing when its osdcount is 0. Cuts the entry's pos_w and pos_y to the
// LED size. Chip manager thread, under x518_manage::mutex.
void set_OSD_para(OMENU_PARA* entry);

namespace omenu {

// Why the document `text` is no overlay file the reader would take (the
// JSON reader refuses it, or it does not follow the schema), or an empty
// string when it is one.
std::string fault(const std::string& text);

constexpr int kMaxLines = 64;       // text lines the chip's text buffer holds
constexpr int kMaxLineChars = 128;  // characters kept of each line

// An RRGGBB hexadecimal string (an optional "0x" accepted) as the chip's
// 0xBBGGRR; text that is not hexadecimal gives 0 (black).
u32 chipColour(const std::string& rrggbb);

// The OSD scroll mode of an entry's effect, or -1 for an effect without one.
int scrollModeOfEffect(int effect);

// The text split at every "\n" (empty lines kept), at most kMaxLines lines
// of at most kMaxLineChars code points each. Bytes that are not UTF-8 become
// U+FFFD.
std::vector<std::u32string> textLines(const std::string& utf8);

}  // namespace omenu
