#pragma once

#include "launcher/system.h"

namespace ltf {

// The real services; stateless, so one instance serves the whole process.
System& WindowsSystem();

}  // namespace ltf
