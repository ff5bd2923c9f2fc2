// Pieces shared by the back ends; not for code outside platform/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>
#include <optional>
#include <string>
#include <vector>

namespace platform::detail {

// Sets the directory the box paths map under ("/" on the board).
void setBoxRoot(const std::string& dir);

// The simulated box's disk faults: while `error` is not 0 (ENOSPC, EROFS),
// the whole-file writes, folder creations and removals under /data fail
// with it. Only the host back end sets it; 0 on the board.
void setDataWriteFault(int error);

// The simulated box's slow disk: while `msPerMiB` is not 0, the sync of
// every whole file written under /data (writeFileAtomic) waits that many
// milliseconds for each MiB the file holds before it syncs. Set to 0, every
// sync that waits goes on at once. Only the host back end sets it.
void setSyncPace(uint32_t msPerMiB);
// The syncs waiting for the slow disk now.
int syncsWaiting();

// True, with the console line leadsOutOfRoot() writes, when the folder that
// holds `boxPath` (with `itself`, the path itself), or the nearest of its
// parents that exists, lies outside the box root once every symbolic link
// on the way is followed: nothing is written, made or removed through it,
// as nothing would be read there. False on the board, whose root is "/".
bool leavesRoot(const std::string& boxPath, bool itself);

// Opens a file the simulated box keeps for its devices and changes in place
// (a flash partition, an EEPROM, a journal appended to), with open()'s
// `flags` (O_CREAT makes a missing one). Only a plain file of its own
// inside the box root is opened, looked at before and again once open
// (heldInPlace), never waited on (a FIFO), never through a symbolic link
// (one inside the root too: it may lead to a file the box keeps) nor a
// folder outside the root, never one with a second name (a hard link); a
// missing one is made afresh. What stands there otherwise is refused with
// notPlainFile()'s console line, told once, and left as it is: -1 with
// errno EPERM. -1 with open()'s errno when it cannot be opened.
int openInPlace(const std::string& boxPath, int flags);
// For a file the simulator holds open and changes in place (opened by
// openInPlace): true while `boxPath` still names that very file, a plain
// file of its own (no other name) inside the box root, in a folder that
// leads nowhere out of it. A folder moved out of the root and linked back,
// a file given a second name, are refused with the console line, told
// once; false too, without a word, when another file or none stands at its
// name now. Looked at before every change.
bool heldInPlace(int fd, const std::string& boxPath);
// Whether the host path `p`, looked at without following a symbolic link,
// names the very file open at `fd` (the same device and inode).
bool sameFileAt(int fd, const std::string& p);

// Whether the host path `p` is a folder, following a symbolic link, asked
// of the C library alone (std::filesystem's look at a file dated past 2038
// fails on the 32-bit box).
bool isFolder(const std::string& p);
// The names in the folder at host path `p` but "." and "..", as the disk
// holds them (none when it cannot be read).
std::vector<std::string> namesIn(const std::string& p);

// Removes what stands at the host path `p`, a folder with everything in it,
// never following a symbolic link (a link is removed itself). Looked at
// with lstat alone, so a file dated past 2038 is removed as any other.
// False, with errno, when something stays.
bool removeTree(const std::string& p);

// Writes all `len` bytes of `data` at `offset` of the file open at `fd`,
// taking the short writes and the interrupted ones in turn. False, with
// errno, when the file takes no more.
bool writeAllAt(int fd, const void* data, size_t len, off_t offset);

// Makes the folder at the host path `p` and each folder on the way to it
// that is not there yet, from the nearest one that is, but never one whose
// path is `lowest` characters long or shorter (the root, and what holds it,
// are there already). False, with errno, when `p` is no folder after it.
bool makeFolders(const std::string& p, size_t lowest);

// Removes every "NAME VALUE" / "NAME=VALUE" from argv and returns the last
// VALUE; "" for a NAME that ends argv, nothing when NAME is absent.
std::optional<std::string> takeOption(int& argc, char** argv, const std::string& name);

}  // namespace platform::detail
