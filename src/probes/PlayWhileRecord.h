// Finds out whether the board can play while it records, by doing it: a
// recording is started on the wave-audio device and the embedded clip is
// played while it runs. The recorded audio is never kept.
#ifndef KALVORN_PROBES_PLAYWHILERECORD_H
#define KALVORN_PROBES_PLAYWHILERECORD_H

#include "platform/Platform.h"

// Outcome of StartRecording.
enum RecordStartStatus {
  RecordStarted = 0,
  RecordCommandFailed = 1,
  RecordFormatFailed = 2,
  RecordOpenFailed = 3
};

// The open wave-audio device, from StartRecording to StopRecording. DeviceId
// stays 0 when the device could not be opened.
struct WaveRecording {
  WaveDeviceId DeviceId;
};

extern const char TestClipName[];

// How long the run waits for the clip (0.34 s) to be played: far longer than
// any board that works takes, a sound system that stalls for a few seconds
// included. A board that has not played it by then did not play it.
const uint32_t PlaybackBoundMs = 8000;

// How long the run waits for each command to the wave-audio device: one that
// works answers in a fraction of a second, and a close may take up to 2 s
// more for a driver that records in a thread of its own to finish.
const uint32_t DeviceBoundMs = 4000;

// The recording format: 16-bit mono PCM at 11025 samples per second.
extern const WaveFormat RecordingFormat;

RecordStartStatus StartRecording(Platform& platform, WaveRecording* recording);

// Plays the embedded clip synchronously; true when it played to its end
// within PlaybackBoundMs.
bool PlayTestClip(Platform& platform, ModuleInstance instance);

// Closes the device, discarding the recording, waiting at most DeviceBoundMs.
// Always sent, even when the open failed, in which case it addresses device
// 0.
void StopRecording(Platform& platform, const WaveRecording& recording);

#endif
