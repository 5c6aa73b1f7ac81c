#include "check/Settings.h"

namespace {

const char SoundSection[] = "TvSound";
const char PortsSection[] = "PORTS";

}  // namespace

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
