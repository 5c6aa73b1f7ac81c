#include "check/CheckRun.h"

#include "check/Report.h"
#include "check/Settings.h"
#include "probes/MixerProbe.h"
#include "probes/PlayWhileRecord.h"

// The time of a run that is not the sound system's: the start of the
// process, the settings file, the threads.
const uint32_t RunOverheadMs = 3000;
static_assert(MixerBoundMs + RecordingStartBoundMs + PlaybackBoundMs +
                      RecordingCloseBoundMs + RunOverheadMs <=
                  RunBoundMs,
              "the report shows within RunBoundMs however the sound fails");

namespace {

struct CheckState {
  uint32_t Score;
  bool FullSupport;
  Report Text;
};

// Adds `bit` to the score when `present`; otherwise reports `missingPassage`
// and gives up full support.
void Grade(CheckState* state, bool present, uint32_t bit,
           const char* missingPassage) {
  if (present) {
    state->Score |= bit;
  } else {
    AppendToReport(&state->Text, missingPassage);
    state->FullSupport = false;
  }
}

// Says which parts of the run the sound system did not answer, if any.
void ReportUnanswered(Report* report, const bool* unanswered,
                      const char* const* parts, int partCount) {
  int left = 0;
  for (int i = 0; i < partCount; ++i) {
    left += unanswered[i] ? 1 : 0;
  }
  if (left == 0) {
    return;
  }
  AppendToReport(report, NoAnswerLead);
  for (int i = 0; i < partCount; ++i) {
    if (unanswered[i]) {
      AppendToReport(report, parts[i]);
      --left;
      AppendToReport(report, left > 1 ? ", " : left == 1 ? " and " : "");
    }
  }
  AppendToReport(report, NoAnswerRest);
}

}  // namespace

int CheckRun(Platform& platform, ModuleInstance instance) {
  CheckState state;
  state.Score = 0;
  state.FullSupport = true;
  ClearReport(&state.Text);

  const uint32_t profile = ReadLineInProfile(platform);
  const uint32_t mixerIndex = ReadMixerIndex(platform);

  const MixerCapabilities caps = ProbeMixer(platform, mixerIndex, profile);
  Grade(&state, caps.MixerOpened, ScoreMixer, NoMixerPassage);
  Grade(&state, caps.OutputFaderFound, ScoreOutputFader, NoFaderPassage);
  Grade(&state, caps.OutputWaveMuteFound, ScoreWaveMute, NoWaveMutePassage);
  Grade(&state, caps.OutputMicMuteFound, ScoreMicMute, NoMicMutePassage);

  const bool bothMutes = caps.OutputMicMuteFound && caps.OutputWaveMuteFound;
  if (bothMutes) {
    AppendToReport(&state.Text, BothMutesPassage);
  }
  // A setting is written only from what the sound system answered; else
  // the value Tarvenix has stays.
  if (!caps.MixerStoppedAnswering) {
    WriteEchoMicSetting(platform, bothMutes);
  }

  const bool inputSwitching =
      (caps.InputSelectorFound && caps.InputMicFound && caps.InputLineFound) ||
      (caps.InputMicMuteFound && caps.InputLineMuteFound);
  if (inputSwitching) {
    AppendToReport(&state.Text, InputSwitchingPassage);
  }
  Grade(&state, inputSwitching, ScoreInputSwitching, NoInputSwitchingPassage);

  WaveRecording recording;
  const RecordStartStatus status = StartRecording(platform, &recording);
  Grade(&state, status == RecordStarted, ScoreRecording,
        RecordingFailedPassage);

  // Played whatever the recording did: a board may still play the clip. But
  // where the device never answered its start, nothing is known to have been
  // recording, so a clip that played shows nothing about playing while
  // recording.
  const ClipPlayback clip = PlayTestClip(platform, instance);
  const bool played = clip.PlayedWhileRecording && !recording.StoppedAnswering;
  if (played) {
    AppendToReport(&state.Text, PlayWhileRecordingPassage);
  }
  Grade(&state, played, ScorePlayWhileRecording, NoPlayWhileRecordingPassage);
  if (!clip.StoppedAnswering && !recording.StoppedAnswering) {
    WriteStopLoopSetting(platform, played);
  }

  StopRecording(platform, recording);

  const bool unanswered[] = {caps.MixerStoppedAnswering,
                             recording.StoppedAnswering, clip.StoppedAnswering};
  const char* const parts[] = {NoAnswerMixerPart, NoAnswerRecordingPart,
                               NoAnswerClipPart};
  ReportUnanswered(&state.Text, unanswered, parts, 3);

  AppendToReport(&state.Text,
                 state.FullSupport ? FullSupportVerdict : NoFullSupportVerdict);
  char scoreText[12];
  FormatScore(state.Score, scoreText);
  AppendToReport(&state.Text, ScoreLead);
  AppendToReport(&state.Text, scoreText);

  ShowBox(platform, state.Text.Text, ReportCaption);
  return 0;
}
