#include "platform/win32/Win32Platform.h"

#include <mmsystem.h>

#include "platform/win32/RecordThread.h"

static_assert(ComponentTypeDstSpeakers == MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
              "speakers");
static_assert(ComponentTypeDstWaveIn == MIXERLINE_COMPONENTTYPE_DST_WAVEIN,
              "wave in");
static_assert(ComponentTypeSrcLine == MIXERLINE_COMPONENTTYPE_SRC_LINE, "line");
static_assert(ComponentTypeSrcMicrophone ==
                  MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,
              "microphone");
static_assert(ComponentTypeSrcWaveOut == MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT,
              "wave out");
static_assert(ComponentTypeSrcAuxiliary ==
                  MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY,
              "auxiliary");
static_assert(ControlTypeVolume == MIXERCONTROL_CONTROLTYPE_VOLUME, "volume");
static_assert(ControlTypeMute == MIXERCONTROL_CONTROLTYPE_MUTE, "mute");
static_assert(ControlTypeMux == MIXERCONTROL_CONTROLTYPE_MUX, "mux");
static_assert(ControlTypeMixer == MIXERCONTROL_CONTROLTYPE_MIXER, "mixer");
static_assert(LineFlagSource == MIXERLINE_LINEF_SOURCE, "source flag");
static_assert(MessageBoxOk == MB_OK, "ok box");
static_assert(WaveFormatPcm == WAVE_FORMAT_PCM, "pcm");
static_assert(PlatformSuccess == MMSYSERR_NOERROR, "success");
// The exact flag words this program sends.
static_assert((MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_WAIT) == 0x2202,
              "open flags");
static_assert((MCI_WAIT | MCI_WAVE_SET_FORMATTAG | MCI_WAVE_SET_CHANNELS |
               MCI_WAVE_SET_SAMPLESPERSEC | MCI_WAVE_SET_AVGBYTESPERSEC |
               MCI_WAVE_SET_BLOCKALIGN | MCI_WAVE_SET_BITSPERSAMPLE) ==
                  0x003F0002,
              "format flags");
static_assert((SND_RESOURCE | SND_SYNC) == 0x00040004, "playback flags");

namespace {

HMIXEROBJ MixerObject(MixerHandle mixer) {
  return reinterpret_cast<HMIXEROBJ>(mixer);
}

PlatformResult GetLine(MixerHandle mixer, MIXERLINEA* line, DWORD query,
                       MixerLine* result) {
  line->cbStruct = sizeof(*line);
  const MMRESULT status = mixerGetLineInfoA(MixerObject(mixer), line, query);
  result->LineId = line->dwLineID;
  result->LineFlags = line->fdwLine;
  result->ComponentType = line->dwComponentType;
  result->SourceCount = line->cConnections;
  return status;
}

// Work on the driver that may never return, when the sound system behind it
// hangs or dies, runs on a thread of its own and is waited for at most a
// bound. What such a thread reads lives here rather than on a caller's
// stack, since a thread left running may still read it after its caller
// has gone on.
struct ClipToPlay {
  const char* Name;
  HMODULE Module;
};
ClipToPlay playing;

// Its result comes back as the thread's exit code.
DWORD WINAPI PlayClip(LPVOID) {
  return PlaySoundA(playing.Name, playing.Module, SND_RESOURCE | SND_SYNC);
}

// Runs `work` on a thread of its own and waits for it at most `boundMs`;
// true, with the thread's exit code in `result`, when it ended by then.
// Otherwise the thread is left running, and `result` keeps its value.
bool RunBounded(LPTHREAD_START_ROUTINE work, uint32_t boundMs, DWORD* result) {
  DWORD threadId = 0;  // Windows 95 and 98 fail a thread without one
  HANDLE thread = CreateThread(0, 0, work, 0, 0, &threadId);
  if (thread == 0) {
    return true;  // nothing runs, and nothing was done
  }
  const bool ended = WaitForSingleObject(thread, boundMs) == WAIT_OBJECT_0;
  if (ended) {
    GetExitCodeThread(thread, result);
  }
  CloseHandle(thread);
  return ended;
}

// The wave-audio device is driven from one thread of its own, from its open
// to its close: a driver takes commands for a device only from the thread
// that opened it (Wine's answers any other with "invalid device name"), and
// a command to a device whose sound system has died or hangs may never
// return. Each command is handed to that thread and waited for at most a
// bound; once one has not come back, the thread is given no more.
enum DeviceCommand { OpenCommand, FormatCommand, RecordCommand, CloseCommand };

struct DeviceRequest {
  DeviceCommand Command;
  WaveDeviceId DeviceId;  // the device opened, for OpenCommand
  WaveFormat Format;
  MCIERROR Result;
};
DeviceRequest request;
HANDLE requestPosted = 0;
HANDLE requestDone = 0;
bool deviceThreadStuck = false;
// The wave driver's own thread for an asynchronous record, when it started
// one (see RecordThread.h); 0 otherwise.
HANDLE recordThread = 0;

MCIERROR OpenRecording() {
  MCI_OPEN_PARMSA open;
  ZeroMemory(&open, sizeof(open));
  open.lpstrDeviceType = "waveaudio";
  open.lpstrElementName = "";
  const MCIERROR status =
      mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_WAIT,
                      reinterpret_cast<DWORD_PTR>(&open));
  request.DeviceId = open.wDeviceID;
  return status;
}

