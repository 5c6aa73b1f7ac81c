// The program's entry, in place of a C runtime's start-up (Windows 95 as it
// shipped has no C runtime to import, and the program needs none): it hands
// the module instance to the check run and ends the process with the run's
// result as the exit code. The command line is ignored.
//
// Of what a compiler may call on its own, only the stack probe for frames
// larger than a page (the report buffer's) is needed, and it comes from
// libgcc; should the compiler ever call memset or the like, the link fails
// and names it.
#include <windows.h>

#include "check/CheckRun.h"
#include "platform/win32/Win32Platform.h"

// Named in the link options as the image's entry point.
//
// Where a playback or a close of the wave device never returned (a sound
// system that died or hangs), its thread is still inside the driver, and
// ExitProcess would have every DLL's clean-up wait on that driver, perhaps
// for ever; the process is then ended at once instead. The settings have
// been written and the report dismissed by then.
extern "C" void KalvornEntry() {
  int exitCode = 0;
  bool leftWorkRunning = false;
  {
    Win32Platform platform;
    exitCode = CheckRun(platform, GetModuleHandleA(0));
    leftWorkRunning = platform.LeftWorkRunning();
  }
  if (leftWorkRunning) {
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCode));
  }
  ExitProcess(static_cast<UINT>(exitCode));
}
