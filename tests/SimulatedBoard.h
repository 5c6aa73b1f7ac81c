// A sound board, a settings file and a screen in memory, stated as data, for
// driving the checker without Windows.
#ifndef KALVORN_TESTS_SIMULATEDBOARD_H
#define KALVORN_TESTS_SIMULATEDBOARD_H

#include <map>
#include <string>
#include <vector>

#include "platform/Platform.h"

struct SimLine {
  uint32_t Type;
  std::vector<uint32_t> Controls;
  uint32_t Flags;
  // The query of this line fails; the record is still filled with the line's
  // data, as a careless driver might, so that acting on it would show.
  bool QueryFails;
};

struct SimDestination {
  SimLine Line;
  std::vector<SimLine> Sources;
};

struct SimMixer {
  std::vector<SimDestination> Destinations;
  bool CapsFail;
};

SimLine Source(uint32_t type, std::vector<uint32_t> controls = {});
SimDestination Destination(uint32_t type, std::vector<uint32_t> controls,
                           std::vector<SimLine> sources = {});
SimDestination Speakers(std::vector<uint32_t> controls,
                        std::vector<SimLine> sources);
SimDestination WaveIn(std::vector<uint32_t> controls,
                      std::vector<SimLine> sources);

// A mixer with every capability the checker looks for.
SimMixer CompleteMixer();

struct SimMessageBox {
  std::string Text;
  std::string Caption;
  uint32_t Style;
  uint32_t ShownAtMs;  // on the board's clock
};

// An INI file matched by name without regard to case, as Windows does.
class SimSettingsFile {
 public:
  void Set(const std::string& section, const std::string& key,
           const std::string& value);
  bool Has(const std::string& section, const std::string& key) const;
  std::string Get(const std::string& section, const std::string& key) const;
  bool Exists() const { return exists_; }
  // Every name the file was accessed by, in order.
  std::vector<std::string> NamesUsed;
  // Sections and keys in file order, for checking that nothing else changed.
  std::string Dump() const;

 private:
  struct Entry {
    std::string Key;
    std::string Value;
  };
  struct Section {
    std::string Name;
    std::vector<Entry> Entries;
  };
  Section* FindSection(const std::string& name);
  const Section* FindSection(const std::string& name) const;
  std::vector<Section> sections_;
  bool exists_ = false;
};

class SimulatedBoard : public Platform {
 public:
  // Mixers by device index; none means the machine has no mixer.
  std::vector<SimMixer> Mixers;
  PlatformResult OpenWaveResult = PlatformSuccess;
  PlatformResult SetFormatResult = PlatformSuccess;
  PlatformResult RecordResult = PlatformSuccess;
  bool PlayWorks = true;
  uint32_t PlaybackMs = 344;  // how long the clip takes to play
  WaveDeviceId DeviceIdToOpen = 1;
  // The sound system stops answering at the first call whose name begins
  // with this (as Calls names it), and never answers again: that call and
  // every later one to the mixer, the device or the playback runs out the
  // bound it is given and fails as unanswered.
  std::string FreezeAt;
  // Calls whose name begins with this are never answered; the others are.
  std::string NeverAnswers;
  // How many tries to show a box fail before one is shown.
  int FailingBoxes = 0;
  // How long the sound system takes to answer each call; a call given less
  // runs out its bound and fails as unanswered.
  uint32_t AnswerMs = 0;
  // The clock, in milliseconds: only the sound system's time passes.
  uint32_t Now = 0;

  SimSettingsFile Settings;
  std::vector<SimMessageBox> Boxes;
  std::vector<std::string> Calls;
  std::vector<uint32_t> BoundsGiven;  // to each sound call, in order
  WaveFormat FormatSent = {};
  ModuleInstance InstanceUsed = nullptr;
  int OpenMixers = 0;

  // Position of the first call that starts with `prefix`, or -1.
  int CallIndex(const std::string& prefix) const;

  uint32_t Milliseconds() override { return Now; }
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
  void Pause(uint32_t ms) override { Now += ms; }

 private:
  // Notes `call`; true when the sound system does not answer it, its bound
  // having passed.
  bool Unanswered(const std::string& call, uint32_t boundMs);
  bool frozen_ = false;
  const SimMixer* MixerFor(MixerHandle mixer) const;
  const SimLine* LineFor(MixerHandle mixer, uint32_t lineId) const;
};

std::string ControlName(uint32_t controlType);

#endif
