// Whole-file copies on a thread of their own ("file-copy"): the copy of
// the overlay that goes with a saved user mode may hold 5 MiB, and a slow
// disk takes seconds to sync it; the GUI thread hands each copy over here
// and hears of its end, so that it waits for no disk.
#pragma once

#include <QObject>
#include <functional>
#include <string>

namespace filecopy {

// How a copy ended: written (read back through the rename of a whole-file
// write), nothing to copy (the source missing or refused, told as a
// reader tells it), or the destination not written (the old one stays).
enum class Result { Copied, NothingToCopy, Failed };
using Done = std::function<void(Result)>;

// Copies the box file `from` (at most `largest` bytes) over `to`, whole
// (platform::writeFileAtomic), after the copies handed over before it;
// then `done` runs on the thread of `context`, queued. Any thread.
void post(const std::string& from, const std::string& to, size_t largest, QObject* context, Done done);

}  // namespace filecopy
