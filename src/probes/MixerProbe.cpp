#include "probes/MixerProbe.h"

#include "check/Report.h"
#include "check/Settings.h"
#include "probes/SoundBudget.h"

const uint32_t LineInputTypes[2] = {ComponentTypeSrcLine,
                                    ComponentTypeSrcAuxiliary};

const char LineInputCaption[] = "Tarvenix Sound";
const char LineInputMessage[] =
    "Kalvorn failed to find a LINE input. Some sound board drivers label it "
    "AUX instead. Kalvorn is adjusting your TARVENIX.INI to look for the "
    "other kind of label the next time you run it";

namespace {

// One probe's open mixer, and the time its driver has left.
struct MixerScan {
  Platform* System;  // the platform every call of the scan goes through
  MixerHandle Mixer;
  SoundBudget Budget;
};

bool HasControl(MixerScan* scan, uint32_t lineId, uint32_t controlType) {
  if (!BeginSoundCall(*scan->System, &scan->Budget)) {
    return false;
  }
  const PlatformResult result = scan->System->FindLineControl(
      scan->Mixer, lineId, controlType, scan->Budget.LeftMs);
  EndSoundCall(*scan->System, &scan->Budget, result);
  return result == PlatformSuccess;
}

// A line is read into a cleared record, and a line whose query failed is
// passed over: the checker never acts on what a failed query left behind.
bool ReadLine(MixerScan* scan, uint32_t destination, bool isSource,
              uint32_t source, MixerLine* line) {
  const MixerLine cleared = {0, 0, 0, 0};
  *line = cleared;
  if (!BeginSoundCall(*scan->System, &scan->Budget)) {
    return false;
  }
  const PlatformResult result =
      isSource ? scan->System->GetSourceLine(scan->Mixer, destination, source,
                                             line, scan->Budget.LeftMs)
               : scan->System->GetDestinationLine(scan->Mixer, destination,
                                                  line, scan->Budget.LeftMs);
  EndSoundCall(*scan->System, &scan->Budget, result);
  return result == PlatformSuccess;
}

void ScanSpeakers(MixerScan* scan, uint32_t destination,
                  const MixerLine& speakers, MixerCapabilities* caps) {
  caps->OutputFaderFound = HasControl(scan, speakers.LineId, ControlTypeVolume);
  const uint32_t sourceCount = speakers.SourceCount;
  MixerLine line;
  for (uint32_t s = 0; s < sourceCount; ++s) {
    if (!ReadLine(scan, destination, true, s, &line)) {
      continue;
    }
    if (line.ComponentType == ComponentTypeSrcWaveOut) {
      caps->OutputWaveMuteFound =
          HasControl(scan, line.LineId, ControlTypeMute);
    } else if (line.ComponentType == ComponentTypeSrcMicrophone) {
      caps->OutputMicMuteFound = HasControl(scan, line.LineId, ControlTypeMute);
    }
  }
  // A later source of the same type could have taken a mute back, so a scan
  // cut short claims neither; the fader stands as answered.
  if (scan->Budget.StoppedAnswering) {
    caps->OutputWaveMuteFound = false;
    caps->OutputMicMuteFound = false;
  }
}

void ScanWaveIn(MixerScan* scan, uint32_t destination, const MixerLine& waveIn,
                uint32_t profile, MixerCapabilities* caps) {
  caps->InputSelectorFound = HasControl(scan, waveIn.LineId, ControlTypeMux) ||
                             HasControl(scan, waveIn.LineId, ControlTypeMixer);
  const uint32_t sourceCount = waveIn.SourceCount;
  MixerLine line;
  for (uint32_t s = 0; s < sourceCount; ++s) {
    if (!ReadLine(scan, destination, true, s, &line)) {
      continue;
    }
    if (line.ComponentType == LineInputTypes[profile]) {
      caps->InputLineFound = true;
      caps->InputLineMuteFound = HasControl(scan, line.LineId, ControlTypeMute);
    } else if (line.ComponentType == ComponentTypeSrcMicrophone) {
      caps->InputMicFound = true;
      caps->InputMicMuteFound = HasControl(scan, line.LineId, ControlTypeMute);
    }
  }
  // As on the output side, a scan cut short claims no mute; the sources
  // found and the selector stand as answered.
  if (scan->Budget.StoppedAnswering) {
    caps->InputLineMuteFound = false;
    caps->InputMicMuteFound = false;
  }
  // A driver that stopped answering has not shown that the line input is
  // missing: the profile that may be right is kept for the next run.
  if (!caps->InputLineFound && !scan->Budget.StoppedAnswering) {
    ShowBox(*scan->System, LineInputMessage, LineInputCaption);
    WriteLineInProfile(*scan->System, static_cast<int32_t>(profile) + 1);
  }
}

}  // namespace

MixerCapabilities ProbeMixer(Platform& platform, uint32_t mixerIndex,
                             uint32_t profile) {
  MixerCapabilities caps = {false, false, false, false, false,
                            false, false, false, false, false};
  if (profile > 1) {
    profile = 0;
  }
  MixerScan scan = {&platform, 0, NewSoundBudget(MixerBoundMs - MixerCloseMs)};
  BeginSoundCall(platform, &scan.Budget);
  const PlatformResult opened =
      platform.OpenMixer(mixerIndex, &scan.Mixer, scan.Budget.LeftMs);
  EndSoundCall(platform, &scan.Budget, opened);
  if (scan.Mixer == 0) {
    caps.MixerStoppedAnswering = scan.Budget.StoppedAnswering;
    return caps;
  }
  caps.MixerOpened = true;

  uint32_t destinationCount = 0;
  PlatformResult counted = PlatformNoAnswer;
  if (BeginSoundCall(platform, &scan.Budget)) {
    counted = platform.GetDestinationCount(scan.Mixer, &destinationCount,
                                           scan.Budget.LeftMs);
    EndSoundCall(platform, &scan.Budget, counted);
  }
  if (counted == PlatformSuccess) {
    bool speakersDone = false;
    bool waveInDone = false;
    MixerLine line;
    for (uint32_t d = 0; d < destinationCount; ++d) {
      if (!ReadLine(&scan, d, false, 0, &line)) {
        continue;
      }
      if ((line.LineFlags & LineFlagSource) != 0) {
        continue;
      }
      if (line.ComponentType == ComponentTypeDstSpeakers && !speakersDone) {
        speakersDone = true;
        ScanSpeakers(&scan, d, line, &caps);
      } else if (line.ComponentType == ComponentTypeDstWaveIn && !waveInDone) {
        waveInDone = true;
        ScanWaveIn(&scan, d, line, profile, &caps);
      }
    }
  }
  // The findings are all in before the close, whose answer adds nothing.
  // The close has its own time kept back, so an answered mixer is always
  // closed before the recording starts; after a call that never came back
  // there is no driver left to ask.
  caps.MixerStoppedAnswering = scan.Budget.StoppedAnswering;
  if (!scan.Budget.CallLeftRunning) {
    platform.CloseMixer(scan.Mixer, scan.Budget.LeftMs + MixerCloseMs);
  }
  return caps;
}
