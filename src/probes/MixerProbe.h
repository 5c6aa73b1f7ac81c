// Finds out which mixer controls the sound board offers for routing audio to
// two radios and for switching the recording input.
#ifndef KALVORN_PROBES_MIXERPROBE_H
#define KALVORN_PROBES_MIXERPROBE_H

#include "platform/Platform.h"

struct MixerCapabilities {
  bool MixerOpened;
  bool OutputFaderFound;
  bool OutputWaveMuteFound;
  bool OutputMicMuteFound;
  bool InputSelectorFound;
  bool InputLineFound;
  bool InputLineMuteFound;
  bool InputMicFound;
  bool InputMicMuteFound;
  // The mixer did not answer every question in its time: the flags it did
  // not answer are unknown, not absent.
  bool MixerStoppedAnswering;
};

// Source types that count as the line input, indexed by the line-input
// profile: some drivers label the line input as an auxiliary input.
extern const uint32_t LineInputTypes[2];

// How long the whole probe may wait for the mixer's driver, all its calls
// together: a working mixer answers them in well under a second, its first
// call loading the system's sound driver included. The line-input box's
// time is the operator's, not the driver's, and does not count.
const uint32_t MixerBoundMs = 4000;
// Of that, what is kept back for the close, which a driver answers at once.
const uint32_t MixerCloseMs = 500;

extern const char LineInputCaption[];
extern const char LineInputMessage[];

// Opens mixer `mixerIndex`, scans its first speakers and first wave-input
// destinations, and closes it. When the wave input has no source of
// LineInputTypes[profile], tells the operator and stores the next profile;
// not when the mixer stopped answering before its sources were all read.
MixerCapabilities ProbeMixer(Platform& platform, uint32_t mixerIndex,
                             uint32_t profile);

#endif
