// Prints what the system's mixers offer: each mixer's destinations, their
// sources, and the controls of every line. A tool for finding out what a
// sound system (Wine's, say) presents to the checker.
#include <windows.h>

#include <mmsystem.h>
#include <stdio.h>

namespace {

void PrintControls(HMIXEROBJ mixer, DWORD lineId, DWORD controlCount) {
  if (controlCount == 0) return;
  MIXERCONTROLA controls[32];
  MIXERLINECONTROLSA request;
  ZeroMemory(&request, sizeof(request));
  request.cbStruct = sizeof(request);
  request.dwLineID = lineId;
  request.cControls = controlCount < 32 ? controlCount : 32;
  request.cbmxctrl = sizeof(MIXERCONTROLA);
  request.pamxctrl = controls;
  if (mixerGetLineControlsA(mixer, &request, MIXER_GETLINECONTROLSF_ALL) != 0) {
    printf("      controls: unreadable\n");
    return;
  }
  for (DWORD i = 0; i < request.cControls; ++i) {
    printf("      control type=0x%08lx name=\"%s\"\n",
           static_cast<unsigned long>(controls[i].dwControlType),
           controls[i].szName);
  }
}

void PrintLine(const char* indent, const MIXERLINEA& line) {
  printf(
      "%sline id=0x%08lx type=0x%04lx flags=0x%08lx sources=%lu name=\"%s\"\n",
      indent, static_cast<unsigned long>(line.dwLineID),
      static_cast<unsigned long>(line.dwComponentType),
      static_cast<unsigned long>(line.fdwLine),
      static_cast<unsigned long>(line.cConnections), line.szName);
}

}  // namespace

int main() {
  const UINT count = mixerGetNumDevs();
  printf("mixers: %u\n", count);
  for (UINT m = 0; m < count; ++m) {
    HMIXER handle = 0;
    if (mixerOpen(&handle, m, 0, 0, MIXER_OBJECTF_MIXER) != 0) {
      printf("mixer %u: cannot open\n", m);
      continue;
    }
    HMIXEROBJ mixer = reinterpret_cast<HMIXEROBJ>(handle);
    MIXERCAPSA caps;
    mixerGetDevCapsA(reinterpret_cast<UINT_PTR>(handle), &caps, sizeof(caps));
    printf("mixer %u: \"%s\" destinations=%lu\n", m, caps.szPname,
           static_cast<unsigned long>(caps.cDestinations));
    for (DWORD d = 0; d < caps.cDestinations; ++d) {
      MIXERLINEA line;
      ZeroMemory(&line, sizeof(line));
      line.cbStruct = sizeof(line);
      line.dwDestination = d;
      if (mixerGetLineInfoA(mixer, &line, MIXER_GETLINEINFOF_DESTINATION) !=
          0) {
        printf("  destination %lu: unreadable\n",
               static_cast<unsigned long>(d));
        continue;
      }
      PrintLine("  destination ", line);
      PrintControls(mixer, line.dwLineID, line.cControls);
      const DWORD sources = line.cConnections;
      for (DWORD s = 0; s < sources; ++s) {
        MIXERLINEA source;
        ZeroMemory(&source, sizeof(source));
        source.cbStruct = sizeof(source);
        source.dwDestination = d;
        source.dwSource = s;
        if (mixerGetLineInfoA(mixer, &source, MIXER_GETLINEINFOF_SOURCE) != 0) {
          printf("    source %lu: unreadable\n", static_cast<unsigned long>(s));
          continue;
        }
        PrintLine("    source ", source);
        PrintControls(mixer, source.dwLineID, source.cControls);
      }
    }
    mixerClose(handle);
  }
  return 0;
}
