#include "platform/win32/Win32Platform.h"

#include <mmsystem.h>

#include "platform/win32/RecordThread.h"
#include "probes/PlayWhileRecord.h"

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

// One call to the sound system, with its arguments and, once made, its
// results.
enum SoundCommand {
  MixerOpenCommand,
  MixerCapsCommand,
  MixerDestinationCommand,
  MixerSourceCommand,
  MixerControlCommand,
  MixerCloseCommand,
  DeviceOpenCommand,
  DeviceFormatCommand,
  DeviceRecordCommand,
  DeviceCloseCommand,
  PlayCommand
};

struct SoundRequest {
  SoundCommand Command;
  MixerHandle Mixer;  // the mixer opened, after MixerOpenCommand
  uint32_t Index;     // of the mixer, or the destination
  uint32_t Source;
  uint32_t LineId;
  uint32_t ControlType;
  WaveDeviceId DeviceId;  // the device opened, after DeviceOpenCommand
  WaveFormat Format;
  DWORD DeadlineMs;  // when the caller stops waiting for a close
  const char* ClipName;
  HMODULE Module;
  DWORD Result;
  uint32_t Count;
  MixerLine Line;
};

PlatformResult GetLine(SoundRequest* request, DWORD query) {
  MIXERLINEA line;
  ZeroMemory(&line, sizeof(line));
  line.cbStruct = sizeof(line);
  line.dwDestination = request->Index;
  line.dwSource = request->Source;
  const MMRESULT status =
      mixerGetLineInfoA(MixerObject(request->Mixer), &line, query);
  request->Line.LineId = line.dwLineID;
  request->Line.LineFlags = line.fdwLine;
  request->Line.ComponentType = line.dwComponentType;
  request->Line.SourceCount = line.cConnections;
  return status;
}

PlatformResult FindControl(const SoundRequest& request) {
  MIXERCONTROLA control;
  ZeroMemory(&control, sizeof(control));
  control.cbStruct = sizeof(control);
  MIXERLINECONTROLSA controls;
  ZeroMemory(&controls, sizeof(controls));
  controls.cbStruct = sizeof(controls);
  controls.dwLineID = request.LineId;
  controls.dwControlType = request.ControlType;
  controls.cControls = 1;
  controls.cbmxctrl = sizeof(control);
  controls.pamxctrl = &control;
  return mixerGetLineControlsA(MixerObject(request.Mixer), &controls,
                               MIXER_GETLINECONTROLSF_ONEBYTYPE);
}

PlatformResult GetDestinationCount(SoundRequest* request) {
  MIXERCAPSA caps;
  ZeroMemory(&caps, sizeof(caps));
  const MMRESULT status = mixerGetDevCapsA(
      reinterpret_cast<UINT_PTR>(request->Mixer), &caps, sizeof(caps));
  request->Count = caps.cDestinations;
  return status;
}

// The wave driver's own thread for an asynchronous record, when it started
// one (see RecordThread.h); 0 otherwise. Only the device's thread uses it.
HANDLE recordThread = 0;

MCIERROR OpenRecording(SoundRequest* request) {
  MCI_OPEN_PARMSA open;
  ZeroMemory(&open, sizeof(open));
  open.lpstrDeviceType = "waveaudio";
  open.lpstrElementName = "";
  const MCIERROR status =
      mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_WAIT,
                      reinterpret_cast<DWORD_PTR>(&open));
  request->DeviceId = open.wDeviceID;
  return status;
}

