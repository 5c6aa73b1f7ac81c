// TARVENIX.INI as the checker reads and writes it, over one run and several.
#include <gtest/gtest.h>

#include <climits>

#include "SimulatedBoard.h"
#include "check/CheckRun.h"
#include "check/Report.h"
#include "check/Settings.h"

namespace {

// A board whose recording line is labelled as an auxiliary input.
SimMixer AuxLabelledMixer() {
  SimMixer mixer = CompleteMixer();
  mixer.Destinations[1].Sources[1].Type = ComponentTypeSrcAuxiliary;
  return mixer;
}

TEST(Settings, LineInProfileReadsBackOnlyZeroOrOne) {
  struct Case {
    const char* Stored;
    uint32_t Expected;
  } cases[] = {{nullptr, 0}, {"0", 0},  {"1", 1},          {"2", 0},
               {"7", 0},     {"-1", 0}, {"4294967295", 0}, {"abc", 0}};
  for (const Case& c : cases) {
    SimulatedBoard board;
    if (c.Stored != nullptr)
      board.Settings.Set("TvSound", "LineInProfile", c.Stored);
    EXPECT_EQ(c.Expected, ReadLineInProfile(board))
        << (c.Stored ? c.Stored : "(absent)");
  }
}

TEST(Settings, ProfileAlternatesAcrossRunsUntilTheLineIsFound) {
  // No line input of either kind: 0 -> "1" -> "2" (read as 0) -> "1".
  SimulatedBoard noLine;
  noLine.Mixers = {CompleteMixer()};
  noLine.Mixers[0].Destinations[1].Sources.pop_back();
  const char* written[] = {"1", "2", "1"};
  for (const char* expected : written) {
    noLine.Boxes.clear();
    CheckRun(noLine, nullptr);
    EXPECT_EQ(2u, noLine.Boxes.size());
    EXPECT_EQ(expected, noLine.Settings.Get("TvSound", "LineInProfile"));
  }

  // Labelled AUX: the first run switches, then the profile that works stays.
  SimulatedBoard aux;
  aux.Mixers = {AuxLabelledMixer()};
  const size_t boxes[] = {2, 1, 1};
  for (size_t expectedBoxes : boxes) {
    aux.Boxes.clear();
    CheckRun(aux, nullptr);
    EXPECT_EQ(expectedBoxes, aux.Boxes.size());
    EXPECT_EQ("1", aux.Settings.Get("TvSound", "LineInProfile"));
  }
  EXPECT_NE(std::string::npos, aux.Boxes.back().Text.find("7f\n"));
}

TEST(Settings, EachAccessSpellsTheFileNameItsOwnWay) {
  SimulatedBoard board;
  board.Mixers = {CompleteMixer()};
  board.Mixers[0].Destinations[1].Sources.pop_back();
  CheckRun(board, nullptr);
  EXPECT_EQ(
      (std::vector<std::string>{"Tarvenix.Ini", "Tarvenix.ini", "tarvenix.ini",
                                "TARVENIX.INI", "TARVENIX.INI"}),
      board.Settings.NamesUsed);
}

TEST(Settings, MissingFileIsCreatedWithTheResultKeys) {
  SimulatedBoard board;
  board.Mixers = {CompleteMixer()};
  EXPECT_FALSE(board.Settings.Exists());
  CheckRun(board, nullptr);
  EXPECT_EQ("[PORTS]\ndvkechomic=2\ndvkstoploop=1\n", board.Settings.Dump());
}

TEST(Settings, OtherSectionsAndKeysAreKept) {
  SimulatedBoard board;
  board.Mixers = {CompleteMixer()};
  board.Settings.Set("Radios", "Left", "IC-7300");
  board.Settings.Set("PORTS", "com1", "9600");
  board.Settings.Set("PORTS", "dvkstoploop", "2");
  board.Settings.Set("TvSound", "MixerIndex", "0");
  board.Settings.Set("TvSound", "Volume", "80");
  CheckRun(board, nullptr);
  EXPECT_EQ(
      "[Radios]\nLeft=IC-7300\n"
      "[PORTS]\ncom1=9600\ndvkstoploop=1\ndvkechomic=2\n"
      "[TvSound]\nMixerIndex=0\nVolume=80\n",
      board.Settings.Dump());
}

// The widest values fill the buffers the code gives them, and no more.
TEST(Settings, DecimalAndHexadecimalText) {
  char text[12];
  for (const int32_t value : {0, 2, -1, INT_MAX, INT_MIN}) {
    FormatDecimal(value, text);
    EXPECT_EQ(std::to_string(value), text);
  }
  FormatScore(0xffffffffu, text);
  EXPECT_STREQ("ffffffff\n", text);
  FormatScore(0x7f, text);
  EXPECT_STREQ("7f\n", text);
}

TEST(Settings, ReportNeverOverrunsItsBuffer) {
  Report report;
  ClearReport(&report);
  for (int i = 0; i < 40; ++i) AppendToReport(&report, NoWaveMutePassage);
  EXPECT_EQ(ReportCapacity - 1, report.Length);
  EXPECT_EQ('\0', report.Text[ReportCapacity - 1]);
  AppendToReport(&report, "more");
  EXPECT_EQ(ReportCapacity - 1, report.Length);
}

}  // namespace
