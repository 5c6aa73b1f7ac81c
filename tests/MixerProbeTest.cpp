// The mixer probe on its own: which destinations and sources count, and what
// a failed query may and may not do.
#include <gtest/gtest.h>

#include <string>

#include "SimulatedBoard.h"
#include "probes/MixerProbe.h"

namespace {

const SimMixer OneMixer(std::vector<SimDestination> destinations) {
  return SimMixer{std::move(destinations), false};
}

MixerCapabilities Probe(SimulatedBoard* board, uint32_t profile = 0) {
  const MixerCapabilities caps = ProbeMixer(*board, 0, profile);
  EXPECT_EQ(0, board->OpenMixers) << "the mixer must be closed again";
  return caps;
}

SimLine FailingQuery(SimLine line) {
  line.QueryFails = true;
  return line;
}

TEST(MixerProbe, OnlyTheFirstSpeakersAndWaveInDestinationsCount) {
  SimulatedBoard board;
  board.Mixers = {OneMixer({
      Speakers({}, {Source(ComponentTypeSrcWaveOut)}),
      WaveIn({}, {Source(ComponentTypeSrcMicrophone)}),
      CompleteMixer().Destinations[0],
      CompleteMixer().Destinations[1],
  })};
  const MixerCapabilities caps = Probe(&board);
  EXPECT_FALSE(caps.OutputFaderFound);
  EXPECT_FALSE(caps.OutputWaveMuteFound);
  EXPECT_FALSE(caps.InputSelectorFound);
  EXPECT_FALSE(caps.InputLineFound);
  EXPECT_TRUE(caps.InputMicFound);
  EXPECT_EQ(-1, board.CallIndex("mixerGetLineInfo source 2"));
  EXPECT_EQ(-1, board.CallIndex("mixerGetLineInfo source 3"));

  // A poorer second destination cannot take away what the first one has.
  SimulatedBoard rich;
  rich.Mixers = {CompleteMixer()};
  rich.Mixers[0].Destinations.push_back(Speakers({}, {}));
  rich.Mixers[0].Destinations.push_back(WaveIn({}, {}));
  const MixerCapabilities richCaps = Probe(&rich);
  EXPECT_TRUE(richCaps.OutputFaderFound && richCaps.InputLineFound &&
              richCaps.InputSelectorFound);
  EXPECT_TRUE(rich.Boxes.empty());
}

TEST(MixerProbe, DestinationFlaggedAsSourceIsSkippedWithoutSettingGuards) {
  SimulatedBoard board;
  SimDestination flaggedSpeakers = CompleteMixer().Destinations[0];
  flaggedSpeakers.Line.Flags = LineFlagSource | 0x1;  // active, too
  SimDestination flaggedWaveIn = CompleteMixer().Destinations[1];
  flaggedWaveIn.Line.Flags = LineFlagSource;
  board.Mixers = {OneMixer({
      flaggedSpeakers,
      flaggedWaveIn,
      Speakers({ControlTypeVolume}, {}),
      WaveIn({}, {Source(ComponentTypeSrcAuxiliary, {ControlTypeMute})}),
  })};
  const MixerCapabilities caps = Probe(&board, 1);
  EXPECT_TRUE(caps.OutputFaderFound);  // from destination 2
  EXPECT_FALSE(caps.OutputWaveMuteFound);
  EXPECT_FALSE(caps.InputSelectorFound);
  EXPECT_TRUE(caps.InputLineFound);  // from destination 3, profile 1
  EXPECT_TRUE(caps.InputLineMuteFound);
  EXPECT_FALSE(caps.InputMicFound);
  EXPECT_EQ(-1, board.CallIndex("mixerGetLineInfo source 0"));
}

TEST(MixerProbe, LaterSourceOfTheSameTypeReplacesTheEarlierResult) {
  struct Case {
    std::vector<uint32_t> First;
    std::vector<uint32_t> Second;
    bool Expected;
  } cases[] = {
      {{ControlTypeMute}, {}, false},
      {{}, {ControlTypeMute}, true},
      {{ControlTypeMute}, {ControlTypeMute}, true},
  };
  for (const Case& c : cases) {
    SimulatedBoard board;
    board.Mixers = {OneMixer({
        Speakers({}, {Source(ComponentTypeSrcWaveOut, c.First),
                      Source(ComponentTypeSrcMicrophone, c.First),
                      Source(ComponentTypeSrcWaveOut, c.Second),
                      Source(ComponentTypeSrcMicrophone, c.Second)}),
        WaveIn({}, {Source(ComponentTypeSrcLine, c.First),
                    Source(ComponentTypeSrcMicrophone, c.First),
                    Source(ComponentTypeSrcLine, c.Second),
                    Source(ComponentTypeSrcMicrophone, c.Second)}),
    })};
    const MixerCapabilities caps = Probe(&board);
    EXPECT_EQ(c.Expected, caps.OutputWaveMuteFound);
    EXPECT_EQ(c.Expected, caps.OutputMicMuteFound);
    EXPECT_EQ(c.Expected, caps.InputLineMuteFound);
    EXPECT_EQ(c.Expected, caps.InputMicMuteFound);
    EXPECT_TRUE(caps.InputLineFound && caps.InputMicFound);
  }
}

TEST(MixerProbe, MultiplexerIsAskedForBeforeTheMixerControl) {
  SimulatedBoard both;
  both.Mixers = {OneMixer({WaveIn({ControlTypeMixer, ControlTypeMux},
                                  {Source(ComponentTypeSrcLine)})})};
  EXPECT_TRUE(Probe(&both).InputSelectorFound);
  EXPECT_NE(-1, both.CallIndex("mixerGetLineControls ffff0000 MUX"));
  EXPECT_EQ(-1, both.CallIndex("mixerGetLineControls ffff0000 MIXER"));

  SimulatedBoard mixerOnly;
  mixerOnly.Mixers = {
      OneMixer({WaveIn({ControlTypeMixer}, {Source(ComponentTypeSrcLine)})})};
  EXPECT_TRUE(Probe(&mixerOnly).InputSelectorFound);
  const int mux = mixerOnly.CallIndex("mixerGetLineControls ffff0000 MUX");
  ASSERT_NE(-1, mux);
  EXPECT_EQ(mux + 1,
            mixerOnly.CallIndex("mixerGetLineControls ffff0000 MIXER"));
}

TEST(MixerProbe, MissingLineInputIsAnnouncedWhileTheMixerIsOpen) {
  struct Case {
    uint32_t Profile;
    std::vector<SimLine> Sources;
    const char* Written;
  } cases[] = {
      {0, {}, "1"},
      {1, {}, "2"},
      {1, {Source(ComponentTypeSrcLine, {ControlTypeMute})}, "2"},
      {0, {Source(ComponentTypeSrcAuxiliary, {ControlTypeMute})}, "1"},
  };
  for (const Case& c : cases) {
    SimulatedBoard board;
    board.Mixers = {OneMixer({WaveIn({ControlTypeMux}, c.Sources),
                              Speakers({ControlTypeVolume}, {})})};
    board.FailingBoxes = 2;  // a box that cannot be shown is tried again
    const MixerCapabilities caps = Probe(&board, c.Profile);
    EXPECT_FALSE(caps.InputLineFound);
    ASSERT_EQ(1u, board.Boxes.size());
    EXPECT_EQ(
        "Kalvorn failed to find a LINE input. Some sound board drivers label "
        "it AUX instead. Kalvorn is adjusting your TARVENIX.INI to look for "
        "the other kind of label the next time you run it",
        board.Boxes[0].Text);
    EXPECT_EQ("Tarvenix Sound", board.Boxes[0].Caption);
    EXPECT_EQ(0u, board.Boxes[0].Style);
    EXPECT_EQ(c.Written, board.Settings.Get("TvSound", "LineInProfile"));
    // Shown before the next destination is looked at.
    EXPECT_LT(board.CallIndex("MessageBox") + 2,
              board.CallIndex("mixerGetLineInfo destination 1"));
    EXPECT_TRUE(caps.OutputFaderFound);
  }
}

TEST(MixerProbe, NoWaveInDestinationLeavesTheProfileAlone) {
  SimulatedBoard board;
  board.Mixers = {OneMixer({CompleteMixer().Destinations[0]})};
  const MixerCapabilities caps = Probe(&board);
  EXPECT_TRUE(caps.OutputFaderFound);
  EXPECT_FALSE(caps.InputSelectorFound || caps.InputLineFound ||
               caps.InputLineMuteFound || caps.InputMicFound ||
               caps.InputMicMuteFound);
  EXPECT_TRUE(board.Boxes.empty());
  EXPECT_FALSE(board.Settings.Exists());
}

// A failed line query may leave anything in the record; such a line is
// passed over, and the next one of its kind can still count.
TEST(MixerProbe, LineWhoseQueryFailedIsPassedOver) {
  SimulatedBoard board;
  SimDestination failingSpeakers = CompleteMixer().Destinations[0];
  failingSpeakers.Line.QueryFails = true;
  SimDestination failingWaveIn = CompleteMixer().Destinations[1];
  failingWaveIn.Line.QueryFails = true;
  board.Mixers = {OneMixer({
      failingSpeakers,
      failingWaveIn,
      Speakers(
          {ControlTypeVolume},
          {FailingQuery(Source(ComponentTypeSrcWaveOut, {ControlTypeMute})),
           Source(ComponentTypeSrcMicrophone, {ControlTypeMute})}),
      WaveIn({}, {FailingQuery(Source(ComponentTypeSrcLine, {ControlTypeMute})),
                  Source(ComponentTypeSrcMicrophone, {ControlTypeMute})}),
  })};
  const MixerCapabilities caps = Probe(&board);
  EXPECT_TRUE(caps.OutputFaderFound);
  EXPECT_FALSE(caps.OutputWaveMuteFound);
  EXPECT_TRUE(caps.OutputMicMuteFound);
  EXPECT_FALSE(caps.InputSelectorFound);
  EXPECT_FALSE(caps.InputLineFound);
  EXPECT_TRUE(caps.InputMicMuteFound);
  EXPECT_EQ(1u, board.Boxes.size());
  // No control was asked for on a line whose query failed.
  EXPECT_EQ(-1, board.CallIndex("mixerGetLineControls ffff0000"));
  EXPECT_EQ(-1, board.CallIndex("mixerGetLineControls ffff0001"));
  EXPECT_EQ(-1, board.CallIndex("mixerGetLineControls 30000 "));
  EXPECT_EQ(-1, board.CallIndex("mixerGetLineControls 40000 "));
}

}  // namespace
