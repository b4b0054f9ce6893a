#pragma once

#include <expected>

#include "platform/process/process_types.h"

namespace ltf {

// Standard input on the null device, standard output and error captured; blocks until the
// child has exited and both streams have ended.
std::expected<ProcessOutput, ProcessError> RunToCompletion(const ProcessCommand& command);

// The child inherits our standard handles; its handles are closed at once, it is never waited for.
std::expected<void, ProcessError> StartAndRelease(const ProcessCommand& command);

}  // namespace ltf
