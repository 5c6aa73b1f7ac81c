#include "probes/PlayWhileRecord.h"

const char TestClipName[] = "THREEWAV";

const WaveFormat RecordingFormat = {WaveFormatPcm, 1, 11025, 22050, 2, 16};

RecordStartStatus StartRecording(Platform& platform, WaveRecording* recording) {
  recording->DeviceId = 0;
  WaveDeviceId opened = 0;
  if (platform.OpenWaveAudio(&opened, DeviceBoundMs) != PlatformSuccess) {
    return RecordOpenFailed;
  }
  recording->DeviceId = opened;
  if (platform.SetRecordingFormat(opened, RecordingFormat, DeviceBoundMs) !=
      PlatformSuccess) {
    return RecordFormatFailed;
  }
  if (platform.StartRecord(opened, DeviceBoundMs) != PlatformSuccess) {
    return RecordCommandFailed;
  }
  return RecordStarted;
}

bool PlayTestClip(Platform& platform, ModuleInstance instance) {
  return platform.PlayResourceClip(TestClipName, instance, PlaybackBoundMs);
}

void StopRecording(Platform& platform, const WaveRecording& recording) {
  platform.CloseDevice(recording.DeviceId, DeviceBoundMs);
}
