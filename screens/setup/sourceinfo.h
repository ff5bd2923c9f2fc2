// The four video inputs as the LCD pages present them: fixed names, the
// order in which pages list them (HDMI1, HDMI2, HDMI3, DVI), caption styles
// and pictures. Pure functions of their arguments; alias names are not
// here (alias.h): a page asks the alias file first and falls back to these.
#pragma once

#include "app/global.h"

#include <QString>

class QLabel;
class TabCaption;

class sourceinfo {
public:
    sourceinfo() = delete;

    // "DVI", "HDMI1", "HDMI2", "HDMI3" by source id; empty above 3.
    static QString get_source_name_by_sourceid(u8 id);
    // The name at list position 0-3; empty above 3.
    static QString get_source_name_by_listseq(u8 seq);
    // Source id at a list position (0 -> 1, 1 -> 2, 2 -> 3, anything else DVI).
    static u8 get_source_id_by_listseq(u8 seq);
    // List position of a source id (0 -> 3, 1 -> 0, 2 -> 1, 3 -> 2, anything else 0).
    static u8 get_listseq_by_source_id(u8 id);
    // A rich-text format with "%1" for the name: green for the HDMI 2.0
    // input, white for the others.
    static QString get_source_specialstyle0_by_sourceid(u8 id);
    // The input's name on `label` as that format draws it, in plain text
    // (a label of rich text builds a text document of its own).
    static void showSourceName(QLabel* label, u8 id);
    // The name followed by the count in brackets, in blue ("HDMI1(3)");
    // empty for an id above 3. The name is put in unchanged.
    static QString get_source_specialstyle1_by_sourceid(u8 id, QString name, u8 count);
    // An input tab as those two formats draw it: the input's name, or `name`
    // followed by `count` in brackets; a tab is left as it was for an id
    // above 3.
    static void showTabName(TabCaption* tab, u8 id);
    static void showTabCount(TabCaption* tab, u8 id, const QString& name, u8 count);
    // The input's picture, or its picture by online state; a label is left
    // as it was for an id above 3. Neither scales the picture.
    static void set_source_pixmap(QLabel* label, u8 id);
    static void set_sourceonline_pixmap(QLabel* label, u8 id, u8 online);
};
