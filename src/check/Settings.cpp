#include "check/Settings.h"

namespace {

const char SoundSection[] = "TvSound";
const char PortsSection[] = "PORTS";

}  // namespace

// Each access spells the file's name its own way ("Tarvenix.Ini",
// "Tarvenix.ini", "tarvenix.ini", "TARVENIX.INI"), as the checker always has.
// It is one file all the same: Windows' profile calls, and Wine's on a
// case-sensitive Linux file system, match the name without regard to case.
// The spellings are kept as they are, rather than made one, so that the calls
// reach the system exactly as they always did; a test holds each to its
// access.
uint32_t ReadLineInProfile(Platform& platform) {
  const uint32_t stored =
      platform.ReadProfileInt(SoundSection, "LineInProfile", 0, "Tarvenix.Ini");
  return stored < 2 ? stored : 0;
}

uint32_t ReadMixerIndex(Platform& platform) {
  return platform.ReadProfileInt(SoundSection, "MixerIndex", 0, "Tarvenix.ini");
}

void WriteLineInProfile(Platform& platform, int32_t value) {
  char text[12];
  FormatDecimal(value, text);
  platform.WriteProfileString(SoundSection, "LineInProfile", text,
                              "tarvenix.ini");
}

void WriteEchoMicSetting(Platform& platform, bool bothMutes) {
  platform.WriteProfileString(PortsSection, "dvkechomic", bothMutes ? "2" : "1",
                              "TARVENIX.INI");
}

void WriteStopLoopSetting(Platform& platform, bool played) {
  platform.WriteProfileString(PortsSection, "dvkstoploop", played ? "1" : "2",
                              "TARVENIX.INI");
}

void FlushSettings(Platform& platform) {
  platform.WriteProfileString(0, 0, 0, "TARVENIX.INI");
}

void FormatDecimal(int32_t value, char* buffer) {
  // Work in unsigned arithmetic so that the most negative value survives.
  uint32_t magnitude = static_cast<uint32_t>(value);
  char* out = buffer;
  if (value < 0) {
    *out++ = '-';
    magnitude = 0u - magnitude;
  }
  char digits[10];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (count > 0) {
    *out++ = digits[--count];
  }
  *out = '\0';
}
