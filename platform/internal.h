// Pieces shared by the back ends; not for code outside platform/.
#pragma once

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

// Removes every "NAME VALUE" / "NAME=VALUE" from argv and returns the last
// VALUE; "" for a NAME that ends argv, nothing when NAME is absent.
std::optional<std::string> takeOption(int& argc, char** argv, const std::string& name);

}  // namespace platform::detail
