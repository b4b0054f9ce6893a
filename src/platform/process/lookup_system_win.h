#pragma once

#include "platform/process/program_lookup.h"

namespace ltf {

// Program lookup as Windows answers it.
LookupSystem& WindowsLookupSystem();

}  // namespace ltf
