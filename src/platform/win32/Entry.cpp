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
#include "check/Settings.h"
#include "platform/win32/Win32Platform.h"

// Named in the link options as the image's entry point.
//
// Where a call to the sound system never returned (a sound system that died
// or hangs), its thread is still inside the driver, and ExitProcess would
// have every DLL's clean-up wait on that driver, perhaps for ever; the
// process is then ended at once instead, once the settings written have
// reached the file. The report has been dismissed by then.
extern "C" void KalvornEntry() {
  Win32Platform platform;
  const int exitCode = CheckRun(platform, GetModuleHandleA(0));
  if (platform.LeftWorkRunning()) {
    FlushSettings(platform);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCode));
  }
  ExitProcess(static_cast<UINT>(exitCode));
}
