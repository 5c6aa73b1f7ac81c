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

// The recording format: 16-bit mono PCM at 11025 samples per second.
extern const WaveFormat RecordingFormat;

RecordStartStatus StartRecording(Platform& platform, WaveRecording* recording);

// Plays the embedded clip synchronously; true when it played.
bool PlayTestClip(Platform& platform, ModuleInstance instance);

// Closes the device, discarding the recording. Always sent, even when the
// open failed, in which case it addresses device 0.
void StopRecording(Platform& platform, const WaveRecording& recording);

#endif
