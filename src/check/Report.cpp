#include "check/Report.h"

const char ReportCaption[] = KALVORN_REPORT_CAPTION;

const char NoMixerPassage[] =
    "\nOops. There appears to be no mixer on your machine. No automatic L/R "
    "switching will be possible.\n";
const char NoFaderPassage[] =
    "\nTarvenix failed to locate the main L/R fader. Automatic routing of two "
    "radio audio will NOT be possible.\n";
const char NoWaveMutePassage[] =
    "\nTarvenix failed to find a wave mute switch on the output mixer. It will "
    "not be possible to automatically route your mic through your sound board "
    "to two radios on the L/R sound board outputs.\n";
const char NoMicMutePassage[] =
    "\nTarvenix failed to find a mic mute switch on the output mixer. It will "
    "not be possible to automatically route your mic through your sound "
    "board.\n";
const char BothMutesPassage[] =
    "\nYour sound board has mute switches for both waveform audio and "
    "microphone on its output mixer. Tarvenix will use these to automatically "
    "route mic audio or wave file recordings through to two radios on the L/R "
    "sound board outputs.\n";
const char InputSwitchingPassage[] =
    "\nYour sound board does allow Tarvenix to automatically switch in the mic "
    "for SHIFT+F key recording and back to the line input for tape loop "
    "recording\n";
const char NoInputSwitchingPassage[] =
    "\nKalvorn could not find a MUX or MUTE switches for MIC and LINE on your "
    "board's waveform input. Tarvenix will be unable to automatically switch "
    "in the mic for the SHIFT+F keys and back to the line input for tape loop "
    "recording.\n";
const char RecordingFailedPassage[] =
    "\nOops. Failed to even start a recording session on the sound board. No "
    "sound operations are possible.\n";
const char PlayWhileRecordingPassage[] =
    "\nYour sound board does support simultaneous play and record. It will "
    "support Dravoly on two radios\n";
const char NoPlayWhileRecordingPassage[] =
    "\nYour sound board does NOT support simultaneous play and record. It will "
    "NOT support Dravoly on two radios simultaneously\n";
const char NoAnswerLead[] = "\nYour sound system stopped answering during ";
const char NoAnswerMixerPart[] = "the mixer check";
const char NoAnswerRecordingPart[] = "the start of the recording";
const char NoAnswerClipPart[] = "the test clip";
const char NoAnswerRest[] =
    ". What it did not answer is unknown, not absent: the passages above about "
    "it may not hold for your sound board, the score counts none of it, and "
    "the settings that depend on it were left as they were (any other was "
    "written as usual). Run Kalvorn again once your sound system works.\n";
const char FullSupportVerdict[] =
    "\n\nYOUR SOUND BOARD APPEARS TO HAVE FULL SUPPORT FOR ALL TARVENIX "
    "FUNCTIONS. \n\nThis program does NOT guarantee your sound board will "
    "actually work with Tarvenix. But yours has a much better chance than "
    "those that fail this test.\n";
const char NoFullSupportVerdict[] =
    "\n\nYOUR SOUND BOARD DOES NOT SUPPORT FULL TWO-RADIO OPERATION\n";
const char ScoreLead[] = "\n\nYour board's score is: ";

void ShowBox(Platform& platform, const char* text, const char* caption) {
  const uint32_t startMs = platform.Milliseconds();
  while (!platform.ShowMessageBox(text, caption, MessageBoxOk) &&
         platform.Milliseconds() - startMs < BoxRetryMs) {
    platform.Pause(BoxRetryPauseMs);
  }
}

void ClearReport(Report* report) {
  report->Text[0] = '\0';
  report->Length = 0;
}

void AppendToReport(Report* report, const char* text) {
  uint32_t length = report->Length;
  while (*text != '\0' && length + 1 < ReportCapacity) {
    report->Text[length++] = *text++;
  }
  report->Text[length] = '\0';
  report->Length = length;
}

void FormatScore(uint32_t value, char* buffer) {
  static const char HexDigits[] = "0123456789abcdef";
  char digits[8];
  int count = 0;
  do {
    digits[count++] = HexDigits[value & 0xf];
    value >>= 4;
  } while (value != 0);
  char* out = buffer;
  while (count > 0) {
    *out++ = digits[--count];
  }
  *out++ = '\n';
  *out = '\0';
}