MCIERROR SetFormat(const SoundRequest& request) {
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

MCIERROR Record(const SoundRequest& request) {
  MCI_RECORD_PARMS record;
  ZeroMemory(&record, sizeof(record));
  ThreadIdSet before;
  SnapshotThreads(&before);
  const MCIERROR status = mciSendCommandA(request.DeviceId, MCI_RECORD, 0,
                                          reinterpret_cast<DWORD_PTR>(&record));
  if (status == 0 && recordThread == 0) {
    recordThread = FindDriverThreadSince(before);
  }
  ReleaseThreads(&before);
  return status;
}

// The time kept back from the driver's thread for the close command itself.
const DWORD CloseCommandMs = 1000;
static_assert(CloseCommandMs * 2 <= RecordingCloseBoundMs,
              "the driver's thread gets at least as long as the close");

// How long the driver's recording thread may still take: what is left of
// the close's bound after the pause and the stop, less the close's own time.
DWORD DriverThreadWaitMs(const SoundRequest& request) {
  // Signed, so that a deadline already past reads as negative, across a
  // wrap of the clock too.
  const LONG leftMs = static_cast<LONG>(request.DeadlineMs - GetTickCount());
  return leftMs > static_cast<LONG>(CloseCommandMs)
             ? static_cast<DWORD>(leftMs) - CloseCommandMs
             : 0;
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
MCIERROR CloseRecording(const SoundRequest& request) {
  if (recordThread != 0) {
    MCI_GENERIC_PARMS stop;
    ZeroMemory(&stop, sizeof(stop));
    mciSendCommandA(request.DeviceId, MCI_PAUSE, MCI_WAIT,
                    reinterpret_cast<DWORD_PTR>(&stop));
    mciSendCommandA(request.DeviceId, MCI_STOP, MCI_WAIT,
                    reinterpret_cast<DWORD_PTR>(&stop));
    const bool ended =
        WaitForSingleObject(recordThread, DriverThreadWaitMs(request)) ==
        WAIT_OBJECT_0;
    CloseHandle(recordThread);
    recordThread = 0;
    if (!ended) {
      return PlatformNoAnswer;
    }
  }
  return mciSendCommandA(request.DeviceId, MCI_CLOSE, 0, 0);
}

void Execute(SoundRequest* request) {
  switch (request->Command) {
    case MixerOpenCommand: {
      HMIXER mixer = 0;
      request->Result =
          mixerOpen(&mixer, request->Index, 0, 0, MIXER_OBJECTF_MIXER);
      request->Mixer = reinterpret_cast<MixerHandle>(mixer);
      break;
    }
    case MixerCapsCommand:
      request->Result = GetDestinationCount(request);
      break;
    case MixerDestinationCommand:
      request->Result = GetLine(request, MIXER_GETLINEINFOF_DESTINATION);
      break;
    case MixerSourceCommand:
      request->Result = GetLine(request, MIXER_GETLINEINFOF_SOURCE);
      break;
    case MixerControlCommand:
      request->Result = FindControl(*request);
      break;
    case MixerCloseCommand:
      request->Result = mixerClose(reinterpret_cast<HMIXER>(request->Mixer));
      break;
    case DeviceOpenCommand:
      request->Result = OpenRecording(request);
      break;
    case DeviceFormatCommand:
      request->Result = SetFormat(*request);
      break;
    case DeviceRecordCommand:
      request->Result = Record(*request);
      break;
    case DeviceCloseCommand:
      request->Result = CloseRecording(*request);
      break;
    case PlayCommand:
      request->Result = PlaySoundA(request->ClipName, request->Module,
                                   SND_RESOURCE | SND_SYNC);
      break;
  }
}

// A thread that makes the calls of one kind (the mixer's, the wave-audio
// device's, the clip's playback), so that a call the sound system never
// answers holds up that thread and not the run. It works on a request of
// its own, which outlives any caller that has stopped waiting for it. The
// device's commands must all come from one thread in any case: a driver
// takes commands for a device only from the thread that opened it (Wine's
// answers any other with "invalid device name").
struct Worker {
  HANDLE Posted;
  HANDLE Done;
  bool Running;  // its thread was started
  bool Stuck;    // a call has not come back in time
  SoundRequest Work;
};
Worker mixerWorker;
Worker deviceWorker;
Worker playWorker;

DWORD WINAPI WorkerLoop(LPVOID parameter) {
  Worker* worker = static_cast<Worker*>(parameter);
  while (WaitForSingleObject(worker->Posted, INFINITE) == WAIT_OBJECT_0) {
    Execute(&worker->Work);
    SetEvent(worker->Done);
  }
  return 0;
}

// The threads are all started before the first call to the sound system,
// since a call that hangs while Windows loads a driver may hold the
// loader's lock, which every new thread must take.
void StartWorker(Worker* worker) {
  worker->Running = false;
  worker->Stuck = false;
  worker->Posted = CreateEventA(0, FALSE, FALSE, 0);
  worker->Done = CreateEventA(0, FALSE, FALSE, 0);
  if (worker->Posted == 0 || worker->Done == 0) {
    return;
  }
  DWORD threadId = 0;  // Windows 95 and 98 fail a thread without one
  HANDLE thread = CreateThread(0, 0, WorkerLoop, worker, 0, &threadId);
  if (thread != 0) {
    CloseHandle(thread);
    worker->Running = true;
  }
}

// Makes `request` on the worker's thread and waits at most `boundMs` for
// it; true when it came back in time, with its results in `request`. A call
// not back by then leaves the thread to it (`leftRunning`), and every later
// call of the kind fails at once, its result PlatformNoAnswer. Where the
// thread could not be started, the call is made here, without a bound.
bool Call(Worker* worker, SoundRequest* request, uint32_t boundMs,
          bool* leftRunning) {
  if (worker->Stuck) {
    request->Result = PlatformNoAnswer;
    return false;
  }
  if (!worker->Running) {
    Execute(request);
    return true;
  }
  worker->Work = *request;
  SetEvent(worker->Posted);
  if (WaitForSingleObject(worker->Done, boundMs) != WAIT_OBJECT_0) {
    worker->Stuck = true;
    *leftRunning = true;
    request->Result = PlatformNoAnswer;
    return false;
  }
  *request = worker->Work;
  return true;
}

SoundRequest NewRequest(SoundCommand command) {
  SoundRequest request;
  ZeroMemory(&request, sizeof(request));
  request.Command = command;
  return request;
}

}  // namespace

Win32Platform::Win32Platform() : leftRunning_(false) {
  StartWorker(&mixerWorker);
  StartWorker(&deviceWorker);
  StartWorker(&playWorker);
}

uint32_t Win32Platform::Milliseconds() { return GetTickCount(); }

PlatformResult Win32Platform::OpenMixer(uint32_t mixerIndex, MixerHandle* mixer,
                                        uint32_t boundMs) {
  SoundRequest request = NewRequest(MixerOpenCommand);
  request.Index = mixerIndex;
  Call(&mixerWorker, &request, boundMs, &leftRunning_);
  *mixer = request.Mixer;
  return request.Result;
}

PlatformResult Win32Platform::GetDestinationCount(MixerHandle mixer,
                                                  uint32_t* destinationCount,
                                                  uint32_t boundMs) {
  SoundRequest request = NewRequest(MixerCapsCommand);
  request.Mixer = mixer;
  if (Call(&mixerWorker, &request, boundMs, &leftRunning_) &&
      request.Result == MMSYSERR_NOERROR) {
    *destinationCount = request.Count;
  }
  return request.Result;
}

PlatformResult Win32Platform::GetDestinationLine(MixerHandle mixer,
                                                 uint32_t destination,
                                                 MixerLine* line,
                                                 uint32_t boundMs) {
  SoundRequest request = NewRequest(MixerDestinationCommand);
  request.Mixer = mixer;
  request.Index = destination;
  if (Call(&mixerWorker, &request, boundMs, &leftRunning_)) {
    *line = request.Line;
  }
  return request.Result;
}

PlatformResult Win32Platform::GetSourceLine(MixerHandle mixer,
                                            uint32_t destination,
                                            uint32_t source, MixerLine* line,
                                            uint32_t boundMs) {
  SoundRequest request = NewRequest(MixerSourceCommand);
  request.Mixer = mixer;
  request.Index = destination;
  request.Source = source;
  if (Call(&mixerWorker, &request, boundMs, &leftRunning_)) {
    *line = request.Line;
  }
  return request.Result;
}

PlatformResult Win32Platform::FindLineControl(MixerHandle mixer,
                                              uint32_t lineId,
                                              uint32_t controlType,
                                              uint32_t boundMs) {
  SoundRequest request = NewRequest(MixerControlCommand);
  request.Mixer = mixer;
  request.LineId = lineId;
  request.ControlType = controlType;
  Call(&mixerWorker, &request, boundMs, &leftRunning_);
  return request.Result;
}

void Win32Platform::CloseMixer(MixerHandle mixer, uint32_t boundMs) {
  SoundRequest request = NewRequest(MixerCloseCommand);
  request.Mixer = mixer;
  Call(&mixerWorker, &request, boundMs, &leftRunning_);
}

PlatformResult Win32Platform::OpenWaveAudio(WaveDeviceId* deviceId,
                                            uint32_t boundMs) {
  SoundRequest request = NewRequest(DeviceOpenCommand);
  Call(&deviceWorker, &request, boundMs, &leftRunning_);
  *deviceId = request.DeviceId;
  return request.Result;
}

PlatformResult Win32Platform::SetRecordingFormat(WaveDeviceId deviceId,
                                                 const WaveFormat& format,
                                                 uint32_t boundMs) {
  SoundRequest request = NewRequest(DeviceFormatCommand);
  request.DeviceId = deviceId;
  request.Format = format;
  Call(&deviceWorker, &request, boundMs, &leftRunning_);
  return request.Result;
}

PlatformResult Win32Platform::StartRecord(WaveDeviceId deviceId,
                                          uint32_t boundMs) {
  SoundRequest request = NewRequest(DeviceRecordCommand);
  request.DeviceId = deviceId;
  Call(&deviceWorker, &request, boundMs, &leftRunning_);
  return request.Result;
}

PlatformResult Win32Platform::CloseDevice(WaveDeviceId deviceId,
                                          uint32_t boundMs) {
  SoundRequest request = NewRequest(DeviceCloseCommand);
  request.DeviceId = deviceId;
  request.DeadlineMs = GetTickCount() + boundMs;
  Call(&deviceWorker, &request, boundMs, &leftRunning_);
  if (request.Result == PlatformNoAnswer) {
    leftRunning_ = true;  // the driver's recording thread is still running
  }
  return request.Result;
}

PlatformResult Win32Platform::PlayResourceClip(const char* resourceName,
                                               ModuleInstance instance,
                                               uint32_t boundMs) {
  SoundRequest request = NewRequest(PlayCommand);
  request.ClipName = resourceName;
  request.Module = static_cast<HMODULE>(instance);
  if (!Call(&playWorker, &request, boundMs, &leftRunning_)) {
    return PlatformNoAnswer;
  }
  return request.Result != FALSE ? PlatformSuccess : PlatformFailure;
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

// A box dismissed by the operator returns the button pressed (IDOK, or
// IDCANCEL for Esc under some systems). One that could not be shown returns
// 0 (Windows) or -1 (Wine, when its dialog cannot be made), and one ended by
// a WM_QUIT posted to this thread, or by its window being destroyed, 0. The
// box's loop posts that WM_QUIT again on its way out, where it would end the
// next box at once too, so it is taken off the queue here.
bool Win32Platform::ShowMessageBox(const char* text, const char* caption,
                                   uint32_t style) {
  if (MessageBoxA(0, text, caption, style) > 0) {
    return true;
  }
  MSG quit;
  PeekMessageA(&quit, 0, WM_QUIT, WM_QUIT, PM_REMOVE);
  return false;
}

void Win32Platform::Pause(uint32_t ms) { Sleep(ms); }
