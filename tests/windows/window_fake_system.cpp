// The window code reaches the system only through WindowsSystem(); here it is a recording fake.
#include "launcher/windows_system.h"
#include "native/launcher_fake_system.h"

namespace ltf {

System& WindowsSystem() {
  static testing::FakeSystem system;
  return system;
}

}  // namespace ltf
