// Pieces shared by the back ends; not for code outside platform/.
#pragma once

#include <string>
#include <vector>

namespace platform::detail {

// Sets the directory the box paths map under ("/" on the board).
void setBoxRoot(const std::string& dir);

// Removes "--box-root DIR" / "--box-root=DIR" from argv; returns DIR or "".
std::string takeBoxRootOption(int& argc, char** argv);

}  // namespace platform::detail
