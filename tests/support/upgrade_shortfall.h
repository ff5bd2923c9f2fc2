// What a USB upgrade run left out of what the stick holds, and why, set on
// the worker as a run would leave it, for the tests and the gallery to show
// on the upgrade page.
#pragma once

#include "fpga/fpga_manage.h"

// No package found, packages refused or not read, parts the stick did not
// give or of another product (RunPart bits), packages beyond a run's most;
// the application not installed (the stick was pulled after it was
// written); the font not installed as the video chip did not answer; the
// files whose name is not valid UTF-8 (one a line, as the console writes
// them).
struct RunShortfall {
    bool noPackage = false;
    u16 refused = 0, unreadPackages = 0, skipped = 0;
    u8 unreadParts = 0, foreignParts = 0;
    bool applicationFailed = false;
    bool fontChipSilent = false;  // the video chip did not answer for the font
    QString misnamed = QString();
};

inline void setRunShortfall(fpga_manage* worker, const RunShortfall& s)
{
    worker->no_package = s.noPackage;
    worker->refused_packages = s.refused;
    worker->unread_packages = s.unreadPackages;
    worker->skipped_packages = s.skipped;
    worker->unread_parts = s.unreadParts;
    worker->foreign_parts = s.foreignParts;
    worker->application_failed = s.applicationFailed;
    worker->font_chip_silent = s.fontChipSilent;
    worker->misnamed_packages.set(s.misnamed);
}