MCIERROR SetFormat() {
  MCI_WAVE_SET_PARMS set;
  ZeroMemory(&set, sizeof(set));
  set.wFormatTag = request.Format.FormatTag;
  set.nChannels = request.Format.Channels;
  set.nSamplesPerSec = request.Format.SamplesPerSecond;
  set.nAvgBytesPerSec = request.Format.AverageBytesPerSecond;
  set.nBlockAlign = request.Format.BlockAlign;
  set.wBitsPerSample = request.Format.BitsPerSample;
  return mciSendCommandA(
      request.DeviceId, MCI_SET,
      MCI_WAIT | MCI_WAVE_SET_FORMATTAG | MCI_WAVE_SET_CHANNELS |
          MCI_WAVE_SET_SAMPLESPERSEC | MCI_WAVE_SET_AVGBYTESPERSEC |
          MCI_WAVE_SET_BLOCKALIGN | MCI_WAVE_SET_BITSPERSAMPLE,
      reinterpret_cast<DWORD_PTR>(&set));
}

MCIERROR Record() {
  MCI_RECORD_PARMS record;
  ZeroMemory(&record, sizeof(record));
  ThreadIdSet before;
  SnapshotThreads(&before);
  const MCIERROR status = mciSendCommandA(request.DeviceId, MCI_RECORD, 0,
                                          reinterpret_cast<DWORD_PTR>(&record));
  if (status == 0 && recordThread == 0) {
    recordThread = FindDriverThreadSince(before);
  }
  return status;
}

// A record sent without MCI_WAIT may run in a thread of the wave driver's
// own (Wine's driver does this). If the device is closed while that thread
// is still finishing its command, the close frees the device and unloads
// the driver under the thread's feet, and the process dies a moment later,
// before the report can be shown. So the record is stopped first and that
// thread is given a bounded time to end. The device reports itself stopped
// before the thread is done, so its status is no substitute for the wait.
// Where the driver records without such a thread, nothing is waited for.
// The pause comes first because a stop of a recording that is not paused
// waits, in older Wine drivers, for the buffer being recorded to fill (up
// to a third of a second); a pause hands that buffer back at once, and a
// stop of a paused recording resets the device at once. The recording is
// thrown away, so nothing is lost by pausing it. A driver thread that does
// not end in time is stuck in a sound system that hangs or has gone: the
// device is then not closed under it at all, and the process is ended at
// the end of the run, which frees the device without unloading the driver
// first (see Entry.cpp).
const MCIERROR DriverStillRecording = 0xFFFFFFFF;

MCIERROR CloseRecording() {
  if (recordThread != 0) {
    MCI_GENERIC_PARMS stop;
    ZeroMemory(&stop, sizeof(stop));
    mciSendCommandA(request.DeviceId, MCI_PAUSE, MCI_WAIT,
                    reinterpret_cast<DWORD_PTR>(&stop));
    mciSendCommandA(request.DeviceId, MCI_STOP, MCI_WAIT,
                    reinterpret_cast<DWORD_PTR>(&stop));
    const bool ended = WaitForSingleObject(recordThread, 2000) == WAIT_OBJECT_0;
    CloseHandle(recordThread);
    recordThread = 0;
    if (!ended) {
      return DriverStillRecording;
    }
  }
  return mciSendCommandA(request.DeviceId, MCI_CLOSE, 0, 0);
}

DWORD WINAPI DeviceThread(LPVOID) {
  while (WaitForSingleObject(requestPosted, INFINITE) == WAIT_OBJECT_0) {
    switch (request.Command) {
      case OpenCommand:
        request.Result = OpenRecording();
        break;
      case FormatCommand:
        request.Result = SetFormat();
        break;
      case RecordCommand:
        request.Result = Record();
        break;
      case CloseCommand:
        request.Result = CloseRecording();
        break;
    }
    SetEvent(requestDone);
  }
  return 0;
}

// Hands `command` for the device to the device thread, started on first use,
// and waits at most `boundMs` for its result. A command that has not come
// back in time, or a recording the driver could not finish, leaves work
// running in the driver (`leftRunning`); a failure to start the thread
// counts as a failed command.
MCIERROR SendToDevice(DeviceCommand command, WaveDeviceId deviceId,
                      uint32_t boundMs, bool* leftRunning) {
  request.Command = command;
  request.DeviceId = deviceId;
  request.Result = MCIERR_INTERNAL;
  if (deviceThreadStuck) {
    return MCIERR_INTERNAL;
  }
  if (requestPosted == 0) {
    requestPosted = CreateEventA(0, FALSE, FALSE, 0);
    requestDone = CreateEventA(0, FALSE, FALSE, 0);
    DWORD threadId = 0;  // Windows 95 and 98 fail a thread without one
    HANDLE thread = requestPosted == 0 || requestDone == 0
                        ? 0
                        : CreateThread(0, 0, DeviceThread, 0, 0, &threadId);
    if (thread == 0) {
      deviceThreadStuck = true;
      return MCIERR_INTERNAL;
    }
    CloseHandle(thread);
  }
  SetEvent(requestPosted);
  if (WaitForSingleObject(requestDone, boundMs) != WAIT_OBJECT_0) {
    deviceThreadStuck = true;
    *leftRunning = true;
    return MCIERR_INTERNAL;
  }
  if (request.Result == DriverStillRecording) {
    *leftRunning = true;
  }
  return request.Result;
}

}  // namespace

