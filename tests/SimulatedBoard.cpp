#include "SimulatedBoard.h"

#include <stdlib.h>
#include <strings.h>

#include <sstream>

namespace {

const PlatformResult InvalidHandle = 5;  // MMSYSERR_INVALHANDLE
const PlatformResult NotFound = 1024;    // MIXERR_INVALLINE
const PlatformResult NoControl = 1025;   // MIXERR_INVALCONTROL
const PlatformResult BadDeviceId = 257;  // MCIERR_INVALID_DEVICE_ID

uint32_t DestinationLineId(uint32_t d) { return 0xFFFF0000u | d; }
uint32_t SourceLineId(uint32_t d, uint32_t s) { return ((d + 1) << 16) | s; }

void Fill(const SimLine& from, uint32_t lineId, uint32_t sourceCount,
          MixerLine* line) {
  line->LineId = lineId;
  line->LineFlags = from.Flags;
  line->ComponentType = from.Type;
  line->SourceCount = sourceCount;
}

bool SameName(const std::string& a, const std::string& b) {
  return strcasecmp(a.c_str(), b.c_str()) == 0;
}

// GetPrivateProfileInt: optional sign, then decimal digits; anything else
// ends the number. The result is the 32-bit pattern of the value.
uint32_t ParseProfileInt(const std::string& text) {
  const char* p = text.c_str();
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '-' || *p == '+') negative = (*p++ == '-');
  uint32_t value = 0;
  while (*p >= '0' && *p <= '9')
    value = value * 10 + static_cast<uint32_t>(*p++ - '0');
  return negative ? 0u - value : value;
}

}  // namespace

SimLine Source(uint32_t type, std::vector<uint32_t> controls) {
  return SimLine{type, std::move(controls), 0, false};
}

SimDestination Destination(uint32_t type, std::vector<uint32_t> controls,
                           std::vector<SimLine> sources) {
  return SimDestination{SimLine{type, std::move(controls), 0, false},
                        std::move(sources)};
}

SimDestination Speakers(std::vector<uint32_t> controls,
                        std::vector<SimLine> sources) {
  return Destination(ComponentTypeDstSpeakers, std::move(controls),
                     std::move(sources));
}

SimDestination WaveIn(std::vector<uint32_t> controls,
                      std::vector<SimLine> sources) {
  return Destination(ComponentTypeDstWaveIn, std::move(controls),
                     std::move(sources));
}

SimMixer CompleteMixer() {
  SimMixer mixer;
  mixer.CapsFail = false;
  mixer.Destinations = {
      Speakers({ControlTypeVolume, ControlTypeMute},
               {Source(ComponentTypeSrcWaveOut,
                       {ControlTypeMute, ControlTypeVolume}),
                Source(ComponentTypeSrcMicrophone, {ControlTypeMute})}),
      WaveIn({ControlTypeMux},
             {Source(ComponentTypeSrcMicrophone, {ControlTypeMute}),
              Source(ComponentTypeSrcLine, {ControlTypeMute})}),
  };
  return mixer;
}

std::string ControlName(uint32_t controlType) {
  switch (controlType) {
    case ControlTypeVolume:
      return "VOLUME";
    case ControlTypeMute:
      return "MUTE";
    case ControlTypeMux:
      return "MUX";
    case ControlTypeMixer:
      return "MIXER";
  }
  std::ostringstream out;
  out << std::hex << controlType;
  return out.str();
}

// Settings file.

SimSettingsFile::Section* SimSettingsFile::FindSection(
    const std::string& name) {
  for (Section& section : sections_) {
    if (SameName(section.Name, name)) return &section;
  }
  return nullptr;
}

const SimSettingsFile::Section* SimSettingsFile::FindSection(
    const std::string& name) const {
  for (const Section& section : sections_) {
    if (SameName(section.Name, name)) return &section;
  }
  return nullptr;
}

void SimSettingsFile::Set(const std::string& section, const std::string& key,
                          const std::string& value) {
  exists_ = true;
  Section* found = FindSection(section);
  if (found == nullptr) {
    sections_.push_back(Section{section, {}});
    found = &sections_.back();
  }
  for (Entry& entry : found->Entries) {
    if (SameName(entry.Key, key)) {
      entry.Value = value;
      return;
    }
  }
  found->Entries.push_back(Entry{key, value});
}

bool SimSettingsFile::Has(const std::string& section,
                          const std::string& key) const {
  const Section* found = FindSection(section);
  if (found == nullptr) return false;
  for (const Entry& entry : found->Entries) {
    if (SameName(entry.Key, key)) return true;
  }
  return false;
}

