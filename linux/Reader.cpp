// The launcher's helper in the operator's Wine session. It presses nothing
// and changes nothing. Every mode first prints the line "kalvorn-reader", so
// that the launcher knows this Wine runs this build; all text is UTF-8.
//
// Usage: reader.exe --list-mixers
//          prints each mixer: its index, its name, and whether it is a
//          playback or a recording device, separated by tabs
//        reader.exe --run KALVORN-EXE
//          starts the checker (a Windows path; a Unix one as
//          \\?\unix\usr\...\kalvorn.exe, which needs no drive), and prints
//          each message box of that process as it is shown:
//            "box CAPTION-BYTES TEXT-BYTES", a line feed, the caption, the
//            text, a line feed;
//          then, once the checker has ended, "exit CODE"; ends with 0, or
//          with 1 when the checker could not be started
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <mmsystem.h>
#include <stdio.h>
#include <string.h>

#include "Boxes.h"

namespace {

const char Marker[] = "kalvorn-reader\n";

// `text`, in the system's ANSI code page, as UTF-8 in `out`.
const char* Utf8(const char* text, char* out, int outSize) {
  static WCHAR wide[8192];
  const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 8192);
  if (length == 0 ||
      WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, outSize, 0, 0) == 0) {
    out[0] = '\0';
  }
  return out;
}

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

// Names are read as Unicode, so that any device name prints whole, whatever
// the code page.
int ListMixers() {
  const UINT count = mixerGetNumDevs();
  for (UINT i = 0; i < count; ++i) {
    MIXERCAPSW caps;
    ZeroMemory(&caps, sizeof(caps));
    char name[4 * MAXPNAMELEN];
    if (mixerGetDevCapsW(i, &caps, sizeof(caps)) != MMSYSERR_NOERROR ||
        WideCharToMultiByte(CP_UTF8, 0, caps.szPname, -1, name, sizeof(name), 0,
                            0) == 0) {
      name[0] = '\0';
    }
    printf("%u\t%s\t%s\n", i, name, MixerKind(i));
  }
  fflush(stdout);
  return 0;
}

SeenBoxes copied = {{0}, 0};

void PrintBox(HWND box) {
  static char caption[256];
  static char text[8192];
  static char captionUtf8[1024];
  static char textUtf8[4 * 8192];
  ReadBox(box, caption, sizeof(caption), text, sizeof(text));
  MarkSeen(&copied, box);
  Utf8(caption, captionUtf8, sizeof(captionUtf8));
  Utf8(text, textUtf8, sizeof(textUtf8));
  printf("box %u %u\n%s%s\n", static_cast<unsigned>(strlen(captionUtf8)),
         static_cast<unsigned>(strlen(textUtf8)), captionUtf8, textUtf8);
  fflush(stdout);
}

// Runs the checker `exe` and copies its boxes until it ends.
int Run(const char* exe) {
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process;
  if (!CreateProcessA(exe, 0, 0, 0, FALSE, 0, 0, 0, &startup, &process)) {
    printf("error cannot start %s (error %lu)\n", exe,
           static_cast<unsigned long>(GetLastError()));
    fflush(stdout);
    return 1;
  }
  CloseHandle(process.hThread);
  bool running = true;
  while (running) {
    running = WaitForSingleObject(process.hProcess, 10) == WAIT_TIMEOUT;
    for (HWND box; copied.Count < SeenBoxes::Most &&
                   (box = ShownBox(copied, process.dwProcessId)) != 0;) {
      PrintBox(box);
    }
  }
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  printf("exit %lu\n", static_cast<unsigned long>(code));
  fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);  // the byte counts are exact
  fputs(Marker, stdout);
  fflush(stdout);
  if (argc == 2 && strcmp(argv[1], "--list-mixers") == 0) return ListMixers();
  if (argc == 3 && strcmp(argv[1], "--run") == 0) return Run(argv[2]);
  fputs("usage: reader --list-mixers | --run KALVORN-EXE\n", stderr);
  return 2;
}
