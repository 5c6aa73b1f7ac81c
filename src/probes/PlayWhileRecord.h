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
  // A command of the start was not answered in its time: whether the device
  // can record is unknown.
  bool StoppedAnswering;
};

// What came of playing the clip.
struct ClipPlayback {
  bool PlayedWhileRecording;
  // The playback had not ended when its time was up: whether the board
  // plays while it records is unknown.
  bool StoppedAnswering;
};

extern const char TestClipName[];

// The clip's length: 3786 samples at 11025 per second.
const uint32_t ClipLengthMs = 344;

// How long the run waits for the clip to be played: far longer than any
// board that works takes, a sound system that stalls for a few seconds
// included. A board that has not played it by then did not play it.
const uint32_t PlaybackBoundMs = 8000;
static_assert(PlaybackBoundMs >= ClipLengthMs + 5000,
              "a clip held up for a few seconds still plays in time");

// How long the run waits for the wave-audio device to start recording, its
// open, format and record commands together: a device that works takes a
// fraction of a second.
const uint32_t RecordingStartBoundMs = 4000;

// How long the run waits for the device's close. A driver that records in a
// thread of its own is given what is left of it, less the close command's
// own time, to finish that thread before the device is closed (see the
// Windows side).
const uint32_t RecordingCloseBoundMs = 4000;

// The recording format: 16-bit mono PCM at 11025 samples per second.
extern const WaveFormat RecordingFormat;

// Opens the device, sets the format and starts recording, all within
// RecordingStartBoundMs; a command not answered by then fails as refused.
RecordStartStatus StartRecording(Platform& platform, WaveRecording* recording);

// Plays the embedded clip synchronously; played when it played to its end
// within PlaybackBoundMs.
ClipPlayback PlayTestClip(Platform& platform, ModuleInstance instance);

// Closes the device, discarding the recording, waiting at most
// RecordingCloseBoundMs.
// Always sent, even when the open failed, in which case it addresses device
// 0.
void StopRecording(Platform& platform, const WaveRecording& recording);

#endif
