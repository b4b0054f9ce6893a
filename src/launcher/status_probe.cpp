#include "launcher/status_probe.h"

#include "launcher/companion.h"
#include "platform/text/contains_substring.h"
#include "platform/text/utf8_lossy.h"

namespace ltf {

ProcessCommand ProbeCommand() {
  return {u"tasklist", {u"/FI", u"IMAGENAME eq lanternfield.exe", u"/NH"}};
}

bool IsCompanionRunning(System& system) {
  const auto output = system.RunToCompletion(ProbeCommand());
  if (!output) {
    return false;
  }
  // Only standard output counts; the exit status and standard error are never looked at.
  const DecodedText text = DecodeUtf8Lossy(output->standard_output);
  return ContainsSubstring(text.View(), kCompanionImageName);
}

}  // namespace ltf
