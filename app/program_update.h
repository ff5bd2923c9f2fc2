// Replacing the application program. Both roads a new program takes (a
// control-link transfer and the USB upgrade) write it whole as
// /data/app/kelR54N2 beside the running one, read it back, and only then
// rename it over /data/app/kelR54N; the start record is mended and the box
// reboots. Whatever fails, the old program stays.
#pragma once

#include "app/global.h"

#include <cstddef>

namespace program_update {

constexpr const char* kAppDir = "/data/app";
constexpr const char* kProgramFile = "/data/app/kelR54N";
constexpr const char* kNewProgramFile = "/data/app/kelR54N2";
constexpr const char* kProgramName = "kelR54N";

// Writes `len` bytes as the new program (a new file, synced, renamed into
// place) and compares it with `data`, under the file's own lock
// (platform::FileLock): no other thread waits for it. On any failure the
// new program file is removed and false returned; `diskRefused`, when
// given, tells whether the disk took no file (full or read-only).
bool writeNewProgram(const u8* data, size_t len, bool* diskRefused = nullptr);
// Removes a new program file left behind (nothing when there is none).
void discardNewProgram();
// Rewrites the start record (group "app-1": "app_path" the expected start
// command, "app_name" kelR54N) when it did not hold the expected command at
// start-up (g_update_status 0).
void writeStartRecord();

}  // namespace program_update
