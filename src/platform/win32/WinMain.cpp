// The program's entry: hands the module instance to the check run and makes
// its result the exit code. The command line is ignored.
#include <windows.h>

#include "check/CheckRun.h"
#include "platform/win32/Win32Platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  Win32Platform platform;
  return CheckRun(platform, instance);
}
