#include "probes/PlayWhileRecord.h"

#include "probes/SoundBudget.h"

const char TestClipName[] = "THREEWAV";

const WaveFormat RecordingFormat = {WaveFormatPcm, 1, 11025, 22050, 2, 16};

namespace {

RecordStartStatus StartWithin(Platform& platform, WaveRecording* recording,
                              SoundBudget* budget) {
  WaveDeviceId opened = 0;
  BeginSoundCall(platform, budget);
  PlatformResult result = platform.OpenWaveAudio(&opened, budget->LeftMs);
  EndSoundCall(platform, budget, result);
  if (result != PlatformSuccess) {
    return RecordOpenFailed;
  }
  recording->DeviceId = opened;
  result = PlatformNoAnswer;
  if (BeginSoundCall(platform, budget)) {
    result =
        platform.SetRecordingFormat(opened, RecordingFormat, budget->LeftMs);
    EndSoundCall(platform, budget, result);
  }
  if (result != PlatformSuccess) {
    return RecordFormatFailed;
  }
  result = PlatformNoAnswer;
  if (BeginSoundCall(platform, budget)) {
    result = platform.StartRecord(opened, budget->LeftMs);
    EndSoundCall(platform, budget, result);
  }
  if (result != PlatformSuccess) {
    return RecordCommandFailed;
  }
  return RecordStarted;
}

}  // namespace

RecordStartStatus StartRecording(Platform& platform, WaveRecording* recording) {
  recording->DeviceId = 0;
  SoundBudget budget = NewSoundBudget(RecordingStartBoundMs);
  const RecordStartStatus status = StartWithin(platform, recording, &budget);
  recording->StoppedAnswering = budget.StoppedAnswering;
  return status;
}

ClipPlayback PlayTestClip(Platform& platform, ModuleInstance instance) {
  const PlatformResult result =
      platform.PlayResourceClip(TestClipName, instance, PlaybackBoundMs);
  const ClipPlayback playback = {result == PlatformSuccess,
                                 result == PlatformNoAnswer};
  return playback;
}

void StopRecording(Platform& platform, const WaveRecording& recording) {
  platform.CloseDevice(recording.DeviceId, RecordingCloseBoundMs);
}
