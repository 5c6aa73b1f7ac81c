// The launcher's helper in the operator's Wine session. It presses nothing
// and changes nothing.
//
// Usage: reader.exe --probe
//          ends with 23: whether this Wine runs programs of this build
//        reader.exe --list-mixers
//          prints each mixer: its index, its name, and whether it is a
//          playback or a recording device
//        reader.exe OUTPUT-DIRECTORY LAST-CAPTION TIMEOUT-MS
//          copies each message box, as it is shown, to box-N.txt (the
//          caption, a line feed, then the text); ends once the box
//          captioned LAST-CAPTION has been copied (exit 0) or when
//          TIMEOUT-MS have passed (exit 1)
#include <windows.h>

#include <mmsystem.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Boxes.h"

namespace {

const int ProbeAnswer = 23;

// What kind of device a mixer stands for, told by its destinations.
const char* MixerKind(UINT index) {
  HMIXER mixer = 0;
  if (mixerOpen(&mixer, index, 0, 0, MIXER_OBJECTF_MIXER) != MMSYSERR_NOERROR) {
    return "cannot be opened";
  }
  MIXERCAPSA caps;
  ZeroMemory(&caps, sizeof(caps));
  bool playback = false;
  bool recording = false;
  if (mixerGetDevCapsA(reinterpret_cast<UINT_PTR>(mixer), &caps,
                       sizeof(caps)) == MMSYSERR_NOERROR) {
    for (DWORD d = 0; d < caps.cDestinations; ++d) {
      MIXERLINEA line;
      ZeroMemory(&line, sizeof(line));
      line.cbStruct = sizeof(line);
      line.dwDestination = d;
      if (mixerGetLineInfoA(reinterpret_cast<HMIXEROBJ>(mixer), &line,
                            MIXER_GETLINEINFOF_DESTINATION) !=
          MMSYSERR_NOERROR) {
        continue;
      }
      if (line.dwComponentType == MIXERLINE_COMPONENTTYPE_DST_WAVEIN) {
        recording = true;
      } else if (line.dwComponentType == MIXERLINE_COMPONENTTYPE_DST_SPEAKERS ||
                 line.dwComponentType ==
                     MIXERLINE_COMPONENTTYPE_DST_HEADPHONES) {
        playback = true;
      }
    }
  }
  mixerClose(mixer);
  if (playback && recording) return "playback and recording";
  if (playback) return "playback";
  if (recording) return "recording";
  return "neither playback nor recording";
}

int ListMixers() {
  const UINT count = mixerGetNumDevs();
  for (UINT i = 0; i < count; ++i) {
    MIXERCAPSA caps;
    ZeroMemory(&caps, sizeof(caps));
    if (mixerGetDevCapsA(i, &caps, sizeof(caps)) != MMSYSERR_NOERROR) {
      caps.szPname[0] = '\0';
    }
    printf("%u\t%s\t%s\n", i, caps.szPname, MixerKind(i));
  }
  fflush(stdout);
  return 0;
}

SeenBoxes copied = {{0}, 0};

int CopyBoxes(const char* directory, const char* lastCaption, DWORD timeout) {
  const DWORD start = GetTickCount();
  for (HWND box; (box = WaitForShownBox(copied, start, timeout)) != 0;) {
    static char caption[256];
    static char text[8192];
    ReadBox(box, caption, sizeof(caption), text, sizeof(text));
    const int n = MarkSeen(&copied, box);
    SaveBoxText(directory, n, caption, text);
    if (strcmp(caption, lastCaption) == 0) return 0;
    if (n == SeenBoxes::Most) return 1;
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "--probe") == 0) return ProbeAnswer;
  if (argc == 2 && strcmp(argv[1], "--list-mixers") == 0) return ListMixers();
  if (argc == 4) {
    return CopyBoxes(argv[1], argv[2], static_cast<DWORD>(atol(argv[3])));
  }
  fputs(
      "usage: reader --probe | --list-mixers | OUTPUT-DIRECTORY LAST-CAPTION "
      "TIMEOUT-MS\n",
      stderr);
  return 2;
}