std::string SimSettingsFile::Get(const std::string& section,
                                 const std::string& key) const {
  const Section* found = FindSection(section);
  if (found == nullptr) return std::string();
  for (const Entry& entry : found->Entries) {
    if (SameName(entry.Key, key)) return entry.Value;
  }
  return std::string();
}

std::string SimSettingsFile::Dump() const {
  std::string out;
  for (const Section& section : sections_) {
    out += "[" + section.Name + "]\n";
    for (const Entry& entry : section.Entries) {
      out += entry.Key + "=" + entry.Value + "\n";
    }
  }
  return out;
}

// Board.

int SimulatedBoard::CallIndex(const std::string& prefix) const {
  for (size_t i = 0; i < Calls.size(); ++i) {
    if (Calls[i].compare(0, prefix.size(), prefix) == 0)
      return static_cast<int>(i);
  }
  return -1;
}

const SimMixer* SimulatedBoard::MixerFor(MixerHandle mixer) const {
  const uintptr_t index = reinterpret_cast<uintptr_t>(mixer);
  if (index == 0 || index > Mixers.size() || OpenMixers == 0) return nullptr;
  return &Mixers[index - 1];
}

const SimLine* SimulatedBoard::LineFor(MixerHandle mixer,
                                       uint32_t lineId) const {
  const SimMixer* found = MixerFor(mixer);
  if (found == nullptr) return nullptr;
  for (uint32_t d = 0; d < found->Destinations.size(); ++d) {
    const SimDestination& destination = found->Destinations[d];
    if (DestinationLineId(d) == lineId) return &destination.Line;
    for (uint32_t s = 0; s < destination.Sources.size(); ++s) {
      if (SourceLineId(d, s) == lineId) return &destination.Sources[s];
    }
  }
  return nullptr;
}

bool SimulatedBoard::Unanswered(const std::string& call, uint32_t boundMs) {
  Calls.push_back(call);
  BoundsGiven.push_back(boundMs);
  if (!FreezeAt.empty() && call.compare(0, FreezeAt.size(), FreezeAt) == 0) {
    frozen_ = true;
  }
  const bool late = frozen_ || AnswerMs > boundMs ||
                    (!NeverAnswers.empty() && call.rfind(NeverAnswers, 0) == 0);
  Now += late ? boundMs : AnswerMs;
  return late;
}

PlatformResult SimulatedBoard::OpenMixer(uint32_t mixerIndex,
                                         MixerHandle* mixer, uint32_t boundMs) {
  *mixer = nullptr;
  if (Unanswered("mixerOpen " + std::to_string(mixerIndex), boundMs))
    return PlatformNoAnswer;
  if (mixerIndex >= Mixers.size()) return BadDeviceId;
  ++OpenMixers;
  *mixer =
      reinterpret_cast<MixerHandle>(static_cast<uintptr_t>(mixerIndex) + 1);
  return PlatformSuccess;
}

PlatformResult SimulatedBoard::GetDestinationCount(MixerHandle mixer,
                                                   uint32_t* destinationCount,
                                                   uint32_t boundMs) {
  if (Unanswered("mixerGetDevCaps", boundMs)) return PlatformNoAnswer;
  const SimMixer* found = MixerFor(mixer);
  if (found == nullptr) return InvalidHandle;
  if (found->CapsFail) {
    *destinationCount = 7;  // what a careless driver might leave behind
    return InvalidHandle;
  }
  *destinationCount = static_cast<uint32_t>(found->Destinations.size());
  return PlatformSuccess;
}

PlatformResult SimulatedBoard::GetDestinationLine(MixerHandle mixer,
                                                  uint32_t destination,
                                                  MixerLine* line,
                                                  uint32_t boundMs) {
  if (Unanswered("mixerGetLineInfo destination " + std::to_string(destination),
                 boundMs))
    return PlatformNoAnswer;
  const SimMixer* found = MixerFor(mixer);
  if (found == nullptr) return InvalidHandle;
  if (destination >= found->Destinations.size()) return NotFound;
  const SimDestination& d = found->Destinations[destination];
  Fill(d.Line, DestinationLineId(destination),
       static_cast<uint32_t>(d.Sources.size()), line);
  return d.Line.QueryFails ? NotFound : PlatformSuccess;
}

