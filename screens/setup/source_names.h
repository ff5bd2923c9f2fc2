// What the video set-up pages show of the inputs and their crops, the
// operator's alias names (alias.h) first: the input tabs with their entry
// counts, crop names and an input's timing.
#pragma once

#include "app/ram_para.h"

#include <QString>

class QFont;
class QLabel;
class TabCaption;

namespace sourcenames {

// The alias of entry `id` of alias list `list` ("source", "win", "crop"),
// or empty when it has none.
QString alias(const char* list, int id);
// `text` cut at the right with an ellipsis to `width` pixels of `font`.
QString elided(const QString& text, const QFont& font, int width);

// How many crops of `source` the pages list, in crop-number order: those
// the crop-exists bitmap holds, as KelGetCropID numbers them (the caller
// rebuilds the bitmap first when the table may have changed).
int listedCrops(u8 source);

// The four input tabs as a page builds them, by list position: each
// input's name in its caption style and its picture.
void fillSourceTabs(TabCaption* const names[ram::kSources], QLabel* const pictures[ram::kSources]);

// The four input tabs, `tabs` by list position (HDMI1, HDMI2, HDMI3, DVI):
// the input's alias (cut to the tab less 16 pixels at 9 pixels) or its
// name, then `entries[source id]` in brackets.
void labelSourceTabs(TabCaption* const tabs[ram::kSources], const u8 entries[ram::kSources]);

// The name of crop record `record`, whose key is `key`: its alias, cut to
// `width` pixels of `font`, else `sourceName` + "_crop" + its crop number.
QString cropName(const QString& sourceName, int record, u16 key, const QFont& font, int width);

// An input's timing, "1920x1080@60Hz", or the no-signal text of the page
// language when any of the three is 0.
QString inputTiming(u8 source);

}  // namespace sourcenames
