// The launcher's helper in the operator's Wine session. It presses nothing
// and changes nothing. Every mode first prints the line "kalvorn-reader", so
// that the launcher knows this Wine runs this build; all text is UTF-8.
//
// Usage: reader.exe --list-mixers
//          prints each mixer: its index, its name, and whether it is a
//          playback or a recording device, separated by tabs
//        reader.exe --watch SINCE
//          waits for the checker, the kalvorn.exe started at or after
//          SINCE (a FILETIME count), says "found" once it is there, and
//          prints each message box of that process as it is shown:
//            "box CAPTION-BYTES TEXT-BYTES", a line feed, the caption, the
//            text, a line feed;
//          then, once the checker has ended, "exit CODE"
//
// Like the checker, it links no C runtime (so only this project's code
// ships in it): it starts at its own entry, writes with WriteFile and
// formats with wsprintfA.
#include <windows.h>

#include <mmsystem.h>
#include <tlhelp32.h>

#include "Boxes.h"

namespace {

const char Marker[] = "kalvorn-reader\n";

// Writes `length` bytes (all of `text` when -1) to the standard output,
// unchanged: the byte counts the launcher reads are exact.
void Print(const char* text, int length = -1) {
  if (length < 0) {
    length = lstrlenA(text);
  }
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0;
  while (length > 0 &&
         (WriteFile(out, text, static_cast<DWORD>(length), &written, 0) != 0) &&
         written > 0) {
    text += written;
    length -= static_cast<int>(written);
  }
}

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
  if (playback && recording) {
    return "playback and recording";
  }
  if (playback) {
    return "playback";
  }
  if (recording) {
    return "recording";
  }
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
    char number[16];
    wsprintfA(number, "%u\t", i);
    Print(number);
    Print(name);
    Print("\t");
    Print(MixerKind(i));
    Print("\n");
  }
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
  char header[40];
  wsprintfA(header, "box %d %d\n", lstrlenA(captionUtf8), lstrlenA(textUtf8));
  Print(header);
  Print(captionUtf8);
  Print(textUtf8);
  Print("\n");
}

// How often the reader looks for the checker and its boxes: often enough to
// copy each box while it is shown, seldom enough to leave the processor to
// the checker, whose report is what the operator waits for.
const DWORD PollMs = 50;

// The checker: a process of kalvorn.exe created at or after `since`
// (FILETIME's count of 100 ns), opened for waiting; 0 while there is none.
HANDLE FindChecker(ULONGLONG since, DWORD* processId) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    return 0;
  }
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof(entry);
  HANDLE found = 0;
  for (BOOL more = Process32First(snapshot, &entry); (more != 0) && found == 0;
       more = Process32Next(snapshot, &entry)) {
    if (lstrcmpiA(entry.szExeFile, "kalvorn.exe") != 0) {
      continue;
    }
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE,
                                 entry.th32ProcessID);
    FILETIME created, exited, kernel, user;
    if (process != 0 &&
        (GetProcessTimes(process, &created, &exited, &kernel, &user) != 0) &&
        (static_cast<ULONGLONG>(created.dwHighDateTime) << 32 |
         created.dwLowDateTime) >= since) {
      found = process;
      *processId = entry.th32ProcessID;
    } else if (process != 0) {
      CloseHandle(process);
    }
  }
  CloseHandle(snapshot);
  return found;
}

// Waits for the checker started since `since`, says "found" once it has it,
// and copies its boxes until it ends.
int Watch(ULONGLONG since) {
  DWORD processId = 0;
  HANDLE checker = 0;
  while ((checker = FindChecker(since, &processId)) == 0) {
    Sleep(PollMs);
  }
  Print("found\n");
  bool running = true;
  while (running) {
    running = WaitForSingleObject(checker, PollMs) == WAIT_TIMEOUT;
    for (HWND box; copied.Count < SeenBoxes::Most &&
                   (box = ShownBox(copied, processId)) != 0;) {
      PrintBox(box);
    }
  }
  DWORD code = 1;
  GetExitCodeProcess(checker, &code);
  CloseHandle(checker);
  char line[24];
  wsprintfA(line, "exit %lu\n", static_cast<unsigned long>(code));
  Print(line);
  return 0;
}

// The command line's words after the program's name, at most `most`, each
// ended in place; a word may be quoted.
int Words(char* line, char** words, int most) {
  int count = -1;  // the program's name comes first
  while (*line != '\0' && count < most) {
    while (*line == ' ' || *line == '\t') {
      ++line;
    }
    if (*line == '\0') {
      break;
    }
    const char end = *line == '"' ? '"' : ' ';
    if (end == '"') {
      ++line;
    }
    if (count >= 0) {
      words[count] = line;
    }
    ++count;
    while (*line != '\0' && *line != end && !(end == ' ' && *line == '\t')) {
      ++line;
    }
    if (*line != '\0') {
      *line++ = '\0';
    }
  }
  return count < 0 ? 0 : count;
}

ULONGLONG Decimal(const char* text) {
  ULONGLONG value = 0;
  while (*text >= '0' && *text <= '9') {
    value = value * 10 + (*text++ - '0');
  }
  return value;
}

int Run() {
  Print(Marker);
  char* words[3];
  const int count = Words(GetCommandLineA(), words, 3);
  if (count == 1 && lstrcmpA(words[0], "--list-mixers") == 0) {
    return ListMixers();
  }
  if (count == 2 && lstrcmpA(words[0], "--watch") == 0) {
    return Watch(Decimal(words[1]));
  }
  DWORD written = 0;
  const char usage[] = "usage: reader --list-mixers | --watch SINCE\n";
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), usage, sizeof(usage) - 1, &written,
            0);
  return 2;
}

}  // namespace

// Named in the link options as the image's entry point.
extern "C" void ReaderEntry() { ExitProcess(static_cast<UINT>(Run())); }
