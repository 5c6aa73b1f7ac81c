// The report shown to the operator: one passage per finding, the verdict and
// the capability score.
#ifndef KALVORN_CHECK_REPORT_H
#define KALVORN_CHECK_REPORT_H

#include <stdint.h>

#include "platform/Platform.h"

const uint32_t ReportCapacity = 4096;  // characters, terminator included

struct Report {
  char Text[ReportCapacity];
  uint32_t Length;
};

// Capability bits of the score.
const uint32_t ScoreMixer = 0x01;
const uint32_t ScoreOutputFader = 0x02;
const uint32_t ScoreWaveMute = 0x04;
const uint32_t ScoreMicMute = 0x08;
const uint32_t ScoreInputSwitching = 0x10;
const uint32_t ScoreRecording = 0x20;
const uint32_t ScorePlayWhileRecording = 0x40;

extern const char ReportCaption[];

extern const char NoMixerPassage[];
extern const char NoFaderPassage[];
extern const char NoWaveMutePassage[];
extern const char NoMicMutePassage[];
extern const char BothMutesPassage[];
extern const char InputSwitchingPassage[];
extern const char NoInputSwitchingPassage[];
extern const char RecordingFailedPassage[];
extern const char PlayWhileRecordingPassage[];
extern const char NoPlayWhileRecordingPassage[];
// Shown only when the sound system stopped answering: the lead, then the
// parts that did not answer, joined by ", " and " and ", then the rest.
extern const char NoAnswerLead[];
extern const char NoAnswerMixerPart[];
extern const char NoAnswerRecordingPart[];
extern const char NoAnswerClipPart[];
extern const char NoAnswerRest[];
extern const char FullSupportVerdict[];
extern const char NoFullSupportVerdict[];
extern const char ScoreLead[];

// How long a box that could not be shown is tried again: the boxes are the
// run's only output, and a desktop that is still starting, or busy, may
// refuse the first try.
const uint32_t BoxRetryMs = 10000;
const uint32_t BoxRetryPauseMs = 250;

// Shows a modal box with a single OK button and waits until it is
// dismissed; one that cannot be shown is tried again for BoxRetryMs.
void ShowBox(Platform& platform, const char* text, const char* caption);

void ClearReport(Report* report);

// Appends `text`; what does not fit is cut off, and the text stays
// terminated.
void AppendToReport(Report* report, const char* text);

// Writes `value` as lowercase hexadecimal without leading zeros, then a line
// feed. `buffer` must hold at least 10 characters.
void FormatScore(uint32_t value, char* buffer);

#endif
