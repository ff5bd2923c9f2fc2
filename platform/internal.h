// Pieces shared by the back ends; not for code outside platform/.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform::detail {

// Sets the directory the box paths map under ("/" on the board).
void setBoxRoot(const std::string& dir);

// Removes every "NAME VALUE" / "NAME=VALUE" from argv and returns the last
// VALUE; "" for a NAME that ends argv, nothing when NAME is absent.
std::optional<std::string> takeOption(int& argc, char** argv, const std::string& name);

}  // namespace platform::detail
