// The whole check: probes the mixer and the wave-audio device, writes the
// settings Tarvenix reads, and shows the report.
#ifndef KALVORN_CHECK_CHECKRUN_H
#define KALVORN_CHECK_CHECKRUN_H

#include "platform/Platform.h"

// The longest a sound system that hangs or dies at any moment can hold the
// report back, from the start of the program.
const uint32_t RunBoundMs = 25000;

// Runs every check once, in a fixed order, and returns the process exit code,
// which is always 0.
int CheckRun(Platform& platform, ModuleInstance instance);

#endif
