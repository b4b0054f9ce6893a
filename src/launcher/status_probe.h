#pragma once

#include "launcher/system.h"
#include "platform/process/process_types.h"

namespace ltf {

// tasklist filtered to the companion's image name, without column headings.
ProcessCommand ProbeCommand();

// Any failure to run the probe answers false: the caller cannot tell it from a stopped companion.
bool IsCompanionRunning(System& system);

}  // namespace ltf
