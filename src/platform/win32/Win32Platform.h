// The platform seam over the Windows multimedia, profile and message-box
// services: each operation translates to the matching ANSI Win32 call, made
// on a thread of its kind's own where it can reach the sound system.
#ifndef KALVORN_PLATFORM_WIN32_WIN32PLATFORM_H
#define KALVORN_PLATFORM_WIN32_WIN32PLATFORM_H

#include <windows.h>

#include "platform/Platform.h"

class Win32Platform : public Platform {
 public:
  Win32Platform();

  uint32_t Milliseconds() override;
  PlatformResult OpenMixer(uint32_t mixerIndex, MixerHandle* mixer,
                           uint32_t boundMs) override;
  PlatformResult GetDestinationCount(MixerHandle mixer,
                                     uint32_t* destinationCount,
                                     uint32_t boundMs) override;
  PlatformResult GetDestinationLine(MixerHandle mixer, uint32_t destination,
                                    MixerLine* line, uint32_t boundMs) override;
  PlatformResult GetSourceLine(MixerHandle mixer, uint32_t destination,
                               uint32_t source, MixerLine* line,
                               uint32_t boundMs) override;
  PlatformResult FindLineControl(MixerHandle mixer, uint32_t lineId,
                                 uint32_t controlType,
                                 uint32_t boundMs) override;
  void CloseMixer(MixerHandle mixer, uint32_t boundMs) override;
  PlatformResult OpenWaveAudio(WaveDeviceId* deviceId,
                               uint32_t boundMs) override;
  PlatformResult SetRecordingFormat(WaveDeviceId deviceId,
                                    const WaveFormat& format,
                                    uint32_t boundMs) override;
  PlatformResult StartRecord(WaveDeviceId deviceId, uint32_t boundMs) override;
  PlatformResult CloseDevice(WaveDeviceId deviceId, uint32_t boundMs) override;
  PlatformResult PlayResourceClip(const char* resourceName,
                                  ModuleInstance instance,
                                  uint32_t boundMs) override;
  uint32_t ReadProfileInt(const char* section, const char* key,
                          int32_t defaultValue, const char* fileName) override;
  bool WriteProfileString(const char* section, const char* key,
                          const char* value, const char* fileName) override;
  bool ShowMessageBox(const char* text, const char* caption,
                      uint32_t style) override;
  void Pause(uint32_t ms) override;

  // Whether a call to the sound system was left running past its bound;
  // such a thread may hold the driver, so the process must not wait for it,
  // nor for the drivers' clean-up, on its way out.
  bool LeftWorkRunning() const;

 private:
  bool leftRunning_;
};

#endif
