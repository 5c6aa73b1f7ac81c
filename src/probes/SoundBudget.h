// The time the sound system is given for a group of calls (the mixer probe,
// the start of a recording). Each call is waited for at most what is left,
// and the time it took is taken off, so that however slowly the sound system
// answers, or if it never does, the group is over within its bound.
#ifndef KALVORN_PROBES_SOUNDBUDGET_H
#define KALVORN_PROBES_SOUNDBUDGET_H

#include "platform/Platform.h"

struct SoundBudget {
  uint32_t LeftMs;
  uint32_t CallStartedMs;
  // A call was not answered in its time, or not made for want of time: what
  // it would have told is unknown, not absent.
  bool StoppedAnswering;
  // A call was not answered in its time and may still be in the driver: no
  // further call of its kind can be made.
  bool CallLeftRunning;
};

SoundBudget NewSoundBudget(uint32_t ms);

// Whether a call may still be made; when it may, the call is made with
// `budget->LeftMs` as its bound, between BeginSoundCall and EndSoundCall.
// A call refused for want of time counts as unanswered.
bool BeginSoundCall(Platform& platform, SoundBudget* budget);

// Takes the call's time off; a call that did not answer in time uses up
// all that was left.
void EndSoundCall(Platform& platform, SoundBudget* budget,
                  PlatformResult result);

#endif
