#include "probes/PlayWhileRecord.h"

#include "probes/SoundBudget.h"

const char TestClipName[] = "THREEWAV";

const WaveFormat RecordingFormat = {WaveFormatPcm, 1, 11025, 22050, 2, 16};

RecordStartStatus StartRecording(Platform& platform, WaveRecording* recording) {
  recording->DeviceId = 0;
  SoundBudget budget = NewSoundBudget(RecordingStartBoundMs);
  WaveDeviceId opened = 0;
  BeginSoundCall(platform, &budget);
  PlatformResult result = platform.OpenWaveAudio(&opened, budget.LeftMs);
  EndSoundCall(platform, &budget, result);
  if (result != PlatformSuccess) {
    return RecordOpenFailed;
  }
  recording->DeviceId = opened;
  result = PlatformNoAnswer;
  if (BeginSoundCall(platform, &budget)) {
    result =
        platform.SetRecordingFormat(opened, RecordingFormat, budget.LeftMs);
    EndSoundCall(platform, &budget, result);
  }
  if (result != PlatformSuccess) {
    return RecordFormatFailed;
  }
  result = PlatformNoAnswer;
  if (BeginSoundCall(platform, &budget)) {
    result = platform.StartRecord(opened, budget.LeftMs);
    EndSoundCall(platform, &budget, result);
  }
  if (result != PlatformSuccess) {
    return RecordCommandFailed;
  }
  return RecordStarted;
}

bool PlayTestClip(Platform& platform, ModuleInstance instance) {
  return platform.PlayResourceClip(TestClipName, instance, PlaybackBoundMs);
}

void StopRecording(Platform& platform, const WaveRecording& recording) {
  platform.CloseDevice(recording.DeviceId, RecordingCloseBoundMs);
}
