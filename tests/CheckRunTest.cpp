// Whole runs of the checker against simulated boards: the report, the score,
// the settings written and the order of the platform calls.
#include <gtest/gtest.h>

#include <string>

#include "SimulatedBoard.h"
#include "check/CheckRun.h"
#include "check/Report.h"
#include "probes/PlayWhileRecord.h"

namespace {

ModuleInstance const TestInstance = reinterpret_cast<ModuleInstance>(0x400000);

const PlatformResult McierrCannotLoadDriver = 266;
const PlatformResult McierrOutOfRange = 263;
const PlatformResult McierrHardware = 262;

std::string Passages(std::initializer_list<const char*> parts) {
  std::string text;
  for (const char* part : parts) text += part;
  return text;
}

// The last box's text; a run that showed no box fails the test and reads as
// an empty report.
std::string ReportOf(const SimulatedBoard& board) {
  if (board.Boxes.empty()) {
    ADD_FAILURE() << "no message box was shown";
    return std::string();
  }
  return board.Boxes.back().Text;
}

TEST(CheckRunReport, NoMixerButRecordingAndPlaybackWork) {
  SimulatedBoard board;
  board.FailingBoxes = 3;  // a box that cannot be shown is tried again
  EXPECT_EQ(0, CheckRun(board, TestInstance));

  const char* expected =
      "\nOops. There appears to be no mixer on your machine. No automatic L/R "
      "switching will be possible.\n"
      "\nTarvenix failed to locate the main L/R fader. Automatic routing of "
      "two radio audio will NOT be possible.\n"
      "\nTarvenix failed to find a wave mute switch on the output mixer. It "
      "will not be possible to automatically route your mic through your "
      "sound board to two radios on the L/R sound board outputs.\n"
      "\nTarvenix failed to find a mic mute switch on the output mixer. It "
      "will not be possible to automatically route your mic through your "
      "sound board.\n"
      "\nKalvorn could not find a MUX or MUTE switches for MIC and LINE on "
      "your board's waveform input. Tarvenix will be unable to automatically "
      "switch in the mic for the SHIFT+F keys and back to the line input for "
      "tape loop recording.\n"
      "\nYour sound board does support simultaneous play and record. It will "
      "support Dravoly on two radios\n"
      "\n\nYOUR SOUND BOARD DOES NOT SUPPORT FULL TWO-RADIO OPERATION\n"
      "\n\nYour board's score is: 60\n";
  ASSERT_EQ(1u, board.Boxes.size());
  EXPECT_EQ(expected, board.Boxes[0].Text);
  EXPECT_STREQ(KALVORN_REPORT_CAPTION, board.Boxes[0].Caption.c_str());
  EXPECT_EQ(0u, board.Boxes[0].Style);
  EXPECT_EQ("1", board.Settings.Get("PORTS", "dvkechomic"));
  EXPECT_EQ("1", board.Settings.Get("PORTS", "dvkstoploop"));
  EXPECT_FALSE(board.Settings.Has("TvSound", "LineInProfile"));
  SimulatedBoard refusing;  // for a bounded time
  refusing.FailingBoxes = 1000;
  EXPECT_EQ(0, CheckRun(refusing, TestInstance));
  EXPECT_LE(refusing.Now, 344 + BoxRetryMs + BoxRetryPauseMs);
}

TEST(CheckRunReport, EveryCapability) {
  SimulatedBoard board;
  board.Mixers = {CompleteMixer()};
  EXPECT_EQ(0, CheckRun(board, TestInstance));

  const char* expected =
      "\nYour sound board has mute switches for both waveform audio and "
      "microphone on its output mixer. Tarvenix will use these to "
      "automatically route mic audio or wave file recordings through to two "
      "radios on the L/R sound board outputs.\n"
      "\nYour sound board does allow Tarvenix to automatically switch in the "
      "mic for SHIFT+F key recording and back to the line input for tape loop "
      "recording\n"
      "\nYour sound board does support simultaneous play and record. It will "
      "support Dravoly on two radios\n"
      "\n\nYOUR SOUND BOARD APPEARS TO HAVE FULL SUPPORT FOR ALL TARVENIX "
      "FUNCTIONS. \n\nThis program does NOT guarantee your sound board will "
      "actually work with Tarvenix. But yours has a much better chance than "
      "those that fail this test.\n"
      "\n\nYour board's score is: 7f\n";
  ASSERT_EQ(1u, board.Boxes.size());
  EXPECT_EQ(expected, board.Boxes[0].Text);
  EXPECT_EQ("2", board.Settings.Get("PORTS", "dvkechomic"));
  EXPECT_EQ("1", board.Settings.Get("PORTS", "dvkstoploop"));
  EXPECT_FALSE(board.Settings.Has("TvSound", "LineInProfile"));
}

struct ReportCase {
  const char* Name;
  void (*Build)(SimulatedBoard*);
  std::string Expected;
  const char* EchoMic;
  const char* StopLoop;
};

SimMixer WithoutDestinations() { return SimMixer{{}, false}; }

const ReportCase ReportCases[] = {
    {"NothingWorks",
     [](SimulatedBoard* b) {
       b->OpenWaveResult = McierrCannotLoadDriver;
       b->PlayWorks = false;
     },
     Passages({NoMixerPassage, NoFaderPassage, NoWaveMutePassage,
               NoMicMutePassage, NoInputSwitchingPassage,
               RecordingFailedPassage, NoPlayWhileRecordingPassage,
               NoFullSupportVerdict, ScoreLead, "0\n"}),
     "1", "2"},
    {"RecordingFailsButClipPlays",
     [](SimulatedBoard* b) {
       b->Mixers = {CompleteMixer()};
       b->RecordResult = McierrHardware;
     },
     Passages({BothMutesPassage, InputSwitchingPassage, RecordingFailedPassage,
               PlayWhileRecordingPassage, NoFullSupportVerdict, ScoreLead,
               "5f\n"}),
     "2", "1"},
    {"FormatRefusedAndClipSilent",
     [](SimulatedBoard* b) {
       b->Mixers = {CompleteMixer()};
       b->SetFormatResult = McierrOutOfRange;
       b->PlayWorks = false;
     },
     Passages({BothMutesPassage, InputSwitchingPassage, RecordingFailedPassage,
               NoPlayWhileRecordingPassage, NoFullSupportVerdict, ScoreLead,
               "1f\n"}),
     "2", "2"},
    {"InputSwitchingThroughMutePairAlone",
     [](SimulatedBoard* b) {
       b->Mixers = {CompleteMixer()};
       b->Mixers[0].Destinations[1] =
           WaveIn({}, {Source(ComponentTypeSrcMicrophone, {ControlTypeMute}),
                       Source(ComponentTypeSrcLine, {ControlTypeMute})});
     },
     Passages({BothMutesPassage, InputSwitchingPassage,
               PlayWhileRecordingPassage, FullSupportVerdict, ScoreLead,
               "7f\n"}),
     "2", "1"},
    {"InputSwitchingThroughSelectorAlone",
     [](SimulatedBoard* b) {
       b->Mixers = {CompleteMixer()};
       b->Mixers[0].Destinations[1] = WaveIn(
           {ControlTypeMixer},
           {Source(ComponentTypeSrcLine), Source(ComponentTypeSrcMicrophone)});
     },
     Passages({BothMutesPassage, InputSwitchingPassage,
               PlayWhileRecordingPassage, FullSupportVerdict, ScoreLead,
               "7f\n"}),
     "2", "1"},
    {"OneMuteOfThePairMissing",
     [](SimulatedBoard* b) {
       b->Mixers = {CompleteMixer()};
       b->Mixers[0].Destinations[1] =
           WaveIn({}, {Source(ComponentTypeSrcMicrophone, {ControlTypeMute}),
                       Source(ComponentTypeSrcLine)});
     },
     Passages({BothMutesPassage, NoInputSwitchingPassage,
               PlayWhileRecordingPassage, NoFullSupportVerdict, ScoreLead,
               "6f\n"}),
     "2", "1"},
    {"BothOutputMutesButNoFader",
     [](SimulatedBoard* b) {
       b->Mixers = {CompleteMixer()};
       b->Mixers[0].Destinations[0].Line.Controls = {ControlTypeMute};
     },
     Passages({NoFaderPassage, BothMutesPassage, InputSwitchingPassage,
               PlayWhileRecordingPassage, NoFullSupportVerdict, ScoreLead,
               "7d\n"}),
     "2", "1"},
    {"OnlyTheMicMuteOnTheOutput",
     [](SimulatedBoard* b) {
       b->Mixers = {CompleteMixer()};
       b->Mixers[0].Destinations[0].Sources[0].Controls = {ControlTypeVolume};
     },
     Passages({NoWaveMutePassage, InputSwitchingPassage,
               PlayWhileRecordingPassage, NoFullSupportVerdict, ScoreLead,
               "7b\n"}),
     "1", "1"},
    {"MixerWithoutDestinations",
     [](SimulatedBoard* b) { b->Mixers = {WithoutDestinations()}; },
     Passages({NoFaderPassage, NoWaveMutePassage, NoMicMutePassage,
               NoInputSwitchingPassage, PlayWhileRecordingPassage,
               NoFullSupportVerdict, ScoreLead, "61\n"}),
     "1", "1"},
    {"MixerCapabilitiesUnreadable",
     [](SimulatedBoard* b) {
       b->Mixers = {CompleteMixer()};
       b->Mixers[0].CapsFail = true;
     },
     Passages({NoFaderPassage, NoWaveMutePassage, NoMicMutePassage,
               NoInputSwitchingPassage, PlayWhileRecordingPassage,
               NoFullSupportVerdict, ScoreLead, "61\n"}),
     "1", "1"},
    {"SecondMixerChosenByMixerIndex",
     [](SimulatedBoard* b) {
       b->Mixers = {WithoutDestinations(), CompleteMixer()};
       b->Settings.Set("TvSound", "MixerIndex", "1");
     },
     Passages({BothMutesPassage, InputSwitchingPassage,
               PlayWhileRecordingPassage, FullSupportVerdict, ScoreLead,
               "7f\n"}),
     "2", "1"},
    {"MixerIndexNamingNoMixer",
     [](SimulatedBoard* b) {
       b->Mixers = {CompleteMixer()};
       b->Settings.Set("TvSound", "MixerIndex", "3");
     },
     Passages({NoMixerPassage, NoFaderPassage, NoWaveMutePassage,
               NoMicMutePassage, NoInputSwitchingPassage,
               PlayWhileRecordingPassage, NoFullSupportVerdict, ScoreLead,
               "60\n"}),
     "1", "1"},
};

void PrintTo(const ReportCase& c, std::ostream* os) { *os << c.Name; }

class CheckRunReportTable : public testing::TestWithParam<ReportCase> {};

TEST_P(CheckRunReportTable, ReportScoreAndSettings) {
  const ReportCase& c = GetParam();
  SimulatedBoard board;
  c.Build(&board);
  EXPECT_EQ(0, CheckRun(board, TestInstance));
  EXPECT_EQ(c.Expected, ReportOf(board));
  EXPECT_EQ(c.EchoMic, board.Settings.Get("PORTS", "dvkechomic"));
  EXPECT_EQ(c.StopLoop, board.Settings.Get("PORTS", "dvkstoploop"));
  EXPECT_EQ(0, board.OpenMixers);
}

INSTANTIATE_TEST_SUITE_P(Boards, CheckRunReportTable,
                         testing::ValuesIn(ReportCases),
                         [](const testing::TestParamInfo<ReportCase>& info) {
                           return std::string(info.param.Name);
                         });

// The order of the run, as the platform sees it.

TEST(CheckRunOrder, MixerClosedBeforeRecordingAndDeviceClosedBeforeReport) {
  SimulatedBoard board;
  board.Mixers = {CompleteMixer()};
  CheckRun(board, TestInstance);

  const int readProfile = board.CallIndex("ReadProfile TvSound LineInProfile");
  const int readIndex = board.CallIndex("ReadProfile TvSound MixerIndex");
  const int mixerOpen = board.CallIndex("mixerOpen 0");
  const int mixerClose = board.CallIndex("mixerClose");
  const int echoMic = board.CallIndex("WriteProfile PORTS dvkechomic");
  const int mciOpen = board.CallIndex("mciOpen");
  const int mciSet = board.CallIndex("mciSet 1");
  const int mciRecord = board.CallIndex("mciRecord 1");
  const int play = board.CallIndex("PlaySound THREEWAV");
  const int stopLoop = board.CallIndex("WriteProfile PORTS dvkstoploop");
  const int mciClose = board.CallIndex("mciClose 1");
  const int report =
      board.CallIndex(std::string("MessageBox ") + KALVORN_REPORT_CAPTION);

  EXPECT_EQ(0, readProfile);
  EXPECT_EQ(1, readIndex);
  EXPECT_EQ(2, mixerOpen);
  EXPECT_LT(mixerOpen, mixerClose);
  EXPECT_LT(mixerClose, echoMic);
  EXPECT_LT(echoMic, mciOpen);
  EXPECT_LT(mciOpen, mciSet);
  EXPECT_LT(mciSet, mciRecord);
  EXPECT_LT(mciRecord, play);
  EXPECT_LT(play, stopLoop);
  EXPECT_LT(stopLoop, mciClose);
  EXPECT_EQ(static_cast<int>(board.Calls.size()) - 1, report);
  EXPECT_EQ(mciClose + 1, report);
  EXPECT_EQ(TestInstance, board.InstanceUsed);
}

// The passage on a sound system that stopped answering, naming `parts`.
std::string NoAnswer(const std::string& parts) {
  return NoAnswerLead + parts + NoAnswerRest;
}

// A run on `mixer` from settings that no run writes, whose sound system stops
// answering at `freezeAt` for good, or leaves `neverAnswers` calls alone
// unanswered.
SimulatedBoard RunStopping(const SimMixer& mixer, const std::string& freezeAt,
                           const std::string& neverAnswers) {
  SimulatedBoard board;
  board.Mixers = {mixer};
  board.Settings.Set("PORTS", "dvkechomic", "kept");
  board.Settings.Set("PORTS", "dvkstoploop", "kept");
  board.Settings.Set("TvSound", "LineInProfile", "kept");  // reads as 0
  board.FreezeAt = freezeAt;
  board.NeverAnswers = neverAnswers;
  CheckRun(board, TestInstance);
  return board;
}

// A sound system that answers slowly: each call is given what is left of its
// group's time, and what the time does not cover goes unanswered.
TEST(CheckRunOrder, EachCallIsGivenWhatIsLeftOfItsGroupsTime) {
  SimulatedBoard board;
  board.Mixers = {CompleteMixer()};
  board.AnswerMs = 500;
  CheckRun(board, TestInstance);

  // Seven mixer calls answered, which use up the scan's time, the speakers'
  // second source included, but not its mute; the close in the time kept
  // back for it; the device's three commands, the clip and the close.
  std::vector<uint32_t> bounds;
  for (int left = 3500; left > 0; left -= 500) bounds.push_back(left);
  bounds.insert(bounds.end(), {500, 4000, 3500, 3000, 8000, 4000});
  EXPECT_EQ(bounds, board.BoundsGiven);
  EXPECT_EQ(7, board.CallIndex("mixerClose") - board.CallIndex("mixerOpen"));
  EXPECT_EQ(0, board.OpenMixers);
  EXPECT_FALSE(board.Settings.Has("PORTS", "dvkechomic"));
  EXPECT_EQ("1", board.Settings.Get("PORTS", "dvkstoploop"));
  // The wave mute answered, but the scan stopped before a later wave source
  // could take it back: it is not claimed.
  const std::string ending =
      NoAnswer("the mixer check") + NoFullSupportVerdict + ScoreLead + "63\n";
  const std::string report = ReportOf(board);
  EXPECT_EQ(ending, report.substr(report.size() - ending.size()));
}

// Boards where a later source can take back what an earlier one showed, and
// one without its line input, each stopped at every call its answered run
// makes: the report within the run's bound, the answered run's own or one
// that says what did not answer; no score bit, verdict or setting that the
// answered run does not claim, and no playing while recording from a
// recording that never started.
TEST(CheckRunOrder, RunThatStopsAnsweringClaimsNothingTheAnsweredRunDoesNot) {
  const std::vector<uint32_t> mute = {ControlTypeMute};
  const SimMixer takenBack = {
      {Speakers({}, {Source(ComponentTypeSrcWaveOut, mute),
                     Source(ComponentTypeSrcMicrophone, mute),
                     Source(ComponentTypeSrcWaveOut),
                     Source(ComponentTypeSrcMicrophone)}),
       WaveIn({}, {Source(ComponentTypeSrcLine, mute),
                   Source(ComponentTypeSrcMicrophone, mute),
                   Source(ComponentTypeSrcLine)})},
      false};
  SimMixer noLine = CompleteMixer();
  noLine.Destinations[1].Sources.pop_back();
  auto score = [](const SimulatedBoard& board) {
    const std::string report = ReportOf(board);
    return strtoul(report.substr(report.rfind(": ") + 2).c_str(), nullptr, 16);
  };
  const size_t npos = std::string::npos;
  for (const SimMixer& mixer : {CompleteMixer(), takenBack, noLine}) {
    const SimulatedBoard answered = RunStopping(mixer, "", "");
    for (const std::string& call : answered.Calls) {
      for (const bool alone : {false, true}) {
        SCOPED_TRACE(call + (alone ? " alone" : ""));
        const SimulatedBoard stopped =
            RunStopping(mixer, alone ? "" : call, alone ? call : "");
        EXPECT_LE(stopped.Boxes.back().ShownAtMs, RunBoundMs);
        EXPECT_TRUE(ReportOf(stopped) == ReportOf(answered) ||
                    ReportOf(stopped).find(NoAnswerLead) != npos);
        EXPECT_EQ(0u, score(stopped) & ~score(answered));
        EXPECT_TRUE(ReportOf(answered).find(FullSupportVerdict) != npos ||
                    ReportOf(stopped).find(FullSupportVerdict) == npos);
        for (const char* key : {"dvkechomic", "dvkstoploop", "LineInProfile"}) {
          const char* section = key[0] == 'd' ? "PORTS" : "TvSound";
          const std::string value = stopped.Settings.Get(section, key);
          EXPECT_TRUE(value == "kept" ||
                      value == answered.Settings.Get(section, key))
              << key;
        }
        if (alone && call.rfind("mci", 0) == 0 &&
            call.rfind("mciClose", 0) != 0) {
          EXPECT_EQ(0u, score(stopped) & ScorePlayWhileRecording);
          EXPECT_EQ("kept", stopped.Settings.Get("PORTS", "dvkstoploop"));
        }
      }
    }
  }
}

// A sound system that holds the clip up for a few seconds, as a busy one
// may, still plays it: that is a board that plays while it records.
TEST(CheckRunOrder, ClipHeldUpForSecondsStillCountsAsPlayed) {
  SimulatedBoard board;
  board.Mixers = {CompleteMixer()};
  board.PlaybackMs = 344 + 3000;
  CheckRun(board, TestInstance);
  EXPECT_EQ("1", board.Settings.Get("PORTS", "dvkstoploop"));
  EXPECT_NE(std::string::npos, ReportOf(board).find("7f\n"));
}

}  // namespace
