// Stands in for the companion: leaves a file named "companion-started" beside itself.
#include <windows.h>

#include "platform/paths/path_services.h"
#include "platform/unique_handle_win.h"

int main() {
  const ltf::Path marker = ltf::JoinPath(ltf::InstallDirectory(), u"companion-started");
  const ltf::UniqueHandle file(CreateFileW(reinterpret_cast<const wchar_t*>(marker.c_str()),
                                           GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.Valid() ? 0 : 1;
}
