#pragma once

#include "brisklane/host_abi.h"

namespace bl {

// Installs every row of the patch table into the suites found at start-up.
void install_patch_table();

}  // namespace bl
