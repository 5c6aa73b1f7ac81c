// Access to TARVENIX.INI, the settings file shared with Tarvenix. No other
// code names its sections, keys or file.
#ifndef KALVORN_CHECK_SETTINGS_H
#define KALVORN_CHECK_SETTINGS_H

#include "platform/Platform.h"

// 0: the line input is a line source; 1: an auxiliary source. Anything else
// stored (2 and above, or negative) reads as 0.
uint32_t ReadLineInProfile(Platform& platform);

// The mixer device to open; 0 when absent.
uint32_t ReadMixerIndex(Platform& platform);

void WriteLineInProfile(Platform& platform, int32_t value);

// "2" when the output mixer mutes both wave output and microphone, else "1".
void WriteEchoMicSetting(Platform& platform, bool bothMutes);

// "1" when the board played the clip while recording, else "2".
void WriteStopLoopSetting(Platform& platform, bool played);

// Has what was written reach the file now. Windows 95 and 98 keep profile
// writes in a cache that only a normal end of the process writes out; a
// process that has to be ended at once flushes it first.
void FlushSettings(Platform& platform);

// Writes `value` in decimal, with a minus sign when negative. `buffer` must
// hold at least 12 characters.
void FormatDecimal(int32_t value, char* buffer);

#endif
