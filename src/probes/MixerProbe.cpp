#include "probes/MixerProbe.h"

#include "check/Settings.h"

const uint32_t LineInputTypes[2] = {ComponentTypeSrcLine,
                                    ComponentTypeSrcAuxiliary};

const char LineInputCaption[] = "Tarvenix Sound";
const char LineInputMessage[] =
    "Kalvorn failed to find a LINE input. Some sound board drivers label it "
    "AUX instead. Kalvorn is adjusting your TARVENIX.INI to look for the "
    "other kind of label the next time you run it";

namespace {

bool HasControl(Platform& platform, MixerHandle mixer, uint32_t lineId,
                uint32_t controlType) {
  return platform.FindLineControl(mixer, lineId, controlType) ==
         PlatformSuccess;
}

// A source line is read into a cleared record, and a line whose query failed
// is passed over: the checker never acts on what a failed query left behind.
bool ReadSource(Platform& platform, MixerHandle mixer, uint32_t destination,
                uint32_t source, MixerLine* line) {
  const MixerLine cleared = {0, 0, 0, 0};
  *line = cleared;
  return platform.GetSourceLine(mixer, destination, source, line) ==
         PlatformSuccess;
}

void ScanSpeakers(Platform& platform, MixerHandle mixer, uint32_t destination,
                  const MixerLine& speakers, MixerCapabilities* caps) {
  caps->OutputFaderFound =
      HasControl(platform, mixer, speakers.LineId, ControlTypeVolume);
  const uint32_t sourceCount = speakers.SourceCount;
  MixerLine line;
  for (uint32_t s = 0; s < sourceCount; ++s) {
    if (!ReadSource(platform, mixer, destination, s, &line)) {
      continue;
    }
    if (line.ComponentType == ComponentTypeSrcWaveOut) {
      caps->OutputWaveMuteFound =
          HasControl(platform, mixer, line.LineId, ControlTypeMute);
    } else if (line.ComponentType == ComponentTypeSrcMicrophone) {
      caps->OutputMicMuteFound =
          HasControl(platform, mixer, line.LineId, ControlTypeMute);
    }
  }
}

void ScanWaveIn(Platform& platform, MixerHandle mixer, uint32_t destination,
                const MixerLine& waveIn, uint32_t profile,
                MixerCapabilities* caps) {
  caps->InputSelectorFound =
      HasControl(platform, mixer, waveIn.LineId, ControlTypeMux) ||
      HasControl(platform, mixer, waveIn.LineId, ControlTypeMixer);
  const uint32_t sourceCount = waveIn.SourceCount;
  MixerLine line;
  for (uint32_t s = 0; s < sourceCount; ++s) {
    if (!ReadSource(platform, mixer, destination, s, &line)) {
      continue;
    }
    if (line.ComponentType == LineInputTypes[profile]) {
      caps->InputLineFound = true;
      caps->InputLineMuteFound =
          HasControl(platform, mixer, line.LineId, ControlTypeMute);
    } else if (line.ComponentType == ComponentTypeSrcMicrophone) {
      caps->InputMicFound = true;
      caps->InputMicMuteFound =
          HasControl(platform, mixer, line.LineId, ControlTypeMute);
    }
  }
  if (!caps->InputLineFound) {
    platform.ShowMessageBox(LineInputMessage, LineInputCaption, MessageBoxOk);
    WriteLineInProfile(platform, static_cast<int32_t>(profile) + 1);
  }
}

}  // namespace

MixerCapabilities ProbeMixer(Platform& platform, uint32_t mixerIndex,
                             uint32_t profile) {
  MixerCapabilities caps = {false, false, false, false, false,
                            false, false, false, false};
  if (profile > 1) {
    profile = 0;
  }
  MixerHandle mixer = platform.OpenMixer(mixerIndex);
  if (mixer == 0) {
    return caps;
  }
  caps.MixerOpened = true;

  uint32_t destinationCount = 0;
  if (platform.GetDestinationCount(mixer, &destinationCount) ==
      PlatformSuccess) {
    bool speakersDone = false;
    bool waveInDone = false;
    const MixerLine cleared = {0, 0, 0, 0};
    MixerLine line;
    for (uint32_t d = 0; d < destinationCount; ++d) {
      line = cleared;
      if (platform.GetDestinationLine(mixer, d, &line) != PlatformSuccess) {
        continue;
      }
      if ((line.LineFlags & LineFlagSource) != 0) {
        continue;
      }
      if (line.ComponentType == ComponentTypeDstSpeakers && !speakersDone) {
        speakersDone = true;
        ScanSpeakers(platform, mixer, d, line, &caps);
      } else if (line.ComponentType == ComponentTypeDstWaveIn && !waveInDone) {
        waveInDone = true;
        ScanWaveIn(platform, mixer, d, line, profile, &caps);
      }
    }
  }
  platform.CloseMixer(mixer);
  return caps;
}