PlatformResult SimulatedBoard::GetSourceLine(MixerHandle mixer,
                                             uint32_t destination,
                                             uint32_t source, MixerLine* line,
                                             uint32_t boundMs) {
  if (Unanswered("mixerGetLineInfo source " + std::to_string(destination) +
                     " " + std::to_string(source),
                 boundMs))
    return PlatformNoAnswer;
  const SimMixer* found = MixerFor(mixer);
  if (found == nullptr) return InvalidHandle;
  if (destination >= found->Destinations.size()) return NotFound;
  const SimDestination& d = found->Destinations[destination];
  if (source >= d.Sources.size()) return NotFound;
  Fill(d.Sources[source], SourceLineId(destination, source), 0, line);
  return d.Sources[source].QueryFails ? NotFound : PlatformSuccess;
}

PlatformResult SimulatedBoard::FindLineControl(MixerHandle mixer,
                                               uint32_t lineId,
                                               uint32_t controlType,
                                               uint32_t boundMs) {
  std::ostringstream call;
  call << "mixerGetLineControls " << std::hex << lineId << " "
       << ControlName(controlType);
  if (Unanswered(call.str(), boundMs)) return PlatformNoAnswer;
  const SimLine* line = LineFor(mixer, lineId);
  if (line == nullptr) return NotFound;
  for (uint32_t control : line->Controls) {
    if (control == controlType) return PlatformSuccess;
  }
  return NoControl;
}

void SimulatedBoard::CloseMixer(MixerHandle mixer, uint32_t boundMs) {
  if (Unanswered("mixerClose " +
                     std::to_string(reinterpret_cast<uintptr_t>(mixer) - 1),
                 boundMs))
    return;
  if (MixerFor(mixer) != nullptr) --OpenMixers;
}

PlatformResult SimulatedBoard::OpenWaveAudio(WaveDeviceId* deviceId,
                                             uint32_t boundMs) {
  if (Unanswered("mciOpen", boundMs)) return PlatformNoAnswer;
  if (OpenWaveResult != PlatformSuccess) {
    *deviceId = 99;  // garbage that must not be trusted
    return OpenWaveResult;
  }
  *deviceId = DeviceIdToOpen;
  return PlatformSuccess;
}

PlatformResult SimulatedBoard::SetRecordingFormat(WaveDeviceId deviceId,
                                                  const WaveFormat& format,
                                                  uint32_t boundMs) {
  if (Unanswered("mciSet " + std::to_string(deviceId), boundMs))
    return PlatformNoAnswer;
  FormatSent = format;
  return deviceId == DeviceIdToOpen ? SetFormatResult : BadDeviceId;
}

PlatformResult SimulatedBoard::StartRecord(WaveDeviceId deviceId,
                                           uint32_t boundMs) {
  if (Unanswered("mciRecord " + std::to_string(deviceId), boundMs))
    return PlatformNoAnswer;
  return deviceId == DeviceIdToOpen ? RecordResult : BadDeviceId;
}

PlatformResult SimulatedBoard::CloseDevice(WaveDeviceId deviceId,
                                           uint32_t boundMs) {
  if (Unanswered("mciClose " + std::to_string(deviceId), boundMs))
    return PlatformNoAnswer;
  return deviceId == DeviceIdToOpen ? PlatformSuccess : BadDeviceId;
}

PlatformResult SimulatedBoard::PlayResourceClip(const char* resourceName,
                                                ModuleInstance instance,
                                                uint32_t boundMs) {
  InstanceUsed = instance;
  if (Unanswered(std::string("PlaySound ") + resourceName, boundMs))
    return PlatformNoAnswer;
  if (PlaybackMs > boundMs) {  // still playing when the bound has passed
    Now += boundMs;
    return PlatformNoAnswer;
  }
  Now += PlaybackMs;
  return PlayWorks ? PlatformSuccess : PlatformFailure;
}

uint32_t SimulatedBoard::ReadProfileInt(const char* section, const char* key,
                                        int32_t defaultValue,
                                        const char* fileName) {
  Calls.push_back(std::string("ReadProfile ") + section + " " + key);
  Settings.NamesUsed.push_back(fileName);
  if (!Settings.Has(section, key)) return static_cast<uint32_t>(defaultValue);
  return ParseProfileInt(Settings.Get(section, key));
}

bool SimulatedBoard::WriteProfileString(const char* section, const char* key,
                                        const char* value,
                                        const char* fileName) {
  Calls.push_back(std::string("WriteProfile ") + section + " " + key + "=" +
                  value);
  Settings.NamesUsed.push_back(fileName);
  Settings.Set(section, key, value);
  return true;
}

bool SimulatedBoard::ShowMessageBox(const char* text, const char* caption,
                                    uint32_t style) {
  Calls.push_back(std::string("MessageBox ") + caption);
  if (FailingBoxes > 0) {
    --FailingBoxes;
    return false;
  }
  Boxes.push_back(SimMessageBox{text, caption, style, Now});
  return true;
}
