// Starting a recording, playing the clip and closing the device.
#include <gtest/gtest.h>

#include "SimulatedBoard.h"
#include "probes/PlayWhileRecord.h"

namespace {

TEST(PlayWhileRecord, EachFailingCommandHasItsOwnStatusAndTheDeviceIsClosed) {
  struct Case {
    PlatformResult Open, Set, Record;
    RecordStartStatus Expected;
    const char* Close;
  } cases[] = {
      {0, 0, 0, RecordStarted, "mciClose 1"},
      {0, 0, 262, RecordCommandFailed, "mciClose 1"},
      {0, 263, 0, RecordFormatFailed, "mciClose 1"},
      {266, 0, 0, RecordOpenFailed, "mciClose 0"},
  };
  for (const Case& c : cases) {
    SimulatedBoard board;
    board.OpenWaveResult = c.Open;
    board.SetFormatResult = c.Set;
    board.RecordResult = c.Record;
    WaveRecording recording;
    EXPECT_EQ(c.Expected, StartRecording(board, &recording));
    StopRecording(board, recording);
    EXPECT_EQ(c.Close, board.Calls.back());
  }
}

TEST(PlayWhileRecord, RecordsSixteenBitMonoAtTheClipsRate) {
  SimulatedBoard board;
  board.DeviceIdToOpen = 7;
  WaveRecording recording;
  ASSERT_EQ(RecordStarted, StartRecording(board, &recording));
  EXPECT_EQ(7u, recording.DeviceId);
  EXPECT_EQ(1, board.FormatSent.FormatTag);
  EXPECT_EQ(1, board.FormatSent.Channels);
  EXPECT_EQ(11025u, board.FormatSent.SamplesPerSecond);
  EXPECT_EQ(22050u, board.FormatSent.AverageBytesPerSecond);
  EXPECT_EQ(2, board.FormatSent.BlockAlign);
  EXPECT_EQ(16, board.FormatSent.BitsPerSample);
  EXPECT_EQ((std::vector<std::string>{"mciOpen", "mciSet 7", "mciRecord 7"}),
            board.Calls);
}

}  // namespace
