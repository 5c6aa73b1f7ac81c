// What the checker needs from the operating system, and nothing more.
//
// Each operation makes one Windows multimedia, profile or message-box call,
// except the device's close, which pauses, stops and closes the recording
// (and, where the driver records in a thread of its own, waits for that
// thread), and the clock and the pause, which make none that can fail. Each
// returns the platform's own result (0 means success for the mixer and MCI
// calls); the checker turns failures into findings, so no operation here
// ever decides anything. The calls that can reach the sound system (the
// mixer, the wave-audio device and the clip's playback) are made on threads
// of their own and waited for at most the bound the checker passes: one not
// back by then counts as failed, and so does every later call of its kind,
// which would only queue behind it in the driver.
#ifndef KALVORN_PLATFORM_PLATFORM_H
#define KALVORN_PLATFORM_PLATFORM_H

#include <stdint.h>

typedef void* MixerHandle;      // an open mixer; 0 when none was obtained
typedef void* ModuleInstance;   // locates the embedded clip
typedef uint32_t WaveDeviceId;  // MCI device identifier; 0 addresses no device
typedef uint32_t PlatformResult;

const PlatformResult PlatformSuccess = 0;  // MMSYSERR_NOERROR
const PlatformResult PlatformFailure = 1;  // MMSYSERR_ERROR
// A call to the sound system that did not come back within its bound.
const PlatformResult PlatformNoAnswer = 0xFFFFFFFFu;

// Mixer line component types.
const uint32_t ComponentTypeDstSpeakers = 4;
const uint32_t ComponentTypeDstWaveIn = 7;
const uint32_t ComponentTypeSrcLine = 0x1002;
const uint32_t ComponentTypeSrcMicrophone = 0x1003;
const uint32_t ComponentTypeSrcWaveOut = 0x1008;
const uint32_t ComponentTypeSrcAuxiliary = 0x1009;

// Mixer control types.
const uint32_t ControlTypeVolume = 0x50030001;
const uint32_t ControlTypeMute = 0x20010002;
const uint32_t ControlTypeMux = 0x70010001;
const uint32_t ControlTypeMixer = 0x71010001;

// Mixer line flags.
const uint32_t LineFlagSource = 0x80000000u;

// Message box style with a single OK button.
const uint32_t MessageBoxOk = 0;

// WAVE_FORMAT_PCM.
const uint16_t WaveFormatPcm = 1;

// The fields of a mixer line that the checker reads.
struct MixerLine {
  uint32_t LineId;
  uint32_t LineFlags;
  uint32_t ComponentType;
  uint32_t SourceCount;
};

// The recording format sent to the wave-audio device.
struct WaveFormat {
  uint16_t FormatTag;
  uint16_t Channels;
  uint32_t SamplesPerSecond;
  uint32_t AverageBytesPerSecond;
  uint16_t BlockAlign;
  uint16_t BitsPerSample;
};

class Platform {
 public:
  // A clock in milliseconds, for the time the sound system takes.
  virtual uint32_t Milliseconds() = 0;

  // Mixer services. Each waits at most `boundMs` milliseconds for the
  // driver; a call that has not come back by then counts as failed, and so
  // does every mixer call after it.
  // Opens mixer `mixerIndex` into `mixer`, which is left 0 when there is no
  // such mixer.
  virtual PlatformResult OpenMixer(uint32_t mixerIndex, MixerHandle* mixer,
                                   uint32_t boundMs) = 0;
  virtual PlatformResult GetDestinationCount(MixerHandle mixer,
                                             uint32_t* destinationCount,
                                             uint32_t boundMs) = 0;
  virtual PlatformResult GetDestinationLine(MixerHandle mixer,
                                            uint32_t destination,
                                            MixerLine* line,
                                            uint32_t boundMs) = 0;
  virtual PlatformResult GetSourceLine(MixerHandle mixer, uint32_t destination,
                                       uint32_t source, MixerLine* line,
                                       uint32_t boundMs) = 0;
  // Success when line `lineId` has a control of `controlType`.
  virtual PlatformResult FindLineControl(MixerHandle mixer, uint32_t lineId,
                                         uint32_t controlType,
                                         uint32_t boundMs) = 0;
  virtual void CloseMixer(MixerHandle mixer, uint32_t boundMs) = 0;

  // MCI wave-audio device.
  // Each waits at most `boundMs` milliseconds for the device; a command that
  // has not come back by then counts as failed, and so does every command
  // after it (the device is then left to the end of the process).
  // Opens a new, unnamed recording; fills `deviceId` on success.
  virtual PlatformResult OpenWaveAudio(WaveDeviceId* deviceId,
                                       uint32_t boundMs) = 0;
  virtual PlatformResult SetRecordingFormat(WaveDeviceId deviceId,
                                            const WaveFormat& format,
                                            uint32_t boundMs) = 0;
  // Starts recording and returns at once; the device records on its own.
  virtual PlatformResult StartRecord(WaveDeviceId deviceId,
                                     uint32_t boundMs) = 0;
  // Stops the recording and closes the device; a device whose driver has
  // not finished the recording in time is left open (to the process's end)
  // and reported as failed.
  virtual PlatformResult CloseDevice(WaveDeviceId deviceId,
                                     uint32_t boundMs) = 0;

  // Plays a clip from the module's resources synchronously, to its end,
  // waiting for it at most `boundMs` milliseconds: PlatformSuccess when it
  // was played to its end, PlatformNoAnswer when it had not ended by then (it
  // is left to itself), another value when it could not be played.
  virtual PlatformResult PlayResourceClip(const char* resourceName,
                                          ModuleInstance instance,
                                          uint32_t boundMs) = 0;

  // Profile (INI) services. The file name is used exactly as given.
  virtual uint32_t ReadProfileInt(const char* section, const char* key,
                                  int32_t defaultValue,
                                  const char* fileName) = 0;
  virtual bool WriteProfileString(const char* section, const char* key,
                                  const char* value, const char* fileName) = 0;

  // Modal message box with no owner; returns when it is dismissed: true, or
  // false at once when it could not be shown.
  virtual bool ShowMessageBox(const char* text, const char* caption,
                              uint32_t style) = 0;
  // Lets `ms` milliseconds pass.
  virtual void Pause(uint32_t ms) = 0;

 protected:
  ~Platform() {}
};

#endif
