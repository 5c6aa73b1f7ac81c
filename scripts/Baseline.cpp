// The least a program can do to show what kalvorn.exe shows: play the same
// clip synchronously from its resources, then show one message box. The
// benchmark times it next to the checker.
#include <windows.h>

#include <mmsystem.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  PlaySoundA("THREEWAV", instance, SND_RESOURCE | SND_SYNC);
  MessageBoxA(0, "The clip has been played.", "Kalvorn baseline", MB_OK);
  return 0;
}
