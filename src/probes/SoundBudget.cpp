#include "probes/SoundBudget.h"

SoundBudget NewSoundBudget(uint32_t ms) {
  SoundBudget budget = {ms, 0, false, false};
  return budget;
}

bool BeginSoundCall(Platform& platform, SoundBudget* budget) {
  if (budget->LeftMs == 0) {
    budget->StoppedAnswering = true;
    return false;
  }
  budget->CallStartedMs = platform.Milliseconds();
  return true;
}

void EndSoundCall(Platform& platform, SoundBudget* budget,
                  PlatformResult result) {
  // Unsigned, so a clock that wraps around between the two readings still
  // gives the time taken.
  const uint32_t tookMs = platform.Milliseconds() - budget->CallStartedMs;
  if (result == PlatformNoAnswer) {
    budget->StoppedAnswering = true;
    budget->CallLeftRunning = true;
  }
  if (result == PlatformNoAnswer || tookMs >= budget->LeftMs) {
    budget->LeftMs = 0;
  } else {
    budget->LeftMs -= tookMs;
  }
}
