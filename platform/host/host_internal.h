// Pieces of the host back end shared between its files.
#pragma once

#include <string>

namespace platform::host {

void clearDevices();
void resetShell();
void installDefaultDevices();

}  // namespace platform::host
