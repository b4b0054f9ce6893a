// Stands in for the companion in the demo and end-to-end runs: it only stays alive until it is
// ended, so that the task list has something to find.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  Sleep(INFINITE);
  return 0;
}
