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

}  // namespace

Win32Platform::Win32Platform() : recordThread_(0) {}

Win32Platform::~Win32Platform() {
  if (recordThread_ != 0) {
    CloseHandle(recordThread_);
  }
}

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

PlatformResult Win32Platform::OpenWaveAudio(WaveDeviceId* deviceId) {
  MCI_OPEN_PARMSA open;
  ZeroMemory(&open, sizeof(open));
  open.lpstrDeviceType = "waveaudio";
  open.lpstrElementName = "";
  const MCIERROR status =
      mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_WAIT,
                      reinterpret_cast<DWORD_PTR>(&open));
  *deviceId = open.wDeviceID;
  return status;
}

PlatformResult Win32Platform::SetRecordingFormat(WaveDeviceId deviceId,
                                                 const WaveFormat& format) {
  MCI_WAVE_SET_PARMS set;
  ZeroMemory(&set, sizeof(set));
  set.wFormatTag = format.FormatTag;
  set.nChannels = format.Channels;
  set.nSamplesPerSec = format.SamplesPerSecond;
  set.nAvgBytesPerSec = format.AverageBytesPerSecond;
  set.nBlockAlign = format.BlockAlign;
  set.wBitsPerSample = format.BitsPerSample;
  return mciSendCommandA(
      deviceId, MCI_SET,
      MCI_WAIT | MCI_WAVE_SET_FORMATTAG | MCI_WAVE_SET_CHANNELS |
          MCI_WAVE_SET_SAMPLESPERSEC | MCI_WAVE_SET_AVGBYTESPERSEC |
          MCI_WAVE_SET_BLOCKALIGN | MCI_WAVE_SET_BITSPERSAMPLE,
      reinterpret_cast<DWORD_PTR>(&set));
}

PlatformResult Win32Platform::StartRecord(WaveDeviceId deviceId) {
  MCI_RECORD_PARMS record;
  ZeroMemory(&record, sizeof(record));
  ThreadIdSet before;
  SnapshotThreads(&before);
  const MCIERROR status = mciSendCommandA(deviceId, MCI_RECORD, 0,
                                          reinterpret_cast<DWORD_PTR>(&record));
  if (status == 0 && recordThread_ == 0) {
    recordThread_ = FindDriverThreadSince(before);
  }
  return status;
}

PlatformResult Win32Platform::CloseDevice(WaveDeviceId deviceId) {
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
  // thrown away, so nothing is lost by pausing it.
  if (recordThread_ != 0) {
    MCI_GENERIC_PARMS stop;
    ZeroMemory(&stop, sizeof(stop));
    mciSendCommandA(deviceId, MCI_PAUSE, MCI_WAIT,
                    reinterpret_cast<DWORD_PTR>(&stop));
    mciSendCommandA(deviceId, MCI_STOP, MCI_WAIT,
                    reinterpret_cast<DWORD_PTR>(&stop));
    WaitForSingleObject(recordThread_, 2000);
    CloseHandle(recordThread_);
    recordThread_ = 0;
  }
  return mciSendCommandA(deviceId, MCI_CLOSE, 0, 0);
}

bool Win32Platform::PlayResourceClip(const char* resourceName,
                                     ModuleInstance instance) {
  return PlaySoundA(resourceName, static_cast<HMODULE>(instance),
                    SND_RESOURCE | SND_SYNC) != FALSE;
}

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