Win32Platform::Win32Platform() : leftRunning_(false) {}

MixerHandle Win32Platform::OpenMixer(uint32_t mixerIndex) {
  HMIXER mixer = 0;
  mixerOpen(&mixer, mixerIndex, 0, 0, MIXER_OBJECTF_MIXER);
  return reinterpret_cast<MixerHandle>(mixer);
}

PlatformResult Win32Platform::GetDestinationCount(MixerHandle mixer,
                                                  uint32_t* destinationCount) {
  MIXERCAPSA caps;
  ZeroMemory(&caps, sizeof(caps));
  const MMRESULT status =
      mixerGetDevCapsA(reinterpret_cast<UINT_PTR>(mixer), &caps, sizeof(caps));
  if (status == MMSYSERR_NOERROR) {
    *destinationCount = caps.cDestinations;
  }
  return status;
}

PlatformResult Win32Platform::GetDestinationLine(MixerHandle mixer,
                                                 uint32_t destination,
                                                 MixerLine* line) {
  MIXERLINEA record;
  ZeroMemory(&record, sizeof(record));
  record.dwDestination = destination;
  return GetLine(mixer, &record, MIXER_GETLINEINFOF_DESTINATION, line);
}

PlatformResult Win32Platform::GetSourceLine(MixerHandle mixer,
                                            uint32_t destination,
                                            uint32_t source, MixerLine* line) {
  MIXERLINEA record;
  ZeroMemory(&record, sizeof(record));
  record.dwDestination = destination;
  record.dwSource = source;
  return GetLine(mixer, &record, MIXER_GETLINEINFOF_SOURCE, line);
}

PlatformResult Win32Platform::FindLineControl(MixerHandle mixer,
                                              uint32_t lineId,
                                              uint32_t controlType) {
  MIXERCONTROLA control;
  ZeroMemory(&control, sizeof(control));
  control.cbStruct = sizeof(control);
  MIXERLINECONTROLSA request;
  ZeroMemory(&request, sizeof(request));
  request.cbStruct = sizeof(request);
  request.dwLineID = lineId;
  request.dwControlType = controlType;
  request.cControls = 1;
  request.cbmxctrl = sizeof(control);
  request.pamxctrl = &control;
  return mixerGetLineControlsA(MixerObject(mixer), &request,
                               MIXER_GETLINECONTROLSF_ONEBYTYPE);
}

void Win32Platform::CloseMixer(MixerHandle mixer) {
  mixerClose(reinterpret_cast<HMIXER>(mixer));
}

PlatformResult Win32Platform::OpenWaveAudio(WaveDeviceId* deviceId,
                                            uint32_t boundMs) {
  const MCIERROR result = SendToDevice(OpenCommand, 0, boundMs, &leftRunning_);
  *deviceId = request.DeviceId;
  return result;
}

PlatformResult Win32Platform::SetRecordingFormat(WaveDeviceId deviceId,
                                                 const WaveFormat& format,
                                                 uint32_t boundMs) {
  request.Format = format;
  return SendToDevice(FormatCommand, deviceId, boundMs, &leftRunning_);
}

PlatformResult Win32Platform::StartRecord(WaveDeviceId deviceId,
                                          uint32_t boundMs) {
  return SendToDevice(RecordCommand, deviceId, boundMs, &leftRunning_);
}

PlatformResult Win32Platform::CloseDevice(WaveDeviceId deviceId,
                                          uint32_t boundMs) {
  return SendToDevice(CloseCommand, deviceId, boundMs, &leftRunning_);
}

bool Win32Platform::PlayResourceClip(const char* resourceName,
                                     ModuleInstance instance,
                                     uint32_t boundMs) {
  playing.Name = resourceName;
  playing.Module = static_cast<HMODULE>(instance);
  DWORD played = FALSE;
  if (!RunBounded(PlayClip, boundMs, &played)) {
    leftRunning_ = true;
  }
  return played != FALSE;
}

bool Win32Platform::LeftWorkRunning() const { return leftRunning_; }

uint32_t Win32Platform::ReadProfileInt(const char* section, const char* key,
                                       int32_t defaultValue,
                                       const char* fileName) {
  return GetPrivateProfileIntA(section, key, defaultValue, fileName);
}

bool Win32Platform::WriteProfileString(const char* section, const char* key,
                                       const char* value,
                                       const char* fileName) {
  return WritePrivateProfileStringA(section, key, value, fileName) != FALSE;
}

void Win32Platform::ShowMessageBox(const char* text, const char* caption,
                                   uint32_t style) {
  MessageBoxA(0, text, caption, style);
}
